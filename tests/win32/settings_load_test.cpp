// How norvale.ini becomes the enabled set and the hidden set, seen as the host
// sees it after the first pass: an item in "Display control" for each enabled
// module, and the MDI child of each hidden module hidden.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "test_host.h"

namespace {

constexpr char kLetters[] = "SPECDHFWXIB";
const wchar_t* const kOldHostClasses[] = {L"mdlg_msc", L"mdlg_mpp", L"mdlg_mce", L"mdlg_mcc", L"mdlg_dpc", L"mdlg_mhc",
                                          L"mdlg_mdf", L"mdlg_mdw", L"mdlg_xpc", L"mdlg_mis", L"mdlg_mbs"};
constexpr DWORD kWaitMs = 20000;

HMENU FindDisplayControl(HWND frame) {
    HMENU hostMenu = GetSubMenu(GetMenu(frame), 2);
    for (int i = 0; i < GetMenuItemCount(hostMenu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(hostMenu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        if (std::wstring(text) == L"Display control") {
            return GetSubMenu(hostMenu, i);
        }
    }
    return nullptr;
}

struct Outcome {
    std::string enabled;  // letters with a menu item
    std::string hidden;   // letters whose MDI child was hidden at start-up
};

// Starts the daemon over a frame holding all eleven module windows, with this
// norvale.ini (none when configText is null), and reads the outcome.
Outcome StartWithConfig(const char* configText) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string directory = std::string(temp) + "orbwick-settings\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    const std::string configPath = directory + "norvale.ini";
    DeleteFileA(configPath.c_str());
    if (configText != nullptr) {
        HANDLE file = CreateFileA(configPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, configText, static_cast<DWORD>(strlen(configText)), &written, nullptr);
        CloseHandle(file);
    }

    Outcome outcome;
    testhost::RecordingHost host;
    testhost::HostFrame frame;
    HWND slotWindows[11];
    for (int i = 0; i < 11; ++i) {
        slotWindows[i] = frame.AddModuleWindow(std::wstring(L"Norvale module ") + wchar_t(kLetters[i]), kOldHostClasses[i]);
        host.SetModuleState(kLetters[i], 1);
    }
    host.SetBaseDirectory(directory);
    host.SetMainWindow(frame.frame());
    {
        testhost::DaemonLibrary daemon;
        EXPECT_EQ(daemon.Startup(host.MakeRecord(3, 0)) & 0xFF, 1);
        HMENU menu = nullptr;
        EXPECT_TRUE(testhost::PumpUntil([&] { return (menu = FindDisplayControl(frame.frame())) != nullptr; }, kWaitMs));
        for (int i = 0; i < 11; ++i) {
            if (menu != nullptr && GetMenuState(menu, 1000u + i, MF_BYCOMMAND) != static_cast<UINT>(-1)) {
                outcome.enabled += kLetters[i];
            }
            if (!IsWindowVisible(GetParent(slotWindows[i]))) {
                outcome.hidden += kLetters[i];
            }
        }
        daemon.Closedown();
    }
    EXPECT_TRUE(testhost::PumpUntil([] { return GetModuleHandleW(L"orbwick.dll") == nullptr; }, kWaitMs));
    DeleteFileA(configPath.c_str());
    RemoveDirectoryA(directory.c_str());
    return outcome;
}

TEST(LoadSettings, SectionsBecomeTheEnabledAndHiddenSets) {
    const struct {
        const char* name;
        const char* config;  // null: no norvale.ini at all
        const char* enabled;
        const char* hidden;
    } rows[] = {
        {"no file", nullptr, "", ""},
        {"neither section", "[General]\r\nNORVALES=1\r\n", "", ""},
        {"bare names", "[Protocols]\r\nNORVALES\r\nNORVALEB\r\n[HiddenWindows]\r\nNORVALEB\r\n", "SB", "B"},
        {"lower case and inside longer lines",
         "[Protocols]\r\nnorvalep\r\nNORVALEE=C:\\bin\\smtp.dll\r\nload C:\\bin\\norvalec.dll\r\n", "PEC", ""},
        {"after a comment on the line", "[Protocols]\r\nlist ; NORVALES\r\nlist # NORVALEP\r\n# NORVALEE\r\n", "", ""},
        {"only in another section", "[Other]\r\nNORVALEH\r\n[Protocols]\r\nNORVALEF\r\n", "F", ""},
        {"before any section header", "NORVALEX\r\n[Protocols]\r\nNORVALEW\r\n", "W", ""},
        {"hidden but not enabled", "[Protocols]\r\nNORVALES\r\n[HiddenWindows]\r\nNORVALEP\r\nNORVALES\r\n", "S", "SP"},
        {"headers in any case, blanks inside the brackets",
         "[ protocols ]\r\nNORVALEI\r\n[HIDDENWINDOWS]\r\nNORVALEI\r\n", "I", "I"},
        {"a section in two parts", "[Protocols]\r\nNORVALES\r\n[Other]\r\nx\r\n[PROTOCOLS]\r\nNORVALEB\r\n", "SB", ""},
        {"LF line ends and a key=value form", "[Protocols]\nNORVALED = yes\n[HiddenWindows]\nNORVALED=1\n", "D", "D"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = StartWithConfig(row.config);
        EXPECT_EQ(outcome.enabled, row.enabled);
        EXPECT_EQ(outcome.hidden, row.hidden);
    }
}

}  // namespace
