// "Save settings" from the Display control menu, seen as the host sees it:
// the bytes of "IniUpdate.tmp" at the moment the host is asked to merge it,
// the file's removal, command 499 to the frame, and the message box when the
// save fails.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>

#include <map>
#include <string>
#include <vector>

#include "daemon_session.h"
#include "import_patch.h"

using fixture::DaemonSession;
using hostmodel::Op;
using hostmodel::SendMenuCommand;

namespace {

constexpr char kUpdateFile[] = "IniUpdate.tmp";

bool UpdateFileExists() { return GetFileAttributesA(kUpdateFile) != INVALID_FILE_ATTRIBUTES; }

// Modules S, P, D and B enabled; B has no window; C's window is listed as
// hidden but C is not enabled.
struct SaveBed {
    DaemonSession s{"SPDB", "C"};
    HWND cache;
    std::map<char, HWND> slots;  // the slot windows of S, P and D
    SaveBed() {
        slots['S'] = s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc");
        slots['P'] = s.frame.AddModuleWindow(L"Norvale POP3 Server", L"mdlg_mpp");
        slots['D'] = s.frame.AddModuleWindow(L"Norvale Dial-up", L"mdlg_dpc");
        cache = GetParent(s.frame.AddModuleWindow(L"Norvale Cache", L"mdlg_mcc"));
        s.frame.AddModuleWindow(L"Norvale Core Process", L"mdlg_core");
    }
};

TEST(Save, WritesTheHiddenEnabledModulesInIndexOrder) {
    const struct {
        const char* name;
        std::vector<UINT> commands;  // applied after Show all
        std::string bytes;
        std::string hostHides = "";  // slot windows the host hides itself, inside shown MDI children
    } rows[] = {
        {"nothing hidden", {}, ""},
        {"D then P hidden", {1004, 1001}, "NORVALEP\r\nNORVALED\r\n"},
        {"P then D hidden", {1001, 1004}, "NORVALEP\r\nNORVALED\r\n"},
        {"core only hidden", {1090}, ""},
        {"hidden and shown again", {1000, 1000}, ""},
        {"Hide all", {1097}, "NORVALES\r\nNORVALEP\r\nNORVALED\r\n"},
        {"D's slot window hidden by the host", {}, "NORVALED\r\n", "D"},
    };
    SaveBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    ASSERT_FALSE(IsWindowVisible(bed.cache)) << "hidden at start-up";
    size_t framesCommandsAtMerge = 0;
    bed.s.host.SetOnMerge([&] { framesCommandsAtMerge = bed.s.frame.commandsReceived().size(); });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SendMenuCommand(bed.s.frame.frame(), 1098);
        for (UINT command : row.commands) SendMenuCommand(bed.s.frame.frame(), command);
        for (char letter : row.hostHides) ShowWindow(bed.slots[letter], SW_HIDE);
        // Saving twice without a change writes the same file twice.
        for (int save = 1; save <= 2; ++save) {
            SCOPED_TRACE(testing::Message() << "save " << save);
            bed.s.host.ClearCalls();
            const size_t commandsBefore = bed.s.frame.commandsReceived().size();
            SendMenuCommand(bed.s.frame.frame(), 1099);
            const auto merges = bed.s.host.CallsOf(Op::MergeSection);
            ASSERT_EQ(merges.size(), 1u);
            EXPECT_EQ(merges[0].text, "[HiddenWindows]");
            EXPECT_EQ(merges[0].fileName, kUpdateFile);
            EXPECT_TRUE(merges[0].fileExisted);
            EXPECT_EQ(merges[0].fileBytes, row.bytes);
            EXPECT_FALSE(UpdateFileExists()) << "deleted after the merge";
            EXPECT_EQ(framesCommandsAtMerge, commandsBefore) << "499 comes after the merge";
            const std::vector<unsigned> received(
                bed.s.frame.commandsReceived().begin() + static_cast<std::ptrdiff_t>(commandsBefore),
                bed.s.frame.commandsReceived().end());
            EXPECT_EQ(received, (std::vector<unsigned>{499, 1099}));
        }
        for (char letter : row.hostHides) ShowWindow(bed.slots[letter], SW_SHOW);
    }
    EXPECT_FALSE(IsWindowVisible(bed.cache)) << "Show all leaves a module without an item alone";
}

// Closes each message box of this thread as it appears (a CBT hook sees it
// activated) and records what it said.
struct ShownBox {
    std::wstring text, caption;
    HWND owner;
};
std::vector<ShownBox> g_boxes;

LRESULT CALLBACK CloseMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(box, className, 31);
        if (std::wstring(className) == L"#32770") {
            wchar_t text[256] = {};
            wchar_t caption[256] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 255);  // the message box's text control
            GetWindowTextW(box, caption, 255);
            g_boxes.push_back({text, caption, GetWindow(box, GW_OWNER)});
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct MessageBoxCloser {
    HHOOK hook;
    MessageBoxCloser() {
        g_boxes.clear();
        hook = SetWindowsHookExW(WH_CBT, &CloseMessageBoxes, nullptr, GetCurrentThreadId());
    }
    ~MessageBoxCloser() { UnhookWindowsHookEx(hook); }
};

TEST(Save, RefusedMergeShowsTheBoxThenStillDeletesAndNotifies) {
    SaveBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    // The box's owner is the window the host names at the time of the
    // failure, not the frame recorded at start-up.
    hostmodel::HostFrame otherFrame;
    bed.s.host.SetMergeAnswer(0);
    bed.s.host.SetOnMerge([&] { bed.s.host.SetMainWindow(otherFrame.frame()); });
    MessageBoxCloser closer;
    SendMenuCommand(bed.s.frame.frame(), 1001);
    SendMenuCommand(bed.s.frame.frame(), 1099);

    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, L"Failed to save settings");
    EXPECT_EQ(g_boxes[0].caption, L"Orbwick");
    EXPECT_EQ(g_boxes[0].owner, otherFrame.frame());
    EXPECT_EQ(bed.s.host.CallsOf(Op::MergeSection).at(0).fileBytes, "NORVALEP\r\n");
    EXPECT_FALSE(UpdateFileExists());
    EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1001, 499, 1099}))
        << "499 goes to the frame recorded at start-up";
    EXPECT_TRUE(otherFrame.commandsReceived().empty());
}

// Failures of the update file's own calls, made by replacing the DLL's
// imports of them: the write fails, writes only part of the bytes, the flush
// fails, or the close fails after the handle went.
BOOL WINAPI FailingWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
    if (written != nullptr)
        *written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}
BOOL WINAPI ShortWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    return WriteFile(file, bytes, size / 2, written, overlapped);
}
BOOL WINAPI FailingFlush(HANDLE) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}
BOOL WINAPI FailingClose(HANDLE handle) {
    CloseHandle(handle);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST(Save, UpdateFileThatCannotBeWrittenCompletelyIsReportedAndNotMerged) {
    const struct {
        const char* name;
        const char* import;  // replaced in the DLL; none: a directory is in the way of the file
        const void* replacement;
    } rows[] = {
        {"a directory named like the file", nullptr, nullptr},
        {"WriteFile fails", "WriteFile", reinterpret_cast<const void*>(&FailingWrite)},
        {"WriteFile writes half", "WriteFile", reinterpret_cast<const void*>(&ShortWrite)},
        {"FlushFileBuffers fails", "FlushFileBuffers", reinterpret_cast<const void*>(&FailingFlush)},
        {"CloseHandle fails", "CloseHandle", reinterpret_cast<const void*>(&FailingClose)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SaveBed bed;
        ASSERT_TRUE(bed.s.StartAndWaitForMenu());
        SendMenuCommand(bed.s.frame.frame(), 1001);  // something to write
        if (row.import == nullptr) {
            ASSERT_TRUE(CreateDirectoryA(kUpdateFile, nullptr));
        }
        {
            MessageBoxCloser closer;
            fixture::ImportPatch patch(bed.s.library()->module(), row.import != nullptr ? row.import : "",
                                       row.replacement);
            ASSERT_EQ(patch.applied(), row.import != nullptr);
            SendMenuCommand(bed.s.frame.frame(), 1099);
        }
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].text, L"Failed to save settings");
        EXPECT_EQ(g_boxes[0].caption, L"Orbwick");
        EXPECT_EQ(g_boxes[0].owner, bed.s.frame.frame());
        EXPECT_TRUE(bed.s.host.CallsOf(Op::MergeSection).empty()) << "nothing partial or stale is handed to the host";
        EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1001, 1099})) << "no 499";
        const DWORD attributes = GetFileAttributesA(kUpdateFile);
        if (row.import == nullptr) {
            EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                << "the directory is left alone";
            RemoveDirectoryA(kUpdateFile);
        } else {
            EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES) << "no file left behind";
        }
    }
}

}  // namespace
