// The start-up worker seen from the host: which modules it asks about and in
// which order, the one start-up click, the whole first pass, and CLOSEDOWN
// and unloading at any moment of the worker's life.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "daemon_session.h"
#include "import_patch.h"
#include "menu_reader.h"

using fixture::DaemonSession;
using fixture::IsChecked;
using fixture::kWaitMs;
using fixture::ThreadsOfThisProcess;
using hostmodel::Op;
using hostmodel::PumpUntil;

namespace {

constexpr char kScanComplete[] = "Orbwick: window scan complete";

std::vector<std::string> ModuleStateNames(const hostmodel::RecordingHost& host) {
    std::vector<std::string> names;
    for (const auto& call : host.CallsOf(Op::ModuleState)) names.push_back(call.text);
    return names;
}

std::string Name(char letter) { return std::string("NORVALE") + letter; }

// Pumps until the worker wrote its scan-complete line and its thread ended.
bool WaitForFirstPass(const hostmodel::RecordingHost& host) {
    if (!PumpUntil([&] { return fixture::ThreadOfLogLine(host, kScanComplete) != 0; }, kWaitMs))
        return false;
    return fixture::WaitForThreadEnd(fixture::ThreadOfLogLine(host, kScanComplete));
}

TEST(Polling, AsksFromTheHighestEnabledModuleDownAndStopsAtTheFirstAbsent) {
    const struct {
        const char* name;
        char absentAtFirst;                // reported -1 until the test makes it present
        std::vector<std::string> perPoll;  // the names asked in one unsuccessful test
    } rows[] = {
        {"highest module absent", 'B', {Name('B')}},
        {"middle module absent", 'D', {Name('B'), Name('D')}},
        {"lowest module absent", 'S', {Name('B'), Name('D'), Name('S')}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("SDB", "");  // modules 0, 4 and 10
        // 0 (known, status bit clear) and 2 count as present as well as 1.
        s.host.SetModuleState('S', 2);
        s.host.SetModuleState('D', 0);
        s.host.SetModuleState('B', 1);
        s.host.SetModuleState(row.absentAtFirst, -1);
        ASSERT_EQ(s.Start() & 0xFF, 1);
        const size_t threePolls = 3 * row.perPoll.size();
        ASSERT_TRUE(PumpUntil([&] { return s.host.CallsOf(Op::ModuleState).size() >= threePolls; }, kWaitMs));
        EXPECT_FALSE(s.MenuAttached()) << "nothing happens while a module is absent";
        s.host.SetModuleState(row.absentAtFirst, 0);
        ASSERT_TRUE(s.WaitForMenu());
        ASSERT_TRUE(s.CloseAndUnload());

        const auto names = ModuleStateNames(s.host);
        const std::vector<std::string> passing = {Name('B'), Name('D'), Name('S')};
        ASSERT_GE(names.size(), threePolls + passing.size());
        EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()), passing) << "the one passing test";
        // Each poll before it stops at the absent module.
        const size_t failingCalls = names.size() - passing.size();
        ASSERT_EQ(failingCalls % row.perPoll.size(), 0u) << "polls are whole";
        for (size_t i = 0; i < failingCalls; ++i) {
            SCOPED_TRACE(testing::Message() << "call " << i);
            EXPECT_EQ(names[i], row.perPoll[i % row.perPoll.size()]);
        }
        for (const auto& call : s.host.CallsOf(Op::ModuleState)) {
            EXPECT_EQ(call.number, 0) << "the two further arguments are 0";
            EXPECT_NE(call.threadId, GetCurrentThreadId()) << "asked from the worker's thread";
        }
    }
}

TEST(Polling, EmptyEnabledSetAsksNothingAndBuildsTheFixedMenu) {
    DaemonSession s("", "SPECDHFWXIB");
    HWND smtp = GetParent(s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc"));
    ASSERT_TRUE(s.StartAndWaitForMenu());
    EXPECT_TRUE(s.host.CallsOf(Op::ModuleState).empty());
    EXPECT_EQ(GetMenuItemCount(s.DisplayMenu()), 6);
    // A hidden module that is not enabled is hidden at start-up all the same,
    // gets no item, and Show all leaves it hidden.
    EXPECT_FALSE(IsWindowVisible(smtp));
    hostmodel::SendMenuCommand(s.frame.frame(), 1098);
    EXPECT_FALSE(IsWindowVisible(smtp));
    ASSERT_TRUE(s.WaitForWorkerEnd());
    EXPECT_EQ(s.host.LogLines(kLogLevelOutcome), std::vector<std::string>{"Orbwick daemon loaded successfully"})
        << "a menu attached is no outcome to report";
}

// ---------------------------------------------------------------------------
// Timing, from the times at which the host received the worker's calls. The
// lower bounds are the worker's own waits, which a loaded machine only
// lengthens; the upper bounds are generous multiples of them.

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

TEST(Timing, WaitsAsLongAsItShouldAndNoLonger) {
    const struct {
        const char* name;
        size_t absentTests;  // tests in which module S is still absent
    } rows[] = {{"every module present", 0}, {"module S starts late", 8}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("SB", "");  // each test asks for B first, then S
        s.AddModule(0);
        s.AddModule(10);
        if (row.absentTests > 0)
            s.host.SetModuleState('S', -1);
        const double started = hostmodel::NowMs();
        ASSERT_EQ(s.Start() & 0xFF, 1);
        if (row.absentTests > 0) {
            ASSERT_TRUE(
                PumpUntil([&] { return s.host.CallsOf(Op::ModuleState).size() >= 2 * row.absentTests; }, kWaitMs));
            s.host.SetModuleState('S', 1);
        }
        ASSERT_TRUE(s.WaitForMenu());
        const double menuAfterMs = hostmodel::NowMs() - started;

        std::vector<double> tests;  // the time of each readiness test
        for (const auto& call : s.host.CallsOf(Op::ModuleState)) {
            if (call.text == Name('B'))
                tests.push_back(call.timeMs);
        }
        ASSERT_GE(tests.size(), row.absentTests + 1);
        EXPECT_GE(tests.front() - started, 90) << "the first test comes after the initial delay of 100 ms";
        std::vector<double> gaps;
        for (size_t i = 1; i < tests.size(); ++i) gaps.push_back(tests[i] - tests[i - 1]);
        if (!gaps.empty()) {
            EXPECT_GE(Median(gaps), 10) << "tests about 20 ms apart";
            EXPECT_LE(Median(gaps), 100) << "tests about 20 ms apart";
        }
        double scanStarted = 0;  // the scan's first log line
        for (const auto& call : s.host.CallsOf(Op::WriteLog)) {
            if (call.number == kLogLevelDetail && scanStarted == 0)
                scanStarted = call.timeMs;
        }
        EXPECT_GE(scanStarted - s.host.CallsOf(Op::ModuleState).back().timeMs, 90)
            << "the scan comes 100 ms after the passing test";
        if (row.absentTests == 0) {
            EXPECT_LT(menuAfterMs, 1000) << "the menu is there well within a second of STARTUP";
        }
    }
}

// ---------------------------------------------------------------------------
// The start-up click

struct Click {
    HWND target;
    int hostMenuItems;  // items of the host menu when the click arrived
};
std::vector<Click> g_clicks;
HMENU g_hostMenu = nullptr;

LRESULT CALLBACK ClickTargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BM_CLICK) {
        g_clicks.push_back({window, GetMenuItemCount(g_hostMenu)});
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A control that records the clicks it gets.
HWND AddClickTarget(HWND parent, int id) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &ClickTargetProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"OrbwickClickTarget";
    RegisterClassW(&windowClass);  // fails harmlessly once registered
    return CreateWindowExW(0, L"OrbwickClickTarget", L"", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), GetModuleHandleW(nullptr), nullptr);
}

TEST(StartupClick, OneClickOnControl201OfModule4AfterTheMenu) {
    const struct {
        const char* name;
        std::string enabled;
        bool windowFound;
        bool clicked;
    } rows[] = {
        {"enabled and found", "DS", true, true},
        {"enabled, window not found", "DS", false, false},
        {"found, not enabled", "S", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        g_clicks.clear();
        DaemonSession s(row.enabled, "");
        g_hostMenu = s.HostMenu();
        HWND mdiChild = s.frame.AddMdiChild(L"Norvale Dial-up");
        HWND slot = row.windowFound ? s.frame.AddChildWindow(mdiChild, L"mdlg_dpc") : mdiChild;
        HWND target = AddClickTarget(slot, 201);
        AddClickTarget(slot, 202);
        if (row.windowFound) {
            AddClickTarget(mdiChild, 201);  // the MDI child's own 201 is not the target
        }
        // Counted after the MDI children exist: the MDI client lists them in
        // this same menu, the frame's window menu.
        const int hostItems = GetMenuItemCount(g_hostMenu);

        ASSERT_EQ(s.Start() & 0xFF, 1);
        ASSERT_TRUE(WaitForFirstPass(s.host));
        if (row.clicked) {
            ASSERT_EQ(g_clicks.size(), 1u);
            EXPECT_EQ(g_clicks[0].target, target);
            EXPECT_EQ(g_clicks[0].hostMenuItems, hostItems + 2) << "the menu was attached before the click";
        } else {
            EXPECT_TRUE(g_clicks.empty());
        }
    }
}

// ---------------------------------------------------------------------------
// The whole first pass

TEST(FirstPass, HidesTheListedModulesAndLeavesTheirItemsUnchecked) {
    DaemonSession s("SPEB", "EBC");
    HWND smtp = GetParent(s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc"));
    HWND pop = GetParent(s.frame.AddModuleWindow(L"Norvale POP3 Server", L"mdlg_mpp"));
    HWND checker = GetParent(s.frame.AddModuleWindow(L"Norvale Checker", L"mdlg_mce"));
    HWND backup = GetParent(s.frame.AddModuleWindow(L"Norvale Backup", L"mdlg_mbs"));
    HWND cache = GetParent(s.frame.AddModuleWindow(L"Norvale Cache", L"mdlg_mcc"));
    HWND core = GetParent(s.frame.AddModuleWindow(L"Norvale Core Process", L"mdlg_core"));
    ASSERT_TRUE(s.StartAndWaitForMenu());

    const struct {
        const char* name;
        HWND window;
        UINT command;  // 0: no item
        bool shown;
    } rows[] = {
        {"S", smtp, 1000, true},
        {"P", pop, 1001, true},
        {"E hidden", checker, 1002, false},
        {"B hidden", backup, 1010, false},
        {"C hidden, not enabled", cache, 0, false},
        {"core", core, 1090, true},
    };
    HMENU menu = s.DisplayMenu();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IsWindowVisible(row.window) != FALSE, row.shown);
        if (row.command != 0) {
            EXPECT_EQ(IsChecked(menu, row.command), row.shown);
        }
    }
    EXPECT_EQ(GetMenuState(menu, 1003, MF_BYCOMMAND), static_cast<UINT>(-1)) << "no item for module C";
    // Toggling a listed module shows it again.
    hostmodel::SendMenuCommand(s.frame.frame(), 1002);
    EXPECT_TRUE(IsWindowVisible(checker));
    EXPECT_TRUE(IsChecked(menu, 1002));
}

// ---------------------------------------------------------------------------
// CLOSEDOWN and unloading while the worker still runs

TEST(Unloading, WhileTheWorkerWaitsForAModuleThatNeverComes) {
    DaemonSession s("SB", "B");
    HWND backup = GetParent(s.frame.AddModuleWindow(L"Norvale Backup", L"mdlg_mbs"));
    s.host.SetModuleState('S', -1);
    ASSERT_EQ(s.Start() & 0xFF, 1);
    ASSERT_TRUE(PumpUntil([&] { return s.host.CallsOf(Op::ModuleState).size() >= 4; }, kWaitMs));
    const DWORD worker = s.host.CallsOf(Op::ModuleState)[0].threadId;
    HANDLE workerThread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, worker);
    ASSERT_NE(workerThread, nullptr);

    EXPECT_EQ(s.library()->Closedown(), 0);
    s.library().reset();  // FreeLibrary by the host
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(workerThread, 0) == WAIT_OBJECT_0; }, kWaitMs))
        << "the worker's thread ends";
    DWORD exitCode = 1;
    GetExitCodeThread(workerThread, &exitCode);
    CloseHandle(workerThread);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(fixture::LibraryLoaded()) << "its reference went with it";

    // The host keeps running and pumping: nothing more comes from the daemon.
    const size_t callsAfterEnd = s.host.Calls().size();
    hostmodel::PumpFor(300);
    EXPECT_EQ(s.host.Calls().size(), callsAfterEnd);
    EXPECT_FALSE(s.MenuAttached());
    EXPECT_TRUE(IsWindowVisible(backup)) << "the pass never ran";
}

// CLOSEDOWN's wait for the worker, seen through the daemon's import of
// MsgWaitForMultipleObjects: g_closedownWaits is set as the wait begins.
HANDLE g_closedownWaits = nullptr;
DWORD WINAPI NoteClosedownWaits(DWORD count, const HANDLE* handles, BOOL all, DWORD milliseconds, DWORD mask) {
    SetEvent(g_closedownWaits);
    return MsgWaitForMultipleObjects(count, handles, all, milliseconds, mask);
}

// CLOSEDOWN stops the worker wherever it is in its normal life and returns
// only once its thread has ended, so that a FreeLibrary right after it
// unmaps the library at once, without waiting for anything. A message sent
// to the host's thread meanwhile is answered, and the wait goes on.
TEST(Unloading, ClosedownEndsTheWorkerSoFreeLibraryUnmapsAtOnce) {
    enum class Moment { FirstWait, Polling, PassDone, SendingDuringTheWait };
    const struct {
        const char* name;
        Moment moment;
    } rows[] = {{"right after STARTUP, in the first wait", Moment::FirstWait},
                {"polling for a module that never comes", Moment::Polling},
                {"after the first pass", Moment::PassDone},
                {"in a host call that sends to the host's thread once CLOSEDOWN waits", Moment::SendingDuringTheWait}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("SB", "");
        s.frame.AddModuleWindow(L"Norvale Backup", L"mdlg_mbs");
        if (row.moment == Moment::FirstWait || row.moment == Moment::Polling)
            s.host.SetModuleState('S', -1);
        std::atomic<bool> inside{false}, answered{false};
        g_closedownWaits = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (row.moment == Moment::SendingDuringTheWait) {
            s.host.SetOnLog([&](int32_t level, const char*) {
                if (level == kLogLevelDetail && !inside.exchange(true)) {
                    WaitForSingleObject(g_closedownWaits, kWaitMs);
                    SendMessageW(s.frame.frame(), WM_NULL, 0, 0);
                    answered = true;
                }
            });
        }
        hostmodel::PumpFor(50);  // the platform's own threads for the first windows
        const std::set<DWORD> before = ThreadsOfThisProcess();
        ASSERT_EQ(s.Start() & 0xFF, 1);
        std::set<DWORD> started;
        for (DWORD thread : ThreadsOfThisProcess()) {
            if (before.count(thread) == 0)
                started.insert(thread);
        }
        ASSERT_FALSE(started.empty()) << "the worker's thread";
        if (row.moment == Moment::Polling) {
            ASSERT_TRUE(PumpUntil([&] { return s.host.CallsOf(Op::ModuleState).size() >= 3; }, kWaitMs));
        }
        if (row.moment == Moment::PassDone) {
            ASSERT_TRUE(s.WaitForWorkerEnd());
        }
        std::optional<fixture::ImportPatch> patch;
        if (row.moment == Moment::SendingDuringTheWait) {
            ASSERT_TRUE(PumpUntil([&] { return inside.load(); }, kWaitMs));
            patch.emplace(s.library()->module(), "MsgWaitForMultipleObjects",
                          reinterpret_cast<void*>(&NoteClosedownWaits));
            ASSERT_TRUE(patch->applied());
        }
        std::vector<HANDLE> threads;
        for (DWORD id : started) threads.push_back(OpenThread(SYNCHRONIZE, FALSE, id));
        const size_t calls = s.host.Calls().size();

        EXPECT_EQ(s.library()->Closedown(), 0);
        patch.reset();
        EXPECT_EQ(answered.load(), row.moment == Moment::SendingDuringTheWait) << "the worker's message answered";
        for (HANDLE thread : threads) {
            EXPECT_TRUE(thread == nullptr || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0)
                << "no thread of the daemon is left when CLOSEDOWN returns";
            if (thread != nullptr)
                CloseHandle(thread);
        }
        s.library().reset();
        EXPECT_FALSE(fixture::LibraryLoaded()) << "FreeLibrary unmapped it at once";
        EXPECT_EQ(s.host.Calls().size(), calls) << "nothing more asked of the host";
        if (row.moment == Moment::FirstWait) {
            EXPECT_TRUE(s.host.CallsOf(Op::ModuleState).empty()) << "stopped before its first test";
        }
        PumpUntil([] { return !fixture::LibraryLoaded(); }, kWaitMs);  // a worker left behind is answered
        CloseHandle(g_closedownWaits);
    }
}

// Polls without pumping: the worker's messages to the frame stay unanswered.
bool WaitWithoutPumping(const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > kWaitMs)
            return false;
        Sleep(1);
    }
    return true;
}

// CLOSEDOWN waits for its bound (1 s) only for a worker that does not come
// back; one waiting for this thread to answer is answered from inside the
// wait and ends at once. The bound is far above what a loaded machine needs.
constexpr DWORD kClosedownQuickMs = 500;

// The worker waits for this thread to answer its title read when CLOSEDOWN
// comes: CLOSEDOWN answers it (and nothing posted) and returns as soon as the
// worker has gone.
TEST(Unloading, ClosedownAnswersTheWorkersTitleReadAndStopsItsScan) {
    DaemonSession s("", "S");
    HWND smtpSlot = s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc");
    HWND smtp = GetParent(smtpSlot);
    for (int i = 0; i < 300; ++i) s.frame.AddChildWindow(smtpSlot, L"NvlPanel");  // a large host
    const int systemItems = GetMenuItemCount(GetSystemMenu(smtp, FALSE));
    ASSERT_EQ(s.Start() & 0xFF, 1);
    // Right after this line the worker asks the MDI child for its title with
    // SendMessageW, which only this thread can answer.
    ASSERT_TRUE(WaitWithoutPumping([&] {
        const auto lines = s.host.LogLines(25);
        return std::find(lines.begin(), lines.end(), "Found window: NVLMDICHILD") != lines.end();
    }));
    const DWORD worker = fixture::ThreadOfLogLine(s.host, "Found window: NVLMDICHILD");
    const DWORD closing = GetTickCount();
    EXPECT_EQ(s.library()->Closedown(), 0);
    EXPECT_LT(GetTickCount() - closing, kClosedownQuickMs) << "CLOSEDOWN answered the worker's message";
    const size_t callsAtClosedown = s.host.Calls().size();
    s.library().reset();
    ASSERT_TRUE(fixture::WaitForThreadEnd(worker));
    EXPECT_FALSE(fixture::LibraryLoaded());
    hostmodel::PumpFor(200);
    // At most the one call already under way; the scan stopped between two
    // windows instead of logging the 300 left.
    EXPECT_LE(s.host.Calls().size(), callsAtClosedown + 1);
    for (const auto& line : s.host.LogLines(25)) EXPECT_NE(line, kScanComplete);
    EXPECT_EQ(GetMenuItemCount(GetSystemMenu(smtp, FALSE)), systemItems) << "no menu changed after CLOSEDOWN";
    EXPECT_TRUE(IsWindowVisible(smtp)) << "no hiding after CLOSEDOWN";
    EXPECT_FALSE(s.MenuAttached()) << "no menu after CLOSEDOWN";
}

// Runs once, inside a module window's procedure, when the worker hides it:
// the worker waits in ShowWindow meanwhile.
std::function<void()> g_onHide;
WNDPROC g_hideWindowProc = nullptr;

LRESULT CALLBACK HoldHide(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SHOWWINDOW && wParam == FALSE && g_onHide) {
        auto action = std::move(g_onHide);
        g_onHide = nullptr;
        action();
    }
    return CallWindowProcW(g_hideWindowProc, window, message, wParam, lParam);
}

TEST(Unloading, ClosedownDuringTheHidingHidesNoMore) {
    DaemonSession s("", "SP");  // both hidden at start; no module to wait for
    HWND smtp = GetParent(s.AddModule(0));
    HWND pop = GetParent(s.AddModule(1));
    g_hideWindowProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(smtp, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HoldHide)));
    g_onHide = [&] { s.library()->Closedown(); };
    ASSERT_EQ(s.Start() & 0xFF, 1);
    ASSERT_TRUE(s.WaitForWorkerEnd());
    hostmodel::PumpFor(100);
    EXPECT_FALSE(g_onHide) << "CLOSEDOWN came while module S was being hidden";
    EXPECT_FALSE(IsWindowVisible(smtp)) << "the hiding under way completes";
    EXPECT_TRUE(IsWindowVisible(pop)) << "nothing hidden after CLOSEDOWN";
    EXPECT_FALSE(s.MenuAttached());
}

// The host closes the daemon down from inside a message the worker sent and
// waits for (it answers the worker's title read and handles its own shutdown
// in the same handler). CLOSEDOWN cannot wait for the worker there; the
// worker must still begin nothing after it: no message to a host window, no
// host call, no change of a menu. A thread hook on the host's thread sees
// every message other threads send to its windows.
struct SentWatch {
    std::function<bool(const CWPSTRUCT&)> closeOn;  // true: CLOSEDOWN now
    std::function<void()> closedown;
    bool closed = false;
    int sentAfterClosedown = 0;
};
SentWatch* g_sentWatch = nullptr;

LRESULT CALLBACK WatchSentMessages(int code, WPARAM wParam, LPARAM lParam) {
    const auto& message = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && InSendMessage() && g_sentWatch != nullptr) {
        if (g_sentWatch->closed) {
            ++g_sentWatch->sentAfterClosedown;
        } else if (g_sentWatch->closeOn(message)) {
            g_sentWatch->closed = true;
            g_sentWatch->closedown();
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The popup the daemon made; when g_popupNotice is set, the frame is sent
// WM_NULL with this mark right after, before the popup is published.
constexpr WPARAM kPopupMade = 0x0B0B;
HMENU g_popupMade = nullptr;
HWND g_popupNotice = nullptr;
HMENU WINAPI RecordPopup() {
    g_popupMade = CreatePopupMenu();
    if (g_popupNotice != nullptr)
        SendMessageW(g_popupNotice, WM_NULL, kPopupMade, 0);
    return g_popupMade;
}

TEST(Unloading, ClosedownInsideTheWorkersMessageEndsItsPass) {
    const struct {
        const char* name;
        bool duringTheMenu;  // else during the scan
        bool atThePopup;     // as soon as the popup is made, before it is published
    } rows[] = {{"the scan's first title read", false, false},
                {"the menu's first label read", true, false},
                {"the popup made", true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("SPCE", "");  // modules 0 to 3
        std::vector<HWND> children;
        for (int i = 0; i < 4; ++i) children.push_back(GetParent(s.AddModule(i)));
        SentWatch watch;
        watch.closeOn = [&](const CWPSTRUCT& message) {
            if (row.atThePopup)
                return message.message == WM_NULL && message.wParam == kPopupMade;
            return message.message == WM_GETTEXT &&
                   (!row.duringTheMenu || fixture::ThreadOfLogLine(s.host, kScanComplete) != 0);
        };
        size_t callsAtClosedown = 0;
        watch.closedown = [&] {
            // Inside the worker's own message: waiting for the worker would
            // only run into the bound.
            const DWORD closing = GetTickCount();
            EXPECT_EQ(s.library()->Closedown(), 0);
            EXPECT_LT(GetTickCount() - closing, kClosedownQuickMs) << "CLOSEDOWN did not wait for its own sender";
            callsAtClosedown = s.host.Calls().size();
        };
        g_sentWatch = &watch;
        g_popupMade = nullptr;
        g_popupNotice = row.atThePopup ? s.frame.frame() : nullptr;
        HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &WatchSentMessages, nullptr, GetCurrentThreadId());
        ASSERT_EQ(s.Start() & 0xFF, 1);
        fixture::ImportPatch patch(s.library()->module(), "CreatePopupMenu", reinterpret_cast<void*>(&RecordPopup));
        ASSERT_TRUE(patch.applied());
        ASSERT_TRUE(PumpUntil([&] { return watch.closed; }, kWaitMs));
        const DWORD worker = s.host.CallsOf(Op::ModuleState).at(0).threadId;
        EXPECT_TRUE(fixture::WaitForThreadEnd(worker));
        hostmodel::PumpFor(200);
        UnhookWindowsHookEx(hook);
        g_sentWatch = nullptr;

        EXPECT_EQ(watch.sentAfterClosedown, 0) << "messages the worker sent after CLOSEDOWN";
        EXPECT_EQ(s.host.Calls().size(), callsAtClosedown) << "host calls after CLOSEDOWN";
        EXPECT_FALSE(s.MenuAttached());
        if (row.duringTheMenu) {
            ASSERT_NE(g_popupMade, nullptr);
            EXPECT_FALSE(IsMenu(g_popupMade)) << "the popup that was never attached is destroyed";
        } else {
            for (HWND child : children)
                EXPECT_EQ(GetMenuItemCount(GetSystemMenu(child, FALSE)), 9) << "no system menu trimmed";
        }
    }
}

// A worker that is inside a host call when CLOSEDOWN comes and stays there
// past the bound: CLOSEDOWN gives up waiting and returns, the worker's own
// reference keeps the library mapped across the host's FreeLibrary until it
// has left, and once back it begins nothing more.
TEST(Unloading, ClosedownGivesUpOnAWorkerStuckInAHostCall) {
    DaemonSession s("S", "");
    s.AddModule(0);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> inside{false};
    std::atomic<bool> once{false};
    s.host.SetOnLog([&](int32_t level, const char*) {
        if (level == 25 && !once.exchange(true)) {
            inside = true;
            WaitForSingleObject(release, kWaitMs);
            inside = false;
        }
    });
    ASSERT_EQ(s.Start() & 0xFF, 1);
    ASSERT_TRUE(PumpUntil([&] { return inside.load(); }, kWaitMs));
    const size_t calls = s.host.Calls().size();
    EXPECT_EQ(s.library()->Closedown(), 0);
    EXPECT_TRUE(inside) << "CLOSEDOWN returned while the worker was still in the host's call";
    s.library().reset();
    EXPECT_TRUE(fixture::LibraryLoaded()) << "the worker's own reference keeps its code mapped";
    SetEvent(release);
    EXPECT_TRUE(PumpUntil([] { return !fixture::LibraryLoaded(); }, kWaitMs));
    CloseHandle(release);
    EXPECT_EQ(s.host.Calls().size(), calls) << "nothing begun after it came back";
    EXPECT_FALSE(s.MenuAttached());
}

// Runs once, inside the SMTP window's procedure, when the worker asks that
// window for its title after the scan (its menu label): the worker waits in
// SendMessageW meanwhile.
std::function<void()> g_onLabelRead;
WNDPROC g_labelWindowProc = nullptr;
const hostmodel::RecordingHost* g_labelHost = nullptr;

LRESULT CALLBACK HoldLabelRead(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXT && g_onLabelRead && fixture::ThreadOfLogLine(*g_labelHost, kScanComplete) != 0) {
        auto action = std::move(g_onLabelRead);
        g_onLabelRead = nullptr;
        action();
    }
    return CallWindowProcW(g_labelWindowProc, window, message, wParam, lParam);
}

// The host unloads and loads the daemon again while the old worker still
// holds the library: both share the daemon's state, and nothing of the old
// worker may land in the new start.
TEST(Unloading, StartingAgainBeforeTheOldWorkerHasGoneBuildsOneMenu) {
    const struct {
        const char* name;
        bool oldWorkerBuildingItsMenu;  // else asleep between two polls
    } rows[] = {{"old worker polling", false}, {"old worker reading its menu labels", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("S", "");
        HWND smtp = GetParent(s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc"));
        const int hostItems = GetMenuItemCount(s.HostMenu());
        auto restart = [&] {
            s.library()->Closedown();
            s.library().reset();
            s.host.ClearCalls();
            EXPECT_EQ(s.Start() & 0xFF, 1);
        };
        DWORD oldWorker = 0;
        if (row.oldWorkerBuildingItsMenu) {
            g_labelHost = &s.host;
            g_labelWindowProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(smtp, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HoldLabelRead)));
            g_onLabelRead = [&] {
                oldWorker = fixture::ThreadOfLogLine(s.host, kScanComplete);
                restart();
            };
            ASSERT_EQ(s.Start() & 0xFF, 1);
            ASSERT_TRUE(PumpUntil([&] { return oldWorker != 0; }, kWaitMs));
        } else {
            s.host.SetModuleState('S', -1);
            ASSERT_EQ(s.Start() & 0xFF, 1);
            ASSERT_TRUE(PumpUntil([&] { return !s.host.CallsOf(Op::ModuleState).empty(); }, kWaitMs));
            oldWorker = s.host.CallsOf(Op::ModuleState)[0].threadId;
            // The module appears as the host loads the daemon again; the old
            // worker must not take it as its own signal.
            s.host.SetModuleState('S', 1);
            restart();
        }
        ASSERT_TRUE(s.WaitForMenu());
        ASSERT_TRUE(fixture::WaitForThreadEnd(oldWorker));
        ASSERT_TRUE(WaitForFirstPass(s.host));
        hostmodel::PumpFor(200);
        EXPECT_EQ(GetMenuItemCount(s.HostMenu()), hostItems + 2) << "one separator and one popup";
        int scans = 0;
        for (const auto& line : s.host.LogLines(25)) scans += line == kScanComplete;
        EXPECT_EQ(scans, 1) << "only the new worker scanned";
        for (UINT expectShown : {0u, 1u}) {
            hostmodel::SendMenuCommand(s.frame.frame(), 1000);
            EXPECT_EQ(IsWindowVisible(smtp) != FALSE, expectShown == 1);
            EXPECT_EQ(IsChecked(s.DisplayMenu(), 1000), expectShown == 1) << "the mark follows the command";
        }
    }
}

// ---------------------------------------------------------------------------
// STARTUP again after CLOSEDOWN, the library still loaded, as a host may do
// when it restarts its daemons: nothing of the first run may leak into the
// second, and a refused second start does nothing at all.

// How many "Display control" popups the host's menu bar holds.
int DisplayMenus(const DaemonSession& s) { return fixture::CountPopups(GetMenu(s.frame.frame()), L"Display control"); }

// The new start's first pass is over once its worker has written its scan
// line (the calls were cleared at the restart) and ended.
// A new start's "Display control" takes the place of the earlier one, and
// its slots, the core slot included, hold only what it found itself: the
// core window moved out of the frame meanwhile is not shown or hidden.
TEST(Restarting, StartupAgainWithoutUnloadingStartsAfresh) {
    const struct {
        const char* name;
        fixture::HostVersion version;
        bool accepted;
        bool closedownFirst;  // else STARTUP again straight away
        bool windowMenu;      // the host menu is the MDI client's window menu
    } rows[] = {{"accepted", fixture::kOldHost, true, true, true},
                {"accepted, a host menu without the window list", fixture::kOldHost, true, true, false},
                {"refused (host 2.19)", {2, 19}, false, true, true},
                {"refused without CLOSEDOWN first", {2, 19}, false, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        hostmodel::FrameLayout layout;
        layout.windowMenu = row.windowMenu;
        DaemonSession s("SP", "", fixture::kOldHost, layout);
        HWND smtp = s.AddModule(0);
        HWND pop = GetParent(s.AddModule(1));
        HWND core = s.AddCore();
        ASSERT_TRUE(s.StartAndWaitForMenu());
        ASSERT_TRUE(s.WaitForWorkerEnd());
        HMENU firstMenu = s.DisplayMenu();
        const std::string hostMenu = fixture::Describe(fixture::ReadMenu(s.HostMenu()));
        if (row.closedownFirst) {
            EXPECT_EQ(s.library()->Closedown(), 0);
        }
        DestroyWindow(smtp);  // module S's window goes before the new start
        // The core window leaves the frame: a new scan cannot find it.
        HWND elsewhere = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                         nullptr, nullptr, nullptr, nullptr);
        SetParent(core, elsewhere);
        s.host.ClearCalls();
        const std::set<DWORD> threadsBefore = ThreadsOfThisProcess();
        const int32_t result = s.library()->Startup(s.host.MakeRecord(row.version.major, row.version.minor));
        std::set<DWORD> started;
        for (DWORD thread : ThreadsOfThisProcess()) {
            if (threadsBefore.count(thread) == 0)
                started.insert(thread);
        }
        if (row.accepted) {
            ASSERT_EQ(result & 0xFF, 1);
            ASSERT_TRUE(WaitForFirstPass(s.host));
            EXPECT_EQ(DisplayMenus(s), 1) << "the new menu took the place of the first";
            EXPECT_EQ(fixture::Describe(fixture::ReadMenu(s.HostMenu())), hostMenu)
                << "the earlier popup left with its own separator, and no other item of the host's";
            HMENU secondMenu = s.DisplayMenu();
            EXPECT_EQ(fixture::ItemText(secondMenu, 1000), L"Module S") << "the slots were cleared";
            EXPECT_EQ(fixture::ItemText(secondMenu, 1001), L"NorvaleP P module");
            for (unsigned command : {1090u, 1097u}) {
                hostmodel::SendMenuCommand(s.frame.frame(), command);
                EXPECT_TRUE(IsWindowVisible(elsewhere)) << command << ": the core slot was cleared";
            }
            hostmodel::SendMenuCommand(s.frame.frame(), 1099);
            ASSERT_FALSE(s.host.CallsOf(Op::MergeSection).empty());
            EXPECT_EQ(s.host.CallsOf(Op::MergeSection).back().fileBytes, "NORVALEP\r\n")
                << "the hook's slot of module S was cleared too: its window of the first start is not saved";
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(started.empty()) << "no thread";
            hostmodel::PumpFor(600);  // longer than a worker takes to scan and build its menu
            ASSERT_EQ(s.host.Calls().size(), 1u) << "the version error is the one call";
            EXPECT_EQ(s.host.Calls()[0].text, "Orbwick daemon could not load (version error)");
            EXPECT_EQ(s.DisplayMenu(), firstMenu) << "no second menu";
            EXPECT_EQ(DisplayMenus(s), 1);
            hostmodel::SendMenuCommand(s.frame.frame(), 1001);
            EXPECT_TRUE(IsWindowVisible(pop)) << "no hook acts on the commands";
            EXPECT_TRUE(IsChecked(firstMenu, 1001));
        }
        DestroyWindow(elsewhere);
    }
}

// A host that calls STARTUP again without CLOSEDOWN gets the earlier start
// closed first: one hook acts on each command (a toggle does not undo
// itself), one menu stands in the menu bar, and after CLOSEDOWN and
// FreeLibrary nothing of the daemon is left hooked into the host's thread
// (the test program ends on an execute fault).
TEST(Restarting, StartupTwiceWithoutClosedownLeavesOneHook) {
    DaemonSession s("S", "");
    HWND smtp = GetParent(s.AddModule(0));
    ASSERT_TRUE(s.StartAndWaitForMenu());
    ASSERT_TRUE(WaitForFirstPass(s.host));
    s.host.ClearCalls();
    ASSERT_EQ(s.library()->Startup(s.host.MakeRecord(fixture::kOldHost.major, fixture::kOldHost.minor)) & 0xFF, 1);
    ASSERT_TRUE(WaitForFirstPass(s.host));
    EXPECT_EQ(DisplayMenus(s), 1);
    hostmodel::SendMenuCommand(s.frame.frame(), 1000);
    EXPECT_FALSE(IsWindowVisible(smtp)) << "toggled once";
    EXPECT_FALSE(IsChecked(s.DisplayMenu(), 1000));
    ASSERT_TRUE(s.CloseAndUnload());
    for (unsigned command : {1000u, 1097u, 1099u}) hostmodel::SendMenuCommand(s.frame.frame(), command);
    EXPECT_FALSE(IsWindowVisible(smtp)) << "no hook left";
    EXPECT_EQ(s.frame.commandsReceived().back(), 1099u) << "the host goes on";
}

}  // namespace
