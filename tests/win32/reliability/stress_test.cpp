// Long random runs of Display control commands through a real frame and
// message loop: check marks stay in step with the windows, the process's
// objects do not grow, and a repeated save writes the same bytes every time.
// The seed is printed with every failure; ORBWICK_STRESS_SEED replaces it.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

#include "daemon_session.h"
#include "menu_reader.h"
#include "object_count.h"

using fixture::CheckMark;
using fixture::DaemonSession;
using fixture::kCore;
using fixture::kModules;
using hostmodel::SendMenuCommand;

namespace {

constexpr unsigned kDefaultSeed = 20240611;
constexpr int kStressCommands = 10000;
constexpr unsigned kToggleFirst = 1000;
constexpr unsigned kToggleCore = 1090;
constexpr unsigned kHideAll = 1097;
constexpr unsigned kShowAll = 1098;
constexpr unsigned kSave = 1099;
// Identifiers the frame's own MDI handling acts on start at 50000.
constexpr unsigned kHighestIgnoredId = 49999;

unsigned StressSeed() {
    const char* text = std::getenv("ORBWICK_STRESS_SEED");
    return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : kDefaultSeed;
}

bool IsDaemonCommand(unsigned id) {
    return (id >= kToggleFirst && id <= kToggleFirst + 10) || id == kToggleCore || (id >= kHideAll && id <= kSave);
}

// The layout of the run: every window present except module 9's, every
// module enabled except 7 (whose window exists but has no item), modules 1
// and 5 hidden at start-up.
const char kEnabled[] = "SPECDHFXIB";
const char kHidden[] = "PH";
constexpr int kMissingWindow = 9;
constexpr int kNotEnabled = 7;

// What the daemon is expected to have done: each window's visibility, and
// whether the last action on it came through the menu (only then must its
// check mark agree with it).
struct Model {
    HWND slot[kModules + 1] = {};
    bool visible[kModules + 1] = {};
    bool byMenu[kModules + 1] = {};

    bool Found(int i) const { return slot[i] != nullptr; }
    bool HasItem(int i) const { return i == kCore || i != kNotEnabled; }
    void Set(int i, bool shown, bool menu) {
        visible[i] = shown;
        byMenu[i] = menu;
    }
};

unsigned CommandOf(int i) { return i == kCore ? kToggleCore : kToggleFirst + static_cast<unsigned>(i); }

class StressRun {
public:
    explicit StressRun(unsigned seed) : random_(seed), seed_(seed) {}

    // Starts the daemon in the layout above; false when no menu came.
    bool Start() {
        session_.host.SetBaseDirectory(session_.directory().Path());
        if (!session_.directory().WriteFile("norvale.ini", fixture::ConfigText(kEnabled, kHidden))) {
            return false;
        }
        for (int i = 0; i < kModules; ++i) {
            model_.slot[i] = i == kMissingWindow ? nullptr : session_.AddModule(i);
        }
        model_.slot[kCore] = session_.AddCore();
        if ((session_.Start() & 0xFF) != 1 || !session_.WaitForMenu()) {
            return false;
        }
        for (int i = 0; i <= kCore; ++i) {
            model_.Set(i, i == kCore || (model_.Found(i) && i != 1 && i != 5), true);
        }
        display_ = session_.DisplayMenu();
        return true;
    }

    // One random step; returns its description.
    std::string Step() {
        const int kind = Pick(0, 99);
        if (kind < 55) {
            const int i = Pick(0, kModules);  // kModules stands for the core window
            SendToFrame(CommandOf(i));
            if (model_.Found(i)) {
                model_.Set(i, !model_.visible[i], true);
            }
            return "toggle " + std::to_string(CommandOf(i));
        }
        if (kind < 63) {
            SendToFrame(kHideAll);
            SetAll(false);
            return "hide all";
        }
        if (kind < 71) {
            SendToFrame(kShowAll);
            SetAll(true);
            return "show all";
        }
        if (kind < 83) {
            unsigned id;
            do {
                id = static_cast<unsigned>(Pick(0, static_cast<int>(kHighestIgnoredId)));
            } while (IsDaemonCommand(id));
            SendToFrame(id);
            return "ignored id " + std::to_string(id);
        }
        if (kind < 93) {
            const unsigned ids[] = {kToggleFirst, kToggleFirst + 4, kToggleCore, kHideAll, kShowAll};
            const unsigned id = ids[Pick(0, 4)];
            HWND other = model_.slot[Pick(0, 1) == 0 ? kCore : 0];
            SendMenuCommand(other, id);
            return "command " + std::to_string(id) + " to a module's own window";
        }
        // The host itself shows or hides a module window: no check mark
        // follows, so that window leaves the invariant until the menu acts
        // on it again.
        int i;
        do {
            i = Pick(0, kModules);
        } while (!model_.Found(i));
        const bool show = Pick(0, 1) == 1;
        ShowWindow(GetParent(model_.slot[i]), show ? SW_SHOW : SW_HIDE);
        model_.Set(i, show, false);
        return std::string("host ") + (show ? "shows " : "hides ") + std::to_string(i);
    }

    // Empty when everything agrees, otherwise what did not.
    std::string Check() const {
        std::ostringstream problems;
        for (int i = 0; i <= kCore; ++i) {
            if (!model_.Found(i)) {
                // An enabled module without a window keeps its first mark.
                if (CheckMark(display_, CommandOf(i)) != std::optional<bool>(true)) {
                    problems << " item " << CommandOf(i) << " of a module without window lost its mark;";
                }
                continue;
            }
            const bool visible = IsWindowVisible(model_.slot[i]) != FALSE;
            if (visible != model_.visible[i]) {
                problems << " window " << i << " visible=" << visible << " expected " << model_.visible[i] << ";";
            }
            if (model_.HasItem(i) && model_.byMenu[i] && CheckMark(display_, CommandOf(i)) != visible) {
                problems << " item " << CommandOf(i) << " mark differs from visibility " << visible << ";";
            }
        }
        return problems.str();
    }

    DaemonSession& session() { return session_; }
    HMENU display() const { return display_; }
    size_t commandsToFrame() const { return commandsToFrame_; }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    void SendToFrame(unsigned id) {
        SendMenuCommand(session_.frame.frame(), id);
        ++commandsToFrame_;
    }

    // Hide all and Show all act on the enabled modules whose window was
    // found, and on the core window.
    void SetAll(bool shown) {
        for (int i = 0; i <= kCore; ++i) {
            if (model_.Found(i) && model_.HasItem(i)) {
                model_.Set(i, shown, true);
            }
        }
    }

    DaemonSession session_;
    Model model_;
    HMENU display_ = nullptr;
    std::mt19937 random_;
    unsigned seed_;
    size_t commandsToFrame_ = 0;
};

TEST(Stress, TenThousandRandomCommandsKeepMarksInStepWithWindows) {
    const unsigned seed = StressSeed();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (set ORBWICK_STRESS_SEED to repeat or vary)");
    StressRun run(seed);
    ASSERT_TRUE(run.Start()) << "the Display control menu never appeared";
    const int hostItems = GetMenuItemCount(run.session().HostMenu());
    const int displayItems = GetMenuItemCount(run.display());
    ASSERT_EQ(run.Check(), "") << "before the first command";

    const DWORD started = GetTickCount();
    for (int step = 1; step <= kStressCommands; ++step) {
        const std::string what = run.Step();
        const std::string problems = run.Check();
        ASSERT_EQ(problems, "") << "after command " << step << " of " << kStressCommands << ": " << what;
    }
    std::printf("[ figures  ] %d commands, seed %u, %lu ms\n", kStressCommands, seed,
                static_cast<unsigned long>(GetTickCount() - started));

    // Every command addressed to the frame still reached it, and no item
    // was added anywhere.
    EXPECT_EQ(run.session().frame.commandsReceived().size(), run.commandsToFrame());
    EXPECT_EQ(GetMenuItemCount(run.session().HostMenu()), hostItems);
    EXPECT_EQ(GetMenuItemCount(run.display()), displayItems);
    EXPECT_TRUE(run.session().host.CallsOf(hostmodel::Op::MergeSection).empty());
}

// The kernel handles and menus the daemon opens and does not close, counted
// through its imports, and the process's threads.
TEST(Stress, ProcessObjectsDoNotGrowOverARun) {
    constexpr int kWarmUp = 1000;
    constexpr int kMeasured = 5000;
    const unsigned seed = StressSeed() + 1;
    SCOPED_TRACE("seed " + std::to_string(seed));
    StressRun run(seed);
    ASSERT_TRUE(run.Start());
    const fixture::ObjectCount objects(run.session().library()->module());
    ASSERT_EQ(objects.patched(), 10);
    for (int step = 0; step < kWarmUp; ++step) {
        run.Step();
    }
    const size_t handlesBefore = objects.openHandles();
    const size_t menusBefore = objects.liveMenus().size();
    const int threadsBefore = fixture::ThreadCount();
    for (int step = 0; step < kMeasured; ++step) {
        run.Step();
    }
    std::printf("[ figures  ] %d+%d commands: handles left open %u -> %u, menus %u -> %u, threads %d -> %d\n", kWarmUp,
                kMeasured, static_cast<unsigned>(handlesBefore), static_cast<unsigned>(objects.openHandles()),
                static_cast<unsigned>(menusBefore), static_cast<unsigned>(objects.liveMenus().size()), threadsBefore,
                fixture::ThreadCount());
    EXPECT_EQ(objects.openHandles(), 0u) << "a kernel handle was left open by a command";
    EXPECT_EQ(objects.liveMenus().size(), 0u) << "a menu was made by a command and not destroyed";
    ASSERT_GT(threadsBefore, 0) << "Toolhelp gives no thread list";
    EXPECT_LE(fixture::ThreadCount(), threadsBefore);
}

TEST(Stress, AThousandSavesWriteTheSameFile) {
    constexpr int kSaves = 1000;
    StressRun run(StressSeed());
    ASSERT_TRUE(run.Start());
    DaemonSession& session = run.session();
    // Modules 1 and 5 are hidden since start-up; hide 0 and 10 as well, and
    // the core window, which is never saved.
    SendMenuCommand(session.frame.frame(), kToggleFirst);
    SendMenuCommand(session.frame.frame(), kToggleFirst + 10);
    SendMenuCommand(session.frame.frame(), kToggleCore);
    const std::string expected = "NORVALES\r\nNORVALEP\r\nNORVALEH\r\nNORVALEB\r\n";

    const DWORD started = GetTickCount();
    for (int i = 0; i < kSaves; ++i) {
        SendMenuCommand(session.frame.frame(), kSave);
    }
    std::printf("[ figures  ] %d saves in %lu ms\n", kSaves, static_cast<unsigned long>(GetTickCount() - started));
    const auto merges = session.host.CallsOf(hostmodel::Op::MergeSection);
    ASSERT_EQ(merges.size(), static_cast<size_t>(kSaves));
    for (size_t i = 0; i < merges.size(); ++i) {
        SCOPED_TRACE("save " + std::to_string(i + 1));
        ASSERT_TRUE(merges[i].fileExisted);
        ASSERT_EQ(merges[i].fileBytes, expected);
        ASSERT_EQ(merges[i].fileName, "IniUpdate.tmp");
    }
    size_t reloads = 0;
    for (unsigned id : session.frame.commandsReceived()) {
        reloads += id == 499 ? 1 : 0;
    }
    EXPECT_EQ(reloads, static_cast<size_t>(kSaves));
    EXPECT_FALSE(fixture::FileExists(session.directory().Path() + "IniUpdate.tmp"));
}

}  // namespace
