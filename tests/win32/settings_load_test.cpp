// How norvale.ini becomes the enabled set and the hidden set, seen as the host
// sees it after the first pass: an item in "Display control" for each enabled
// module, and the MDI child of each hidden module hidden.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "daemon_session.h"
#include "menu_reader.h"
#include "message_box_closer.h"

namespace {

struct Outcome {
    std::string enabled;  // letters with a menu item
    std::string hidden;   // letters whose MDI child was hidden at start-up
    bool saidNotRead;     // the log said norvale.ini could not be read
    bool saved;           // a save then had the host merge its file
};

// Starts the daemon over a frame holding all eleven module windows, with this
// norvale.ini (none when configText is null), and reads the outcome.
Outcome StartWithConfig(const char* configText) {
    fixture::DaemonSession s;
    if (configText != nullptr) {
        EXPECT_TRUE(s.directory().WriteFile("norvale.ini", configText));
    }
    HWND slotWindows[fixture::kModules];
    for (int i = 0; i < fixture::kModules; ++i) {
        slotWindows[i] = s.AddModule(i);
    }
    Outcome outcome;
    EXPECT_EQ(s.Start() & 0xFF, 1);
    EXPECT_TRUE(s.WaitForMenu());
    HMENU menu = s.DisplayMenu();
    for (int i = 0; i < fixture::kModules; ++i) {
        if (menu != nullptr && fixture::CheckMark(menu, 1000u + i).has_value()) {
            outcome.enabled += hostmodel::ModuleLetter(i);
        }
        if (!IsWindowVisible(GetParent(slotWindows[i]))) {
            outcome.hidden += hostmodel::ModuleLetter(i);
        }
    }
    const auto lines = s.host.LogLines(kLogLevelOutcome);
    outcome.saidNotRead =
        std::find(lines.begin(), lines.end(), "Orbwick: norvale.ini could not be read") != lines.end();
    {
        const fixture::MessageBoxCloser closer;
        hostmodel::SendMenuCommand(s.frame.frame(), 1099);
    }
    outcome.saved = !s.host.CallsOf(hostmodel::Op::MergeSection).empty();
    EXPECT_TRUE(s.CloseAndUnload());
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
        // Without the file the daemon cannot tell which modules the host
        // runs: a save would erase the choice saved for all of them.
        EXPECT_EQ(outcome.saidNotRead, row.config == nullptr);
        EXPECT_EQ(outcome.saved, row.config != nullptr);
    }
}

}  // namespace
