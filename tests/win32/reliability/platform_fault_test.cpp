// Faults of the platform and of the host's windows and files: odd menu bars,
// windows that go away, an update file that cannot be created, a
// configuration file that cannot be read or is huge or garbage, very long
// window texts and class names, and very many windows.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

#include "daemon_session.h"
#include "import_patch.h"
#include "menu_reader.h"
#include "message_box_closer.h"

using fixture::CheckMark;
using fixture::DaemonSession;
using fixture::ItemText;
using hostmodel::Op;
using hostmodel::SendMenuCommand;

namespace {

constexpr unsigned kReloadCommand = 499;

size_t CountOf(const std::vector<unsigned>& ids, unsigned id) {
    return static_cast<size_t>(std::count(ids.begin(), ids.end(), id));
}

// The popup the daemon makes, seen through its import of CreatePopupMenu.
HMENU g_popupMade = nullptr;
HMENU WINAPI RecordPopup() {
    g_popupMade = CreatePopupMenu();
    return g_popupMade;
}

// Menu bars the Display control menu cannot be attached to. The MDI
// client's window menu (the third popup) is never destroyed here, since the
// client keeps using it.
struct MenuShape {
    const char* name;
    std::function<void(HWND frame)> apply;
};

TEST(PlatformFaults, MenuBarsWithoutAThirdPopupGetNothingAndCommandsStillWork) {
    const MenuShape shapes[] = {
        {"no menu bar", [](HWND frame) { SetMenu(frame, nullptr); }},
        {"one popup",
         [](HWND frame) {
             DeleteMenu(GetMenu(frame), 0, MF_BYPOSITION);
             DeleteMenu(GetMenu(frame), 0, MF_BYPOSITION);
         }},
        {"two popups", [](HWND frame) { DeleteMenu(GetMenu(frame), 0, MF_BYPOSITION); }},
        {"third item a plain command",
         [](HWND frame) { InsertMenuW(GetMenu(frame), 2, MF_BYPOSITION | MF_STRING, 300, L"Help"); }},
    };
    for (const MenuShape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        HMENU originalBar = nullptr;
        {
            DaemonSession session;
            ASSERT_TRUE(session.directory().WriteFile("norvale.ini", fixture::ConfigText("SD", "")));
            HWND moduleS = session.AddModule(0);
            HWND moduleD = session.AddModule(4);
            HWND core = session.AddCore();
            HWND frame = session.frame.frame();
            originalBar = GetMenu(frame);
            shape.apply(frame);
            const int barItems = GetMenuItemCount(GetMenu(frame));
            const std::vector<int> popups = fixture::PopupItemCounts(GetMenu(frame));

            g_popupMade = nullptr;
            ASSERT_EQ(session.Start() & 0xFF, 1);
            // Before the worker's first wait has passed.
            fixture::ImportPatch patch(session.library()->module(), "CreatePopupMenu",
                                       reinterpret_cast<void*>(&RecordPopup));
            ASSERT_TRUE(session.WaitForWorkerEnd());
            const auto outcomes = session.host.LogLines(kLogLevelOutcome);
            EXPECT_EQ(
                std::count(outcomes.begin(), outcomes.end(), "Orbwick: no third menu to attach Display control to"), 1)
                << "the operator is told once why no menu appears";
            EXPECT_EQ(GetMenuItemCount(GetMenu(frame)), barItems);
            EXPECT_EQ(fixture::PopupItemCounts(GetMenu(frame)), popups);

            // The popup cannot be reached, but the windows still follow
            // the commands.
            SendMenuCommand(frame, 1000);
            EXPECT_FALSE(IsWindowVisible(moduleS));
            SendMenuCommand(frame, 1000);
            EXPECT_TRUE(IsWindowVisible(moduleS));
            SendMenuCommand(frame, 1097);
            EXPECT_FALSE(IsWindowVisible(moduleS) || IsWindowVisible(moduleD) || IsWindowVisible(core));
            SendMenuCommand(frame, 1098);
            EXPECT_TRUE(IsWindowVisible(moduleS) && IsWindowVisible(moduleD) && IsWindowVisible(core));
            EXPECT_EQ(fixture::PopupItemCounts(GetMenu(frame)), popups);
            // Saves work without a menu to choose them from, and the popup
            // that reached no menu is destroyed at CLOSEDOWN.
            SendMenuCommand(frame, 1099);
            EXPECT_EQ(session.host.CallsOf(Op::MergeSection).size(), 1u);
            ASSERT_NE(g_popupMade, nullptr);
            EXPECT_TRUE(IsMenu(g_popupMade));
            session.library()->Closedown();
            EXPECT_FALSE(IsMenu(g_popupMade)) << "the popup that never reached a menu outlived CLOSEDOWN";
        }
        if (shape.name == std::string("no menu bar")) {
            DestroyMenu(originalBar);  // detached from the frame, so the frame did not destroy it
        }
    }
}

// Windows destroyed after the scan, as when the host restarts a module: no
// command may fail on them, a save never writes a window that no longer
// exists, and once the module's new window is there its item and the save
// act on that one, whichever module it is.
TEST(PlatformFaults, WindowsDestroyedAfterTheScanAreHarmlessAndFoundAgain) {
    DaemonSession session;
    ASSERT_TRUE(session.directory().WriteFile("norvale.ini", fixture::ConfigText("SPDB", "")));
    HWND moduleS = session.AddModule(0);
    HWND moduleP = session.AddModule(1);
    HWND moduleD = session.AddModule(4);
    HWND moduleB = session.AddModule(10);
    HWND core = session.AddCore();
    HWND frame = session.frame.frame();
    ASSERT_EQ(session.Start() & 0xFF, 1);
    ASSERT_TRUE(session.WaitForMenu());
    HWND keptMdiChildOfP = GetParent(moduleP);
    HMENU display = session.DisplayMenu();

    // S and the core window lose their MDI child, P only its slot window.
    SendMessageW(session.frame.client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(GetParent(moduleS)), 0);
    SendMessageW(session.frame.client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(GetParent(core)), 0);
    DestroyWindow(moduleP);
    ASSERT_FALSE(IsWindow(moduleS) || IsWindow(moduleP) || IsWindow(core));
    std::printf("[ observed ] Display control still in the host menu after MDI children were destroyed: %s\n",
                session.DisplayMenu() != nullptr ? "yes" : "no");

    const unsigned commands[] = {1000, 1001, 1090, 1004, 1097, 1098, 1000, 1090, 1004};
    for (unsigned id : commands) {
        SCOPED_TRACE("command " + std::to_string(id));
        SendMenuCommand(frame, id);
        // With its slot window gone, P's MDI child is out of the daemon's reach.
        EXPECT_TRUE(IsWindowVisible(keptMdiChildOfP));
    }
    EXPECT_FALSE(IsWindowVisible(moduleD));  // hidden by its last toggle
    EXPECT_TRUE(IsWindowVisible(moduleB));   // shown by the last Show all

    SendMenuCommand(frame, 1099);
    SendMenuCommand(frame, 1098);
    SendMenuCommand(frame, 1099);
    // S restarts: a new window of its class, shown. A save leaves it out,
    // its item hides and shows the new window, and a save then writes it.
    HWND restartedS = session.AddModule(0);
    SendMenuCommand(frame, 1099);
    SendMenuCommand(frame, 1000);
    EXPECT_FALSE(IsWindowVisible(restartedS));
    EXPECT_EQ(CheckMark(display, 1000), std::optional<bool>(false));
    SendMenuCommand(frame, 1099);
    SendMenuCommand(frame, 1000);
    EXPECT_TRUE(IsWindowVisible(restartedS));
    const auto merges = session.host.CallsOf(Op::MergeSection);
    ASSERT_EQ(merges.size(), 4u);
    EXPECT_EQ(merges[0].fileBytes, "NORVALED\r\n") << "windows that no longer exist are never written";
    EXPECT_EQ(merges[1].fileBytes, "");
    EXPECT_EQ(merges[2].fileBytes, "") << "the restarted module's window is shown";
    EXPECT_EQ(merges[3].fileBytes, "NORVALES\r\n");
    EXPECT_EQ(CountOf(session.frame.commandsReceived(), kReloadCommand), 4u);
    EXPECT_EQ(CheckMark(display, 1000), std::optional<bool>(true));
    // P restarts while S's window lives: its item finds P's new window.
    HWND restartedP = session.AddModule(1);
    SendMenuCommand(frame, 1001);
    EXPECT_FALSE(IsWindowVisible(restartedP)) << "P's new window found while the other slots hold theirs";
    // P restarts again while its item is unchecked: its new window is on
    // screen, so the save, which finds it, checks its item.
    EXPECT_EQ(CheckMark(display, 1001), std::optional<bool>(false));
    SendMessageW(session.frame.client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(GetParent(restartedP)), 0);
    session.AddModule(1);
    SendMenuCommand(frame, 1099);
    EXPECT_EQ(CheckMark(display, 1001), std::optional<bool>(true)) << "the mark follows the new window";
    EXPECT_EQ(session.host.CallsOf(Op::MergeSection).back().fileBytes, "");
}

BOOL WINAPI RefuseRemoveMenu(HMENU, UINT, UINT) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A start after CLOSEDOWN that cannot take the earlier Display control out of
// the menu bar adds no second one, leaves the earlier one whole and says so.
TEST(PlatformFaults, AnEarlierMenuThatCannotBeRemovedGetsNoSecond) {
    DaemonSession session("S", "");
    session.AddModule(0);
    ASSERT_TRUE(session.StartAndWaitForMenu());
    const HMENU earlier = session.DisplayMenu();
    session.library()->Closedown();
    {
        fixture::ImportPatch refuse(session.library()->module(), "RemoveMenu",
                                    reinterpret_cast<void*>(&RefuseRemoveMenu));
        ASSERT_TRUE(refuse.applied());
        session.host.ClearCalls();
        const HostRecord record = session.host.MakeRecord(fixture::kOldHost.major, fixture::kOldHost.minor);
        ASSERT_EQ(session.library()->Startup(record) & 0xFF, 1);
        ASSERT_TRUE(session.WaitForWorkerEnd());
    }
    EXPECT_EQ(fixture::CountPopups(GetMenu(session.frame.frame()), L"Display control"), 1);
    EXPECT_EQ(session.DisplayMenu(), earlier);
    EXPECT_EQ(GetMenuItemCount(earlier), 7) << "the earlier popup is left whole";
    const auto lines = session.host.LogLines(kLogLevelOutcome);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Orbwick: Display control not added (an earlier one could not be removed)"),
              lines.end());
}

// A configuration file the host holds open for writing cannot be read (the
// reader lets no writer in beside it): the daemon starts with empty sets.
TEST(PlatformFaults, ConfigurationFileOpenForWritingGivesEmptySets) {
    DaemonSession session;
    ASSERT_TRUE(session.directory().WriteFile("norvale.ini", fixture::ConfigText("SD", "D")));
    HWND moduleD = session.AddModule(4);
    HANDLE writer = CreateFileA((session.directory().Path() + "norvale.ini").c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const int32_t result = session.Start();
    CloseHandle(writer);
    ASSERT_EQ(result & 0xFF, 1);
    ASSERT_TRUE(session.WaitForMenu());
    EXPECT_EQ(GetMenuItemCount(session.DisplayMenu()), 6) << "core item, two separators, three commands only";
    EXPECT_EQ(CheckMark(session.DisplayMenu(), 1000), std::nullopt);
    EXPECT_TRUE(IsWindowVisible(moduleD));
}

// A read that fails after the first chunk of a long norvale.ini leaves a
// partial view of the host's modules: the log says the file could not be
// read, and a save is refused rather than erase what it did not see.
int g_reads = 0;
BOOL WINAPI FailSecondRead(HANDLE file, void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped) {
    if (++g_reads == 2) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return FALSE;
    }
    return ReadFile(file, buffer, size, read, overlapped);
}

TEST(PlatformFaults, AReadFailingAfterTheFirstChunkRefusesSaves) {
    DaemonSession session;
    const std::string filler = "[Filler]\r\n" + std::string(40000, ';') + "\r\n";
    ASSERT_TRUE(session.directory().WriteFile("norvale.ini", fixture::ConfigText("S", "") + filler));
    HWND moduleS = session.AddModule(0);
    session.library().emplace(session.libraryName);
    fixture::ImportPatch failingRead(session.library()->module(), "ReadFile", reinterpret_cast<void*>(&FailSecondRead));
    ASSERT_TRUE(failingRead.applied());
    g_reads = 0;
    ASSERT_EQ(session.library()->Startup(session.host.MakeRecord(3, 0)) & 0xFF, 1);
    ASSERT_TRUE(session.WaitForMenu());
    EXPECT_EQ(g_reads, 2);
    SendMenuCommand(session.frame.frame(), 1000);
    ASSERT_FALSE(IsWindowVisible(moduleS));
    fixture::MessageBoxCloser boxes;
    SendMenuCommand(session.frame.frame(), 1099);
    EXPECT_TRUE(session.host.CallsOf(Op::MergeSection).empty()) << "a save from a partial read";
    EXPECT_EQ(boxes.count, 1);
    EXPECT_EQ(session.host.LogLines(kLogLevelOutcome),
              (std::vector<std::string>{"Orbwick daemon loaded successfully", "Orbwick: norvale.ini could not be read",
                                        "Orbwick: settings not saved (norvale.ini was not read at start)"}));
}

// On a new host the SMTP and POP3 windows are known by their MDI child's
// title: a restarted P is found by its command also where S's titled child
// comes first in the window order.
TEST(PlatformFaults, ARestartedTitledModuleIsFoundBehindAnotherTitledOne) {
    DaemonSession session("SP", "", fixture::kNewHost);
    HWND moduleS = session.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc");
    HWND moduleP = session.frame.AddModuleWindow(L"Norvale POP3 Server", L"mdlg_mpp");
    ASSERT_TRUE(session.StartAndWaitForMenu());
    SendMessageW(session.frame.client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(GetParent(moduleP)), 0);
    moduleP = session.frame.AddModuleWindow(L"Norvale POP3 Server", L"mdlg_mpp");
    SetWindowPos(GetParent(moduleS), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(GetWindow(session.frame.client(), GW_CHILD), GetParent(moduleS));
    SendMenuCommand(session.frame.frame(), 1001);
    EXPECT_FALSE(IsWindowVisible(moduleP));
    EXPECT_TRUE(IsWindowVisible(moduleS));
    EXPECT_EQ(CheckMark(session.DisplayMenu(), 1001), std::optional<bool>(false));
    EXPECT_EQ(CheckMark(session.DisplayMenu(), 1000), std::optional<bool>(true));
}

HANDLE WINAPI RefuseThread(SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE, void*, DWORD, DWORD*) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
HHOOK WINAPI RefuseHook(int, HOOKPROC, HINSTANCE, DWORD) {
    SetLastError(ERROR_NO_MORE_USER_HANDLES);
    return nullptr;
}

// A start the platform refuses what it needs answers 0, leaves no hook that
// would act on a command, and says which part could not be made.
TEST(PlatformFaults, AStartWithoutItsHookOrWorkerAnswersZeroAndSaysWhy) {
    const struct {
        const char* import;
        const void* refusal;
        const char* line;
    } rows[] = {
        {"CreateThread", reinterpret_cast<const void*>(&RefuseThread),
         "Orbwick daemon could not load (start-up worker not started)"},
        {"SetWindowsHookExW", reinterpret_cast<const void*>(&RefuseHook),
         "Orbwick daemon could not load (message hook not installed)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.import);
        DaemonSession session("S", "");
        HWND moduleS = session.AddModule(0);
        session.library().emplace(session.libraryName);
        {
            fixture::ImportPatch refuse(session.library()->module(), row.import, row.refusal);
            ASSERT_TRUE(refuse.applied());
            EXPECT_EQ(session.library()->Startup(session.host.MakeRecord(3, 0)) & 0xFF, 0);
        }
        SendMenuCommand(session.frame.frame(), 1000);
        EXPECT_TRUE(IsWindowVisible(moduleS)) << "a hook acted after a refused start";
        EXPECT_EQ(session.host.LogLines(kLogLevelOutcome), std::vector<std::string>{row.line});
    }
}

// Large and malformed configuration files. Modules have no windows here, so
// their items show the sets: present = enabled, unchecked = hidden.
std::string TenMegabyteFile() {
    std::string text = "[Protocols]\r\nNORVALES\r\nNORVALEP\r\n";
    for (unsigned n = 0; text.size() < 10u * 1024 * 1024; ++n) {
        text += "[Filler" + std::to_string(n) + "]\r\n";
        for (int k = 0; k < 8; ++k) {
            text += "key" + std::to_string(k) + "=" + std::string(100, static_cast<char>('a' + k)) + "\r\n";
        }
    }
    return text + "[HiddenWindows]\r\nNORVALEP\r\n";
}

std::string RandomBytes() {
    std::mt19937 random(4242);
    std::string bytes(1024 * 1024, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

std::string HundredThousandSections() {
    std::string text;
    for (int n = 0; n < 100000; ++n) {
        if (n == 50000) {
            text += "[Protocols]\r\nNORVALEE\r\nNORVALEX\r\n";
        }
        text += "[S" + std::to_string(n) + "]\r\nk=v\r\n";
    }
    return text + "[HiddenWindows]\r\nNORVALEX\r\n";
}

TEST(PlatformFaults, HugeAndGarbageConfigurationFilesStillStart) {
    const struct {
        const char* name;
        std::function<std::string()> make;
        std::vector<std::pair<unsigned, bool>> items;  // module item, first check mark
    } rows[] = {
        {"10 MB", TenMegabyteFile, {{1000, true}, {1001, false}}},
        {"1 MB of random bytes", RandomBytes, {}},
        {"100,000 sections", HundredThousandSections, {{1002, true}, {1008, false}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession session;
        const std::string bytes = row.make();
        ASSERT_TRUE(session.directory().WriteFile("norvale.ini", bytes));
        const DWORD started = GetTickCount();
        ASSERT_EQ(session.Start() & 0xFF, 1);
        const DWORD held = GetTickCount() - started;
        ASSERT_TRUE(session.WaitForMenu());
        std::printf("[ figures  ] %s (%lu bytes): STARTUP returned after %lu ms\n", row.name,
                    static_cast<unsigned long>(bytes.size()), static_cast<unsigned long>(held));
        HMENU menu = session.DisplayMenu();
        EXPECT_EQ(GetMenuItemCount(menu), 6 + static_cast<int>(row.items.size()));
        for (const auto& [id, checked] : row.items) {
            SCOPED_TRACE("item " + std::to_string(id));
            EXPECT_EQ(CheckMark(menu, id), std::optional<bool>(checked));
        }
    }
}

std::wstring Repeated(wchar_t c, size_t n) { return std::wstring(n, c); }

// Module window titles longer than the read allows: the label is the first
// 143 characters with the letter put in at the 8th place.
TEST(PlatformFaults, LongTitlesGiveLabelsOf143CharactersPlusTheLetter) {
    const struct {
        size_t length;
        int module;
    } rows[] = {{143, 2}, {144, 3}, {300, 4}};
    DaemonSession session;
    ASSERT_TRUE(session.directory().WriteFile("norvale.ini", fixture::ConfigText("ECD", "")));
    for (const auto& row : rows) {
        const std::wstring title = L"Norvale " + Repeated(L'a' + static_cast<wchar_t>(row.module), row.length - 8);
        ASSERT_NE(session.frame.AddModuleWindow(title, hostmodel::ModuleDialogClass(row.module)), nullptr);
    }
    ASSERT_EQ(session.Start() & 0xFF, 1);
    ASSERT_TRUE(session.WaitForMenu());
    for (const auto& row : rows) {
        SCOPED_TRACE("title of " + std::to_string(row.length) + " characters");
        const wchar_t letter = static_cast<wchar_t>(hostmodel::ModuleLetter(row.module));
        const std::wstring expected =
            L"Norvale" + std::wstring(1, letter) + L" " + Repeated(L'a' + static_cast<wchar_t>(row.module), 143 - 8);
        EXPECT_EQ(ItemText(session.DisplayMenu(), 1000 + static_cast<unsigned>(row.module)), expected);
    }
}

// Class names longer than the read allows are cut to 143 characters (seen in
// the scan's log lines) and never taken for a module's class, even when they
// begin with one.
TEST(PlatformFaults, LongClassNamesAreCutAndNeverMatchAModuleClass) {
    const struct {
        size_t length;
        wchar_t filler;  // differs per row, so that the cut names differ too
    } rows[] = {{143, L'q'}, {144, L'r'}, {255, L's'}};
    DaemonSession session;
    ASSERT_TRUE(session.directory().WriteFile("norvale.ini", fixture::ConfigText("H", "")));
    HWND holder = session.frame.AddMdiChild(L"Long class names");
    std::vector<std::wstring> classNames;
    for (const auto& row : rows) {
        classNames.push_back(L"mdlg_mhc" + Repeated(row.filler, row.length - 8));
        ASSERT_NE(session.frame.AddChildWindow(holder, classNames.back()), nullptr) << row.length;
    }
    // 255 characters is the longest class name the platform registers, so
    // 300 is not tried: Wine refuses it (error 87) but corrupts its own heap
    // on the way, and the process dies later.
    ASSERT_EQ(session.Start() & 0xFF, 1);
    ASSERT_TRUE(session.WaitForMenu());
    EXPECT_EQ(ItemText(session.DisplayMenu(), 1005), L"Module H");
    const auto details = session.host.LogLines(kLogLevelDetail);
    for (const std::wstring& className : classNames) {
        SCOPED_TRACE("class of " + std::to_string(className.size()) + " characters");
        const std::string logged = "Found window: " + std::string(className.begin(), className.begin() + 143);
        EXPECT_EQ(std::count(details.begin(), details.end(), logged), 1);
    }
}

// 5,000 windows beside the module windows: the scan visits them all and
// still finds every module.
TEST(PlatformFaults, FiveThousandWindowsStillFindEveryModule) {
    constexpr int kExtraWindows = 5000;
    DaemonSession session;
    ASSERT_TRUE(session.directory().WriteFile("norvale.ini", fixture::ConfigText("SPECDHFWXIB", "")));
    HWND slots[fixture::kModules];
    for (int i = 0; i < fixture::kModules; ++i) {
        slots[i] = session.AddModule(i);
    }
    HWND holder = session.frame.AddMdiChild(L"Many windows");
    session.frame.AddChildWindow(holder, L"OrbwickFiller");  // registers the class
    for (int n = 1; n < kExtraWindows; ++n) {
        ASSERT_NE(CreateWindowExW(0, L"OrbwickFiller", L"", WS_CHILD, 0, 0, 10, 10, holder, nullptr,
                                  GetModuleHandleW(nullptr), nullptr),
                  nullptr)
            << n;
    }
    const DWORD started = GetTickCount();
    ASSERT_EQ(session.Start() & 0xFF, 1);
    ASSERT_TRUE(session.WaitForMenu());
    std::printf("[ figures  ] %d extra windows: menu attached %lu ms after STARTUP\n", kExtraWindows,
                static_cast<unsigned long>(GetTickCount() - started));
    const auto details = session.host.LogLines(kLogLevelDetail);
    EXPECT_GE(std::count(details.begin(), details.end(), "Found window: OrbwickFiller"), kExtraWindows);
    for (int i = 0; i < fixture::kModules; ++i) {
        SCOPED_TRACE("module " + std::to_string(i));
        const unsigned id = 1000 + static_cast<unsigned>(i);
        const std::wstring label = ItemText(session.DisplayMenu(), id);
        EXPECT_EQ(label.rfind(L"Norvale", 0), 0u) << "no window found for this module";
        SendMenuCommand(session.frame.frame(), id);
        EXPECT_FALSE(IsWindowVisible(slots[i]));
    }
}

}  // namespace
