// norvhost.exe and orbwick.dll as separate processes, the way an operator
// meets them: start-up hiding, toggling and saving into the host's real
// configuration file, the next start, a refused merge, a module that never
// starts, and a module the host restarts.

#include <gtest/gtest.h>
#include <wincodec.h>

#include <string>

#include "e2e_support.h"

namespace {

using e2e::BaseDirectory;
using e2e::HostRun;
using e2e::HostState;
using e2e::LogLinesWith;

constexpr DWORD kRunLimitMs = 60000;
const wchar_t kConfigName[] = L"norvale.ini";
const wchar_t kUpdateFileName[] = L"IniUpdate.tmp";

// The host's configuration file with the given [HiddenWindows] body; the rest
// (comments, blank lines, other sections, a trailing blank) never changes.
std::string Config(const std::string& hiddenBody) {
    return "; Norvale configuration for the end-to-end tests\r\n"
           "[General]\r\n"
           "ServerName = mail.example   ; the host's name\r\n"
           "\r\n"
           "[Protocols]\r\n"
           "NORVALES=norvales.dll\r\n"
           "NORVALEP=norvalep.dll\r\n"
           "NORVALED=norvaled.dll\r\n"
           "NORVALEX=norvalex.dll\r\n"
           "\r\n"
           "[HiddenWindows]\r\n" +
           hiddenBody +
           "\r\n"
           "; maintenance settings follow\r\n"
           "[Maintenance]\r\n"
           "Queue=C:\\queue \r\n";
}

// Runs the host until the daemon's menu has been there for `script` and the
// run time; fails the test when the host does not end by itself.
HostRun RunAfterMenu(const BaseDirectory& base, const std::wstring& extra) {
    HostRun run = e2e::RunHost(base, L"--after-menu 20000 " + extra, kRunLimitMs);
    EXPECT_TRUE(run.finished) << "the host did not end by itself";
    EXPECT_EQ(run.exitCode, 0u);
    return run;
}

const e2e::MenuItem* FindItem(const HostState& state, unsigned id) {
    for (const e2e::MenuItem& item : state.items) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

void ExpectShown(const HostState& state, const char* title, bool shown) {
    SCOPED_TRACE(title);
    const auto found = state.windowVisible.find(title);
    ASSERT_NE(found, state.windowVisible.end());
    EXPECT_EQ(found->second, shown);
}

void ExpectItem(const HostState& state, unsigned id, bool checked) {
    SCOPED_TRACE("item " + std::to_string(id));
    const e2e::MenuItem* item = FindItem(state, id);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->checked, checked);
}

// Both ways of recognising the SMTP, POP3 and core windows: by title (hosts
// 4.61 and above within major version 4) and by class (older and 5.x hosts).
TEST(EndToEnd, StartupHidesTheListedWindows) {
    for (const wchar_t* version : {L"4.70", L"4.60", L"5.0"}) {
        SCOPED_TRACE(std::string("host version ") + std::string(version, version + wcslen(version)));
        BaseDirectory base;
        base.WriteFile(kConfigName, Config("NORVALES\r\nNORVALEP\r\n"));
        const HostRun run = RunAfterMenu(base, std::wstring(L"--run-ms 400 --host-version ") + version);
        const HostState state = e2e::ReadState(base);
        ExpectShown(state, "Norvale SMTP Server", false);
        ExpectShown(state, "Norvale POP3 Server", false);
        ExpectShown(state, "Norvale Module D", true);
        ExpectShown(state, "Norvale Module X", true);
        ExpectShown(state, "Norvale Core Process", true);
        ExpectShown(state, "System Messages", true);
        ASSERT_TRUE(state.menuPresent);
        ExpectItem(state, 1090, true);
        ExpectItem(state, 1000, false);
        ExpectItem(state, 1001, false);
        ExpectItem(state, 1004, true);
        ExpectItem(state, 1008, true);
        EXPECT_EQ(LogLinesWith(run.log, "Norvale Module D: control 201 clicked").size(), 1u);
        EXPECT_EQ(LogLinesWith(run.log, "Orbwick daemon loaded successfully").size(), 1u);
    }
}

TEST(EndToEnd, ToggleAndSaveRewriteOnlyTheHiddenWindowsSection) {
    BaseDirectory base;
    base.WriteFile(kConfigName, Config("NORVALEP\r\n"));
    // Toggle SMTP (hidden now), toggle X twice (shown again), save.
    const HostRun run = RunAfterMenu(base, L"--commands 100:1000,200:1008,300:1008,500:1099 --run-ms 1200");
    EXPECT_EQ(base.ReadFile(kConfigName), Config("NORVALES\r\nNORVALEP\r\n"));
    EXPECT_FALSE(base.Exists(kUpdateFileName));
    EXPECT_EQ(LogLinesWith(run.log, "MergeSection: [HiddenWindows]").size(), 1u);
    EXPECT_EQ(LogLinesWith(run.log, "[HiddenWindows] NORVALES NORVALEP").size(), 1u) << "command 499 re-reads";
    const HostState state = e2e::ReadState(base);
    ExpectShown(state, "Norvale SMTP Server", false);
    ExpectShown(state, "Norvale Module X", true);
    ExpectItem(state, 1000, false);
    ExpectItem(state, 1008, true);
}

// "Window" as the MDI client's window menu: the platform rebuilds its list of
// children at every activation, creation and destruction of a child; the
// daemon's menu stays once, ahead of that list, and keeps working.
TEST(EndToEnd, DisplayControlSurvivesTheMdiWindowList) {
    BaseDirectory base;
    base.WriteFile(kConfigName, Config(""));
    // Next window, open and close a message viewer, then toggle SMTP.
    const HostRun run =
        RunAfterMenu(base, L"--window-menu --commands 100:113,200:114,300:113,400:115,600:1000 --run-ms 1000");
    EXPECT_EQ(LogLinesWith(run.log, "Message viewer opened").size(), 1u);
    EXPECT_EQ(LogLinesWith(run.log, "Message viewer closed").size(), 1u);
    const HostState state = e2e::ReadState(base);
    ASSERT_TRUE(state.menuPresent);
    EXPECT_EQ(state.displayControlItems, 1);
    EXPECT_EQ(state.windowVisible.count("Message Viewer"), 0u) << "the viewer was closed";
    ExpectShown(state, "Norvale SMTP Server", false);
    ExpectShown(state, "Norvale POP3 Server", true);
    ExpectItem(state, 1000, false);
    ExpectItem(state, 1001, true);
}

TEST(EndToEnd, NextStartHidesExactlyTheSavedWindows) {
    BaseDirectory base;
    base.WriteFile(kConfigName, Config(""));
    RunAfterMenu(base, L"--commands 100:1001,150:1004,300:1099 --run-ms 800");
    ASSERT_EQ(base.ReadFile(kConfigName), Config("NORVALEP\r\nNORVALED\r\n"));

    RunAfterMenu(base, L"--run-ms 400");
    const HostState state = e2e::ReadState(base);
    ExpectShown(state, "Norvale SMTP Server", true);
    ExpectShown(state, "Norvale POP3 Server", false);
    ExpectShown(state, "Norvale Module D", false);
    ExpectShown(state, "Norvale Module X", true);
    ExpectItem(state, 1000, true);
    ExpectItem(state, 1001, false);
    ExpectItem(state, 1004, false);
    ExpectItem(state, 1008, true);
}

TEST(EndToEnd, RefusedMergeShowsTheMessageBoxAndChangesNothing) {
    BaseDirectory base;
    const std::string config = Config("NORVALEP\r\n");
    base.WriteFile(kConfigName, config);
    const HostRun run =
        RunAfterMenu(base, L"--merge-fails --auto-close-boxes --commands 100:1097,300:1099 --run-ms 1500");
    EXPECT_EQ(base.ReadFile(kConfigName), config);
    EXPECT_FALSE(base.Exists(kUpdateFileName));
    EXPECT_EQ(LogLinesWith(run.log, "Message box \"Orbwick\": Failed to save settings").size(), 1u) << run.log;
    EXPECT_EQ(LogLinesWith(run.log, "Configuration re-read").size(), 1u) << "command 499 follows the box";
}

TEST(EndToEnd, ModuleThatNeverStartsLeavesNoMenuAndUnloadsCleanly) {
    BaseDirectory base;
    base.WriteFile(kConfigName, Config("NORVALEP\r\n"));
    const HostRun run = e2e::RunHost(base, L"--never X --run-ms 1500", kRunLimitMs);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    const HostState state = e2e::ReadState(base);
    EXPECT_FALSE(state.menuPresent);
    EXPECT_EQ(state.windowVisible.count("Norvale Module X"), 0u);
    ExpectShown(state, "Norvale POP3 Server", true);
    EXPECT_EQ(LogLinesWith(run.log, "CLOSEDOWN returned 0").size(), 1u);
    EXPECT_EQ(LogLinesWith(run.log, "unloaded (FreeLibrary)").size(), 1u);
    EXPECT_EQ(LogLinesWith(run.log, "norvhost exits with code 0").size(), 1u);
}

TEST(EndToEnd, LateModuleIsWaitedFor) {
    BaseDirectory base;
    base.WriteFile(kConfigName, Config("NORVALED\r\n"));
    const HostRun run = RunAfterMenu(base, L"--late D=1000 --run-ms 400");
    const HostState state = e2e::ReadState(base);
    ExpectShown(state, "Norvale Module D", false);
    ExpectItem(state, 1004, false);
    const auto started = LogLinesWith(run.log, "Module NORVALED started");
    const auto menu = LogLinesWith(run.log, "Script clock starts: the \"Display control\" menu is present");
    ASSERT_EQ(started.size(), 1u);
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_LT(run.log.find(started[0]), run.log.find(menu[0])) << "the menu came before the late module";
}

// The host restarts module P after the menu appeared: its window goes and a
// new, shown one comes. The next P command or save finds the new window; P's
// item then shows what the new window shows, and the save holds NORVALEP
// exactly when the new window is hidden.
TEST(EndToEnd, RestartedModuleIsFoundByTheNextCommand) {
    struct Row {
        const char* name;
        const wchar_t* script;
        bool shown;         // P's new window, and its item's mark
        const char* saved;  // [HiddenWindows] after the save
    };
    const Row rows[] = {
        {"P restarted, then toggled and saved", L"--restart P=100 --commands 300:1001,500:1099", false, "NORVALEP\r\n"},
        {"P hidden, then restarted and saved", L"--commands 100:1001,500:1099 --restart P=300", true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BaseDirectory base;
        base.WriteFile(kConfigName, Config(""));
        const HostRun run = RunAfterMenu(base, std::wstring(row.script) + L" --run-ms 1000");
        EXPECT_EQ(LogLinesWith(run.log, "Module NORVALEP restarted: Norvale POP3 Server").size(), 1u) << run.log;
        EXPECT_EQ(base.ReadFile(kConfigName), Config(row.saved));
        EXPECT_EQ(LogLinesWith(base.ReadFile(L"state.txt"), "\tNorvale POP3 Server\t").size(), 1u) << "one P window";
        const HostState state = e2e::ReadState(base);
        ExpectShown(state, "Norvale POP3 Server", row.shown);
        ExpectItem(state, 1001, row.shown);
        ExpectShown(state, "Norvale SMTP Server", true);
    }
}

bool HasPlatformPngEncoder() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    const bool found = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)));
    if (factory != nullptr) {
        factory->Release();
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return found;
}

// Without norvale.ini the host says so in its log; its screenshot is a PNG
// from the platform's encoder, compact enough to pass around (under 200 KB).
TEST(EndToEnd, MissingConfigurationIsLoggedAndTheScreenshotIsACompactPng) {
    if (!HasPlatformPngEncoder()) {
        GTEST_SKIP() << "no Windows Imaging Component here (Windows XP and Server 2003 lack it unless installed)";
    }
    BaseDirectory base;
    const HostRun run = e2e::RunHost(
        base, L"--modules SPD --auto-close-boxes --screenshot shot.png --screenshot-ms 300 --run-ms 600", kRunLimitMs);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(LogLinesWith(run.log, "norvale.ini not found").size(), 1u) << run.log;
    const std::string png = base.ReadFile(L"shot.png");
    EXPECT_EQ(png.substr(0, 16), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)) << run.log;
    EXPECT_LT(png.size(), 200u * 1024u);
    EXPECT_EQ(LogLinesWith(run.log, std::to_string(png.size()) + " bytes)").size(), 1u) << run.log;
}

}  // namespace
