// "Save settings" from the Display control menu, seen as the host sees it:
// the bytes of "IniUpdate.tmp" at the moment the host is asked to merge it,
// the file's removal, command 499 to the frame, and the message box when the
// save fails.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "daemon_session.h"
#include "import_patch.h"
#include "temp_directory.h"

using fixture::DaemonSession;
using hostmodel::Op;
using hostmodel::SendMenuCommand;

namespace {

constexpr char kUpdateFile[] = "IniUpdate.tmp";
constexpr int32_t kOutcomeLevel = 15;  // the host log's level of outcomes and errors
constexpr char kLogNotWritten[] = "Orbwick: settings not saved (update file could not be written)";
constexpr char kLogMergeRefused[] = "Orbwick: settings not saved (the server refused the merge)";
constexpr char kLogLinkLeftAlone[] = "Orbwick: settings not saved (update file is a link, left as it is)";

bool UpdateFileExists() { return GetFileAttributesA(kUpdateFile) != INVALID_FILE_ATTRIBUTES; }

std::string BytesOf(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char read[64] = {};
    DWORD size = 0;
    ReadFile(file, read, sizeof read, &size, nullptr);
    CloseHandle(file);
    return std::string(read, size);
}

// The file's number on its volume: a fresh file has another one.
uint64_t FileIdOf(const char* path) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information = {};
    GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    return (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}

// Runs a test's action once, from inside one of the daemon's calls.
void RunOnce(std::function<void()>& action) {
    if (action) {
        auto run = std::move(action);
        action = nullptr;
        run();
    }
}

// A file of someone else's in another folder, which a link planted as the
// update file would hand to a naive write: its bytes and attributes are
// checked against those it was given.
struct OtherFile {
    fixture::TempDirectory folder;
    std::string path = folder.Path() + "accounts.ini";
    const std::string bytes = "[Accounts]\r\nadmin=1\r\n";
    DWORD attributes = 0;
    explicit OtherFile(bool readOnly) {
        EXPECT_TRUE(folder.WriteFile("accounts.ini", bytes));
        EXPECT_TRUE(SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
        attributes = GetFileAttributesA(path.c_str());
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, readOnly);
    }
    ~OtherFile() { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); }  // so both folders can go
    bool PlantLinkAsUpdateFile() const { return CreateHardLinkA(kUpdateFile, path.c_str(), nullptr) != FALSE; }
    void ExpectUnchanged() const {
        EXPECT_EQ(BytesOf(path), bytes) << "the other file's bytes";
        EXPECT_EQ(GetFileAttributesA(path.c_str()), attributes) << "the other file's attributes";
    }
};

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
            EXPECT_TRUE(bed.s.host.LogLines(kOutcomeLevel).empty()) << "a save that worked logs no failure";
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
std::function<void()> g_onBox;  // runs once, while the next box is up

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
            RunOnce(g_onBox);
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
    // The box's owner is the window the host names at the time of the
    // failure, not the frame recorded at start-up; one that no longer exists
    // would leave the failure reported to nobody, so then there is none.
    const struct {
        const char* name;
        bool ownerGone;
    } rows[] = {{"the host names another frame", false}, {"the host names a window that is gone", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SaveBed bed;
        ASSERT_TRUE(bed.s.StartAndWaitForMenu());
        hostmodel::HostFrame otherFrame;
        HWND gone = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        DestroyWindow(gone);
        bed.s.host.SetMergeAnswer(0);
        bed.s.host.SetOnMerge([&] { bed.s.host.SetMainWindow(row.ownerGone ? gone : otherFrame.frame()); });
        MessageBoxCloser closer;
        SendMenuCommand(bed.s.frame.frame(), 1001);
        bed.s.host.ClearCalls();
        SendMenuCommand(bed.s.frame.frame(), 1099);

        EXPECT_EQ(bed.s.host.LogLines(kOutcomeLevel), std::vector<std::string>{kLogMergeRefused});
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].text, L"Failed to save settings");
        EXPECT_EQ(g_boxes[0].caption, L"Orbwick");
        EXPECT_EQ(g_boxes[0].owner, row.ownerGone ? nullptr : otherFrame.frame());
        EXPECT_EQ(bed.s.host.CallsOf(Op::MergeSection).at(0).fileBytes, "NORVALEP\r\n");
        EXPECT_FALSE(UpdateFileExists());
        EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1001, 499, 1099}))
            << "499 goes to the frame recorded at start-up";
        EXPECT_TRUE(otherFrame.commandsReceived().empty());
    }
}

// Run once, by the daemon's own GetFileInformationByHandle, right after the
// real call: the moment between its check of the update file and its
// removal.
std::function<void()> g_onFileCheck;
BOOL WINAPI FileCheckThenAct(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    const BOOL answer = GetFileInformationByHandle(file, information);
    RunOnce(g_onFileCheck);
    return answer;
}

// Run once each, by the daemon's own DeleteFileA: just before the real call,
// and just after it (the gap between the removal of the update file and the
// creation of a fresh one).
std::function<void()> g_beforeRemoval;
std::function<void()> g_afterRemoval;
BOOL WINAPI RemoveInBetween(LPCSTR name) {
    RunOnce(g_beforeRemoval);
    const BOOL answer = DeleteFileA(name);
    RunOnce(g_afterRemoval);
    return answer;
}

// A plain "IniUpdate.tmp" with one name, planted by someone who may create
// files in the folder or left behind by the daemon (read-only, hidden or as a
// system file), is removed, and the host merges a fresh file: another file,
// not the one at the name, which keeps its bytes. Someone tries to swap it
// for a link to another file between the daemon's check and the removal: the
// name stays the daemon's meanwhile, so the other file is neither written nor
// stripped of its read-only attribute.
TEST(Save, ReadOnlyOrHiddenUpdateFileIsReplaced) {
    const struct {
        DWORD attributes;
        bool swapAfterTheCheck;
    } rows[] = {
        {FILE_ATTRIBUTE_NORMAL, false},  // a plain file someone planted
        {FILE_ATTRIBUTE_READONLY, false},
        {FILE_ATTRIBUTE_HIDDEN, false},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, false},
        {FILE_ATTRIBUTE_READONLY, true},
    };
    SaveBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    SendMenuCommand(bed.s.frame.frame(), 1000);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "attributes 0x" << std::hex << row.attributes
                                        << (row.swapAfterTheCheck ? ", swapped after the check" : ""));
        const std::string left = "NORVALEX\r\nleft at the name\r\n";
        ASSERT_TRUE(bed.s.directory().WriteFile(kUpdateFile, left));
        ASSERT_TRUE(SetFileAttributesA(kUpdateFile, row.attributes));
        const uint64_t leftId = FileIdOf(kUpdateFile);
        // A second name keeps the removed file, so the file system cannot hand
        // its number to the fresh one.
        g_beforeRemoval = [] { CreateHardLinkA("IniUpdate.kept", kUpdateFile, nullptr); };
        uint64_t mergedId = leftId;
        bed.s.host.SetOnMerge([&] { mergedId = FileIdOf(kUpdateFile); });
        fixture::ImportPatch removal(bed.s.library()->module(), "DeleteFileA",
                                     reinterpret_cast<const void*>(&RemoveInBetween));
        OtherFile other(true);
        bool swapTried = false;
        g_onFileCheck = [&] {
            swapTried = true;
            if (MoveFileA(kUpdateFile, "IniUpdate.moved")) {
                other.PlantLinkAsUpdateFile();
            }
        };
        fixture::ImportPatch patch(bed.s.library()->module(), row.swapAfterTheCheck ? "GetFileInformationByHandle" : "",
                                   reinterpret_cast<const void*>(&FileCheckThenAct));
        bed.s.host.ClearCalls();
        MessageBoxCloser closer;
        SendMenuCommand(bed.s.frame.frame(), 1099);
        g_onFileCheck = nullptr;
        g_beforeRemoval = nullptr;
        EXPECT_EQ(swapTried, row.swapAfterTheCheck);
        EXPECT_TRUE(g_boxes.empty()) << "no failure";
        EXPECT_TRUE(bed.s.host.LogLines(kOutcomeLevel).empty());
        const auto merges = bed.s.host.CallsOf(Op::MergeSection);
        ASSERT_EQ(merges.size(), 1u);
        EXPECT_EQ(merges[0].fileBytes, "NORVALES\r\n");
        EXPECT_NE(mergedId, leftId) << "a fresh file is merged";
        EXPECT_EQ(BytesOf("IniUpdate.kept"), left) << "the file at the name is removed, never written";
        EXPECT_FALSE(UpdateFileExists());
        other.ExpectUnchanged();
        for (const char* name : {"IniUpdate.moved", "IniUpdate.kept"}) {
            SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(name);
        }
    }
}

// A descriptor's DACL as text: whether it is protected, then type, flags,
// access mask and account of each entry; "no DACL" for none (nor a NULL one,
// which lets everybody in).
std::string DaclOf(const SECURITY_ATTRIBUTES* attributes) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ACL* acl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (attributes == nullptr ||
        !GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted) || acl == nullptr ||
        !GetSecurityDescriptorControl(attributes->lpSecurityDescriptor, &control, &revision)) {
        return "no DACL";
    }
    HANDLE token = nullptr;
    DWORD user[32] = {};  // a TOKEN_USER and its SID
    DWORD size = 0;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    std::ostringstream text;
    text << ((control & SE_DACL_PROTECTED) != 0 ? "protected" : "inheriting") << std::hex;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        GetAce(acl, i, reinterpret_cast<void**>(&ace));
        const bool server = EqualSid(&ace->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) != FALSE;
        text << ", type " << int{ace->Header.AceType} << " flags " << int{ace->Header.AceFlags} << " mask " << ace->Mask
             << (server ? " server's account" : " another account");
    }
    return text.str();
}

// The DACLs the daemon's own CreateFileA is handed for writing the update
// file; Wine 8 does not keep a file's descriptor (a read-back shows entries
// of its own), so this is where the test reads it, with whether the creation
// would follow a symbolic link planted at the name (Wine 8 replaces such a
// link, so only the flag can tell). And whether another writer may open the
// file while the daemon's WriteFile runs.
std::vector<std::string> g_updateFileDacls;
HANDLE WINAPI CreateAndRecord(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (std::string(name) == kUpdateFile && (access & GENERIC_WRITE) != 0) {
        g_updateFileDacls.push_back(DaclOf(attributes) +
                                    ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 ? "" : ", following a link"));
    }
    return CreateFileA(name, access, share, attributes, disposition, flags, templateFile);
}
DWORD g_otherWriterError = 0;
BOOL WINAPI WriteWhileAnotherTries(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    HANDLE other = CreateFileA(kUpdateFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    g_otherWriterError = other == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    CloseHandle(other);
    return WriteFile(file, bytes, size, written, overlapped);
}

// The update file is created for the server's account alone: a protected DACL
// (nothing from the folder) with one entry, read, write and delete for the
// process token's user; without following a link at its name; and nobody
// else may write it while the daemon does.
TEST(Save, UpdateFileIsTheServerAccountsAlone) {
    SaveBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    SendMenuCommand(bed.s.frame.frame(), 1001);
    g_updateFileDacls.clear();
    {
        fixture::ImportPatch create(bed.s.library()->module(), "CreateFileA",
                                    reinterpret_cast<const void*>(&CreateAndRecord));
        fixture::ImportPatch write(bed.s.library()->module(), "WriteFile",
                                   reinterpret_cast<const void*>(&WriteWhileAnotherTries));
        SendMenuCommand(bed.s.frame.frame(), 1099);
    }
    ASSERT_EQ(bed.s.host.CallsOf(Op::MergeSection).size(), 1u);
    std::ostringstream serverAccountOnly;
    serverAccountOnly << "protected, type 0 flags 0 mask " << std::hex
                      << (FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE) << " server's account";
    EXPECT_EQ(g_updateFileDacls, std::vector<std::string>{serverAccountOnly.str()});
    EXPECT_EQ(g_otherWriterError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// A host that restarts its daemons when told to re-read its configuration
// closes this one down and unloads it while the save is still under way: in
// its answer to 499, or while the failure box is up. The hook's code must
// still be there to return through (the test program ends on any execute
// fault), and the library goes once the host's thread has left it.
TEST(Save, HostUnloadingTheDaemonInsideTheSaveKeepsRunning) {
    const struct {
        const char* name;
        bool insideTheBox;
    } rows[] = {{"in the host's answer to 499", false}, {"while the failure box is up", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SaveBed bed;
        ASSERT_TRUE(bed.s.StartAndWaitForMenu());
        ASSERT_TRUE(bed.s.WaitForWorkerEnd());
        bool unloaded = false;
        auto unload = [&] {
            EXPECT_EQ(bed.s.library()->Closedown(), 0);
            bed.s.library().reset();
            unloaded = true;
        };
        HWND frame = bed.s.frame.frame();
        auto* previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(frame, GWLP_WNDPROC));
        static std::function<void()> onReload;
        static WNDPROC frameProc;
        frameProc = previous;
        onReload = row.insideTheBox ? std::function<void()>() : unload;
        SetWindowLongPtrW(frame, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(+[](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
                              if (message == WM_COMMAND && LOWORD(wParam) == 499 && onReload) {
                                  auto action = std::move(onReload);
                                  onReload = nullptr;
                                  action();
                              }
                              return CallWindowProcW(frameProc, window, message, wParam, lParam);
                          }));
        MessageBoxCloser closer;
        if (row.insideTheBox) {
            bed.s.host.SetMergeAnswer(0);
            g_onBox = unload;
        }
        SendMenuCommand(frame, 1001);
        // The save dispatched on its own, nothing else: the host's thread then
        // does not wait for messages until it pumps again.
        PostMessageW(frame, WM_COMMAND, 1099, 0);
        MSG save;
        ASSERT_TRUE(PeekMessageW(&save, frame, WM_COMMAND, WM_COMMAND, PM_REMOVE));
        hostmodel::DispatchLikeHost(save, nullptr);
        ASSERT_TRUE(unloaded);
        Sleep(200);
        EXPECT_TRUE(fixture::LibraryLoaded()) << "kept while the host's thread has not waited for messages";
        EXPECT_TRUE(hostmodel::PumpUntil([] { return !fixture::LibraryLoaded(); }, fixture::kWaitMs))
            << "the library goes once the host's thread has left it";
        SendMenuCommand(frame, 1000);
        EXPECT_EQ(bed.s.frame.commandsReceived().back(), 1000u) << "the host goes on";
        SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    }
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

// Failures to write the update file, and an update file that is someone
// else's: a hard link, planted by whoever may create files in the current
// folder, to a file elsewhere, which is reported as such; or a plain file
// planted again while the daemon replaces the one there. The save fails and
// changes neither what is at the name nor what a link leads to. Once the
// thing in the way is gone, the next save merges.
TEST(Save, UpdateFileThatCannotBeWrittenCompletelyIsReportedAndNotMerged) {
    enum class InTheWay { Nothing, Directory, LinkToReadOnlyFile, LinkToWritableFile, PlainFile };
    const std::string replanted = "[Accounts]\r\nreplanted\r\n";
    const struct {
        const char* name;
        InTheWay inTheWay;
        const char* import;  // replaced in the DLL
        const void* replacement;
    } rows[] = {
        {"a directory named like the file", InTheWay::Directory, nullptr, nullptr},
        {"a hard link to a read-only file in another folder", InTheWay::LinkToReadOnlyFile, nullptr, nullptr},
        {"a hard link to a writable file in another folder", InTheWay::LinkToWritableFile, nullptr, nullptr},
        {"WriteFile fails", InTheWay::Nothing, "WriteFile", reinterpret_cast<const void*>(&FailingWrite)},
        {"WriteFile writes half", InTheWay::Nothing, "WriteFile", reinterpret_cast<const void*>(&ShortWrite)},
        {"FlushFileBuffers fails", InTheWay::Nothing, "FlushFileBuffers", reinterpret_cast<const void*>(&FailingFlush)},
        {"CloseHandle fails", InTheWay::Nothing, "CloseHandle", reinterpret_cast<const void*>(&FailingClose)},
        {"a plain file planted again after the removal", InTheWay::PlainFile, "DeleteFileA",
         reinterpret_cast<const void*>(&RemoveInBetween)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SaveBed bed;
        ASSERT_TRUE(bed.s.StartAndWaitForMenu());
        SendMenuCommand(bed.s.frame.frame(), 1001);  // something to write
        OtherFile other(row.inTheWay == InTheWay::LinkToReadOnlyFile);
        const bool link = row.inTheWay == InTheWay::LinkToReadOnlyFile || row.inTheWay == InTheWay::LinkToWritableFile;
        if (row.inTheWay == InTheWay::Directory) {
            ASSERT_TRUE(CreateDirectoryA(kUpdateFile, nullptr));
        } else if (row.inTheWay == InTheWay::PlainFile) {
            ASSERT_TRUE(bed.s.directory().WriteFile(kUpdateFile, "NORVALEX\r\n"));
            g_afterRemoval = [&] { EXPECT_TRUE(bed.s.directory().WriteFile(kUpdateFile, replanted)); };
        } else if (link) {
            ASSERT_TRUE(other.PlantLinkAsUpdateFile());
        }
        bed.s.host.ClearCalls();
        {
            MessageBoxCloser closer;
            fixture::ImportPatch patch(bed.s.library()->module(), row.import != nullptr ? row.import : "",
                                       row.replacement);
            ASSERT_EQ(patch.applied(), row.import != nullptr);
            SendMenuCommand(bed.s.frame.frame(), 1099);
            g_afterRemoval = nullptr;
        }
        other.ExpectUnchanged();
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].text, L"Failed to save settings");
        EXPECT_EQ(g_boxes[0].caption, L"Orbwick");
        EXPECT_EQ(g_boxes[0].owner, bed.s.frame.frame());
        EXPECT_EQ(bed.s.host.LogLines(kOutcomeLevel),
                  std::vector<std::string>{link ? kLogLinkLeftAlone : kLogNotWritten});
        EXPECT_TRUE(bed.s.host.CallsOf(Op::MergeSection).empty()) << "nothing partial or stale is handed to the host";
        EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1001, 1099})) << "no 499";
        switch (row.inTheWay) {
        case InTheWay::Nothing:
            EXPECT_FALSE(UpdateFileExists()) << "no file left behind";
            break;
        case InTheWay::Directory:
            EXPECT_TRUE(fixture::DirectoryExists(kUpdateFile)) << "the directory is left alone";
            break;
        case InTheWay::PlainFile:
            EXPECT_EQ(BytesOf(kUpdateFile), replanted) << "the file planted again is left alone";
            break;
        default:
            EXPECT_TRUE(fixture::FileExists(kUpdateFile)) << "the link is left alone";
        }
        // The operator renames the thing in the way aside (a read-only link
        // cannot be deleted without stripping the other file's attribute).
        if (row.inTheWay != InTheWay::Nothing) {
            ASSERT_TRUE(MoveFileA(kUpdateFile, "IniUpdate.planted"));
        }
        bed.s.host.ClearCalls();
        MessageBoxCloser closer;
        SendMenuCommand(bed.s.frame.frame(), 1099);
        EXPECT_TRUE(g_boxes.empty()) << "the next save works";
        EXPECT_TRUE(bed.s.host.LogLines(kOutcomeLevel).empty());
        const auto merges = bed.s.host.CallsOf(Op::MergeSection);
        ASSERT_EQ(merges.size(), 1u);
        EXPECT_EQ(merges[0].fileBytes, "NORVALEP\r\n");
        EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1001, 1099, 499, 1099}));
        EXPECT_FALSE(UpdateFileExists());
        other.ExpectUnchanged();
        RemoveDirectoryA("IniUpdate.planted");
    }
}

}  // namespace
