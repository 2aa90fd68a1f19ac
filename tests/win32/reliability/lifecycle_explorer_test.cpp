// The daemon's life explored instead of sampled. The host meets the daemon
// at a finite set of interaction points: each call of its four operations,
// each message a thread of the daemon sends to one of its windows, each
// message its windows receive while the host's thread runs the daemon's code
// (STARTUP, CLOSEDOWN and its wait, a command in the hook: the merge, the
// failure box, 499, the windows shown and hidden). A scenario runs once while
// the host records those points; then it runs again once per point and host
// action, with the action done by the host inside that point. After every run
// the host checks what it may rely on. The points come from the recording,
// so a step added to the worker or to a command is explored without anyone
// editing a list. The host answers a start made from inside another one
// differently (another frame and base directory, or an old version), and
// takes a start's answer at its word: after 0 it unloads the library without
// CLOSEDOWN and runs on. ORBWICK_EXPLORE=full runs every action at every
// point of every scenario; the default runs a seeded share of those pairs,
// a new seed each run unless ORBWICK_EXPLORE_SEED=<seed> replays one.
// ORBWICK_EXPLORE_ONLY=<text> explores only the points whose names contain
// the text; ORBWICK_EXPLORE=list only lists the points.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "daemon_session.h"
#include "menu_reader.h"

using hostmodel::HostCall;
using hostmodel::Op;

namespace {

enum class Action {
    Closedown,
    ClosedownUnload,
    StartupAgain,
    StartupOtherFrame,
    StartupOldVersion,
    Restart,
    Toggle,
    HideAll,
    Save,
    ForeignHookUnload,
    ForeignDialogUnload,
    kCount
};
constexpr int kActions = static_cast<int>(Action::kCount);
const char* const kActionNames[kActions] = {"CLOSEDOWN",
                                            "CLOSEDOWN and FreeLibrary",
                                            "STARTUP again",
                                            "STARTUP again with another frame and base directory",
                                            "STARTUP again, version 2.19",
                                            "restart (CLOSEDOWN, FreeLibrary, LoadLibrary, STARTUP)",
                                            "toggle module S",
                                            "Hide all",
                                            "Save settings",
                                            "an earlier hook unloads the daemon inside a key",
                                            "an earlier hook's dialog loop calls the hook, then unloads"};

enum class Scenario {
    FirstPass,
    Toggle,
    ToggleRestarted,
    HideAll,
    SaveMerged,
    SaveRefused,
    ClosedownWait,
    RefusedVersion,
    RefusedOutOfMemory
};
const struct {
    Scenario scenario;
    const char* name;
} kScenarios[] = {{Scenario::FirstPass, "first pass"},
                  {Scenario::Toggle, "toggle"},
                  {Scenario::ToggleRestarted, "toggle of a module the host restarted"},
                  {Scenario::HideAll, "Hide all"},
                  {Scenario::SaveMerged, "save, merged"},
                  {Scenario::SaveRefused, "save, merge refused"},
                  {Scenario::ClosedownWait, "CLOSEDOWN's wait"},
                  {Scenario::RefusedVersion, "start refused, version 2.19"},
                  {Scenario::RefusedOutOfMemory, "start refused, out of memory"}};
constexpr fixture::HostVersion kRefusedVersion{2, 19};
const wchar_t kFailingBuild[] = L"orbwick_failing_new.dll";  // its first allocation fails once armed

constexpr UINT WM_APP_ACT = WM_APP + 1;              // the host acts (asked from a daemon thread's call)
constexpr UINT WM_APP_CLOSE_WHEN_SENT = WM_APP + 2;  // CLOSEDOWN once the worker sends
constexpr WPARAM kForeignKey = VK_F24;               // the key the earlier hook acts on
constexpr DWORD kWorkerCallActMs = 100;              // how long a daemon thread's call waits for the action
constexpr DWORD kSettleMs = 3000;
const char kStartup[] = "STARTUP";
const char kClosedown[] = "CLOSEDOWN";

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 63);
    std::string narrow;
    for (const wchar_t* c = name; *c != 0; ++c) narrow += static_cast<char>(*c < 128 ? *c : '?');
    return narrow;
}

// The menu command a scenario is about, 0 for none.
unsigned ScenarioCommand(Scenario scenario) {
    switch (scenario) {
    case Scenario::Toggle:
    case Scenario::ToggleRestarted:
        return 1000;
    case Scenario::HideAll:
        return 1097;
    case Scenario::SaveMerged:
    case Scenario::SaveRefused:
        return 1099;
    default:
        return 0;
    }
}

// Whether the point is a step of its own of the daemon's, rather than one of
// the messages of a window call under way: a call of a host operation (the
// failure box is preceded by one, for its owner), the messages the daemon
// itself sends (a title read, the MDI client asked for its active child, the
// click, 499), and a window shown or hidden (its first message).
bool BeginsAStep(const std::string& signature) {
    for (const char* step : {": QueryValue ", ": MergeSection", ": ModuleState ", ": WriteLog ", "message 0x000D ",
                             "message 0x0229 ", "message 0x00F5 ", "message 0x0111 ", "message 0x0018 "}) {
        if (signature.find(step) != std::string::npos)
            return true;
    }
    return false;
}

// A frame of the host's with the windows the checks look at: modules S and D
// and the core window.
struct HostWindows {
    std::unique_ptr<hostmodel::HostFrame> frame;
    HWND smtp = nullptr, moduleD = nullptr, core = nullptr;

    explicit HostWindows(hostmodel::FrameLayout layout = {})
        : frame(std::make_unique<hostmodel::HostFrame>(std::move(layout))),
          smtp(frame->AddHostModule(0)),
          moduleD(frame->AddHostModule(4)),
          core(frame->AddCoreWindow()) {
        frame->AddSystemMessages();
    }
    bool Holds(HWND window) const { return window == frame->frame() || IsChild(frame->frame(), window); }
};

// One run of a scenario: the host, its windows, the daemon as the host holds
// it, and what the host saw.
class ExplorerRun {
public:
    ExplorerRun(Scenario scenario, bool recording, std::string target, Action action);
    ~ExplorerRun();
    void Execute();

    std::vector<std::string> points;      // recorded, in order (recording run)
    std::vector<std::string> violations;  // invariants the run broke
    bool fired = false;
    bool holdLibrary = false;  // the host keeps a reference of its own past the teardown (the check's own test)

private:
    friend LRESULT CALLBACK CallWndProc(int, WPARAM, LPARAM);
    friend LRESULT CALLBACK CallWndRetProc(int, WPARAM, LPARAM);
    friend LRESULT CALLBACK CbtProc(int, WPARAM, LPARAM);
    friend LRESULT CALLBACK ForeignFilter(int, WPARAM, LPARAM);

    // The host's calls into the daemon.
    void Load();
    void Unload();
    int32_t Startup(fixture::HostVersion version = fixture::kNewHost, bool otherFrame = false);
    void NoteDaemonStopped();
    void Closedown();
    void Command(unsigned command);
    void ForeignKey();
    void ForeignAct();
    void DoAction();

    // Interaction points.
    std::string Context() const;
    void Interact(const std::string& signature, bool deferToLoop = false);
    void OnHostCall(const HostCall& call);
    bool OnFrameMessage(UINT message, WPARAM wParam);

    // Pumping and checks.
    void Pump(DWORD milliseconds);
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
    void NoteTopLevel();
    bool FirstPassDone() const;
    void Settle();
    std::string MenuSnapshot() const;
    std::string Snapshot() const;
    void CheckRunningDaemon();
    void CheckClosedDaemon();
    void CheckTeardown(int threadsBefore);
    void Violation(const std::string& what);

    const Scenario scenario_;
    const bool recording_;
    const std::string target_;
    const Action action_;
    const DWORD hostThread_ = GetCurrentThreadId();

    fixture::TempDirectory directory_;
    hostmodel::RecordingHost host_;
    std::unique_ptr<hostmodel::HostFrame> frame_;
    HWND smtp_ = nullptr, moduleD_ = nullptr, core_ = nullptr, elsewhere_ = nullptr;
    // The frame and base directory a start from inside another is given
    // (made when first asked for), and whether the latest start was given it.
    std::unique_ptr<HostWindows> other_;
    fixture::TempDirectory otherDirectory_;
    bool onOther_ = false;
    const wchar_t* libraryName_ = L"orbwick.dll";
    HHOOK callWndHook_ = nullptr, callWndRetHook_ = nullptr, cbtHook_ = nullptr, foreignHook_ = nullptr;
    std::wstring previousDirectory_;

    HMODULE library_ = nullptr;
    hostmodel::DaemonExports exports_;
    int hostReferences_ = 0;
    bool started_ = false;
    bool coreDetached_ = false;
    bool hostOwnChange_ = false;  // the host moves a window of its own: not the daemon's doing

    // What the host's thread is doing in the daemon, for the points' names.
    std::vector<std::string> calls_;
    int wndDepth_ = 0;
    int base_ = 0;

    mutable hostmodel::HostLock mutex_;
    std::map<std::string, int> seen_;
    bool inBody_ = false;
    bool closedReturned_ = false;  // a CLOSEDOWN returned, no STARTUP since: the daemon begins no step
    bool closedPending_ = false;   // ... and the host has not yet been back in its loop
    bool quiet_ = false;           // ... and has: from now on nothing of the daemon may happen
    std::string quietSnapshot_;
    std::string closedMenus_;
    int clicksSinceStartup_ = 0, polls_ = 0;
    HANDLE actDone_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
};

ExplorerRun* g_run = nullptr;

LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    ExplorerRun* run = g_run;
    if (code == HC_ACTION && run != nullptr) {
        const auto& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        // A start's first pass ends with its worker's click on module D's
        // button; counted when the click begins, so the click of a worker
        // that an earlier STARTUP started is not taken for the new one's.
        if (sent.message == BM_CLICK && InSendMessage()) {
            std::lock_guard<hostmodel::HostLock> lock(run->mutex_);
            ++run->clicksSinceStartup_;
        }
        const bool hostWindow =
            run->frame_ && (sent.hwnd == run->frame_->frame() || IsChild(run->frame_->frame(), sent.hwnd) ||
                            (run->other_ && run->other_->Holds(sent.hwnd)));
        const bool daemonActivity = (InSendMessage() || !run->calls_.empty()) && !run->hostOwnChange_;
        if (hostWindow && daemonActivity && run->wndDepth_ == run->base_) {
            run->Interact(run->Context() + ": message " + Hex(sent.message) + " to " + ClassOf(sent.hwnd));
        }
        ++run->wndDepth_;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CallWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_run != nullptr) {
        --g_run->wndDepth_;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The failure box is one point: the host acts from inside its loop.
LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    ExplorerRun* run = g_run;
    if (code == HCBT_ACTIVATE && run != nullptr && ClassOf(reinterpret_cast<HWND>(wParam)) == "#32770") {
        HWND box = reinterpret_cast<HWND>(wParam);
        run->Interact(run->Context() + ": message box", true);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Another plug-in's message filter, installed before the daemon's, so it is
// called from inside the daemon's hook.
LRESULT CALLBACK ForeignFilter(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && g_run != nullptr && message->message == WM_KEYDOWN && message->wParam == kForeignKey) {
        g_run->ForeignAct();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

ExplorerRun::ExplorerRun(Scenario scenario, bool recording, std::string target, Action action)
    : scenario_(scenario), recording_(recording), target_(std::move(target)), action_(action) {
    g_run = this;
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    previousDirectory_ = current;
    SetCurrentDirectoryA(directory_.Path().c_str());
    if (!directory_.WriteFile("norvale.ini", fixture::ConfigText("SD", "S")))
        violations.push_back("norvale.ini could not be written");

    hostmodel::FrameLayout layout;
    layout.handler = [this](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
        result = 0;
        return OnFrameMessage(message, wParam);
    };
    HostWindows own(layout);
    frame_ = std::move(own.frame);
    smtp_ = own.smtp;
    moduleD_ = own.moduleD;
    core_ = own.core;
    elsewhere_ = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);

    host_.SetBaseDirectory(directory_.Path());
    host_.SetMainWindow(frame_->frame());
    for (const char* letter = hostmodel::kModuleLetters; *letter != '\0'; ++letter) host_.SetModuleState(*letter, 1);
    host_.SetModuleState('D', kModuleAbsent);  // module D comes at the worker's third poll
    host_.SetMergeAnswer(scenario == Scenario::SaveRefused ? 0 : 1);
    if (scenario == Scenario::RefusedOutOfMemory)
        libraryName_ = kFailingBuild;
    host_.SetOnCall([this](const HostCall& call) { OnHostCall(call); });

    callWndHook_ = SetWindowsHookExW(WH_CALLWNDPROC, &CallWndProc, nullptr, hostThread_);
    callWndRetHook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, &CallWndRetProc, nullptr, hostThread_);
    cbtHook_ = SetWindowsHookExW(WH_CBT, &CbtProc, nullptr, hostThread_);
    if (action_ == Action::ForeignHookUnload || action_ == Action::ForeignDialogUnload) {
        foreignHook_ = SetWindowsHookExW(WH_MSGFILTER, &ForeignFilter, nullptr, hostThread_);
    }
}

ExplorerRun::~ExplorerRun() {
    for (HHOOK hook : {callWndHook_, callWndRetHook_, cbtHook_, foreignHook_}) {
        if (hook != nullptr)
            UnhookWindowsHookEx(hook);
    }
    host_.SetOnCall(nullptr);
    frame_.reset();
    DestroyWindow(elsewhere_);
    CloseHandle(actDone_);
    SetCurrentDirectoryW(previousDirectory_.c_str());
    g_run = nullptr;
}

// ---------------------------------------------------------------------------
// The host's calls into the daemon

void ExplorerRun::Load() {
    HMODULE library = LoadLibraryW(hostmodel::DaemonLibraryPath(libraryName_).c_str());
    if (library == nullptr || !hostmodel::BindDaemonExports(library, exports_)) {
        Violation("the daemon library could not be loaded");
        return;
    }
    library_ = library;
    ++hostReferences_;
}

void ExplorerRun::Unload() {
    if (hostReferences_ > 0) {
        --hostReferences_;
        const hostmodel::WatchedStep step(hostmodel::StepKind::DaemonCall, "FreeLibrary of the daemon library");
        FreeLibrary(library_);
    }
}

// The host answers this start's questions with the other frame and base
// directory when asked to, and goes back to its own answers for whatever
// start is still under way outside it. A start that answers 0 is taken at its
// word: the host unloads the library without CLOSEDOWN.
int32_t ExplorerRun::Startup(fixture::HostVersion version, bool otherFrame) {
    if (hostReferences_ == 0)
        return 0;
    {
        std::lock_guard<hostmodel::HostLock> lock(mutex_);
        closedReturned_ = closedPending_ = quiet_ = false;
        clicksSinceStartup_ = 0;
    }
    onOther_ = otherFrame;
    if (otherFrame) {
        if (!other_) {
            other_ = std::make_unique<HostWindows>();
            if (!otherDirectory_.WriteFile("norvale.ini", fixture::ConfigText("SD", "D")))
                Violation("the other norvale.ini could not be written");
        }
        host_.SetMainWindow(other_->frame->frame());
        host_.SetBaseDirectory(otherDirectory_.Path());
    }
    calls_.push_back(kStartup);
    const int saved = base_;
    base_ = wndDepth_;
    const HostRecord record = host_.MakeRecord(version.major, version.minor);
    const int32_t result = [&] {
        const hostmodel::WatchedStep step(hostmodel::StepKind::DaemonCall, "STARTUP");
        return exports_.startup(&record);
    }();
    base_ = saved;
    calls_.pop_back();
    host_.SetMainWindow(frame_->frame());
    host_.SetBaseDirectory(directory_.Path());
    started_ = (result & 0xFF) == 1;
    if (!started_) {
        Unload();
        NoteDaemonStopped();
    }
    // A leaked handle of the daemon's read would keep every writer out of
    // the file this start read: its own base directory's.
    HANDLE file = CreateFileA(((otherFrame ? otherDirectory_ : directory_).Path() + "norvale.ini").c_str(),
                              GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Violation(std::string("the norvale.ini of the ") + (otherFrame ? "other" : "host's own") +
                  " base directory cannot be opened for writing after the STARTUP that read it");
    else
        CloseHandle(file);
    return result;
}

void ExplorerRun::Closedown() {
    if (hostReferences_ == 0)
        return;
    calls_.push_back(kClosedown);
    const int saved = base_;
    base_ = wndDepth_;
    {
        const hostmodel::WatchedStep step(hostmodel::StepKind::DaemonCall, "CLOSEDOWN");
        exports_.closedown();
    }
    base_ = saved;
    calls_.pop_back();
    started_ = false;
    NoteDaemonStopped();
}

// CLOSEDOWN returned, or a start answered 0: the daemon begins no step from
// here on. The menus as they are now: a command it interrupted must not
// change a mark afterwards.
void ExplorerRun::NoteDaemonStopped() {
    const std::string menus = MenuSnapshot();
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    closedReturned_ = closedPending_ = true;
    closedMenus_ = menus;
}

// What the host does with a menu command: the message filters first, then
// its frame.
void ExplorerRun::Command(unsigned command) {
    MSG message = {frame_->frame(), WM_COMMAND, command, 0, GetTickCount(), {}};
    calls_.push_back("command " + std::to_string(command));
    const int saved = base_;
    base_ = wndDepth_;
    const bool consumed = CallMsgFilterW(&message, 0) != FALSE;
    base_ = saved;
    calls_.pop_back();
    if (!consumed)
        SendMessageW(frame_->frame(), WM_COMMAND, command, 0);
}

// An ordinary key for the frame, through the message filters: the daemon's
// hook first, which calls the earlier hook from inside.
void ExplorerRun::ForeignKey() {
    MSG message = {frame_->frame(), WM_KEYDOWN, kForeignKey, 0, GetTickCount(), {}};
    calls_.push_back("key");
    CallMsgFilterW(&message, 0);
    calls_.pop_back();
}

void ExplorerRun::ForeignAct() {
    if (action_ == Action::ForeignDialogUnload) {
        // The other plug-in's dialog: its loop passes messages through the
        // filters, the daemon's hook included, and answers sent messages.
        MSG inner = {frame_->frame(), WM_KEYDOWN, VK_SPACE, 0, GetTickCount(), {}};
        CallMsgFilterW(&inner, MSGF_DIALOGBOX);
        Closedown();
        Unload();
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 50) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (!CallMsgFilterW(&message, MSGF_DIALOGBOX)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        CallMsgFilterW(&inner, MSGF_DIALOGBOX);
        return;
    }
    Closedown();
    Unload();
}

void ExplorerRun::DoAction() {
    switch (action_) {
    case Action::Closedown:
        Closedown();
        break;
    case Action::ClosedownUnload:
        Closedown();
        Unload();
        break;
    case Action::StartupOtherFrame:
        Startup(fixture::kNewHost, true);
        break;
    case Action::StartupOldVersion:
        Startup(kRefusedVersion);
        break;
    case Action::StartupAgain:
    case Action::Restart:
        if (action_ == Action::Restart) {
            Closedown();
            Unload();
            Load();
        }
        // The core window leaves the frame first: the new start cannot
        // find it, and must not act on it.
        hostOwnChange_ = true;
        SetParent(core_, elsewhere_);
        hostOwnChange_ = false;
        coreDetached_ = true;
        Startup();
        break;
    case Action::Toggle:
        Command(1000);
        break;
    case Action::HideAll:
        Command(1097);
        break;
    case Action::Save:
        Command(1099);
        break;
    case Action::ForeignHookUnload:
    case Action::ForeignDialogUnload:
        ForeignKey();
        break;
    case Action::kCount:
        break;
    }
}

// ---------------------------------------------------------------------------
// Interaction points

std::string ExplorerRun::Context() const {
    if (calls_.empty())
        return "daemon thread";
    if (InSendMessage())
        return calls_.back() + " (sent from a daemon thread)";
    return calls_.back();
}

void ExplorerRun::Interact(const std::string& signature, bool deferToLoop) {
    std::string key;
    {
        std::lock_guard<hostmodel::HostLock> lock(mutex_);
        if (quiet_ && signature.find("message 0x0000 ") == std::string::npos) {
            violations.push_back("after CLOSEDOWN had returned: " + signature);
        } else if (closedReturned_ && BeginsAStep(signature)) {
            violations.push_back("begun after CLOSEDOWN had returned: " + signature);
        }
        if (!inBody_)
            return;
        key = signature + " #" + std::to_string(++seen_[signature]);
        if (recording_) {
            points.push_back(key);
            return;
        }
        if (fired || key != target_)
            return;
        fired = true;
    }
    const bool onHostThread = GetCurrentThreadId() == hostThread_;
    if (onHostThread && !deferToLoop) {
        DoAction();
        return;
    }
    // From a daemon thread's call, or from inside a modal loop: the host's
    // thread acts on a message of its own, and the call waits a little for it.
    ResetEvent(actDone_);
    PostMessageW(frame_->frame(), WM_APP_ACT, 0, 0);
    if (!onHostThread)
        WaitForSingleObject(actDone_, kWorkerCallActMs);
}

void ExplorerRun::OnHostCall(const HostCall& call) {
    const bool hostThread = call.threadId == hostThread_;
    std::string what;
    switch (call.op) {
    case Op::QueryValue:
        what = "QueryValue " + std::to_string(call.number);
        break;
    case Op::MergeSection:
        what = "MergeSection";
        break;
    case Op::ModuleState:
        what = "ModuleState " + call.text;
        if (call.text == "NORVALED" && ++polls_ == 2)
            host_.SetModuleState('D', 1);
        if (scenario_ == Scenario::ClosedownWait && call.text == "NORVALES" && !hostThread)
            PostMessageW(frame_->frame(), WM_APP_CLOSE_WHEN_SENT, 0, 0);
        break;
    case Op::WriteLog:
        what = "WriteLog " + std::to_string(call.number) + " \"" + call.text + "\"";
        break;
    }
    Interact((hostThread ? Context() : std::string("daemon thread")) + ": " + what);
}

bool ExplorerRun::OnFrameMessage(UINT message, WPARAM) {
    if (message == WM_APP_ACT) {
        DoAction();
        SetEvent(actDone_);
        return true;
    }
    if (message == WM_APP_CLOSE_WHEN_SENT) {
        // The worker is about to scan: CLOSEDOWN once its first message to
        // the host's thread is waiting, so the wait answers it.
        const DWORD start = GetTickCount();
        while (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) == 0 && GetTickCount() - start < kSettleMs) Sleep(1);
        {
            std::lock_guard<hostmodel::HostLock> lock(mutex_);
            inBody_ = true;
        }
        Closedown();
        {
            std::lock_guard<hostmodel::HostLock> lock(mutex_);
            inBody_ = false;
        }
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Pumping and checks

// Back in the host's own loop after a CLOSEDOWN: from here on nothing of the
// daemon may happen until the next STARTUP.
void ExplorerRun::NoteTopLevel() {
    bool becameQuiet = false;
    {
        std::lock_guard<hostmodel::HostLock> lock(mutex_);
        if (closedPending_ && !quiet_ && calls_.empty()) {
            quiet_ = true;
            becameQuiet = true;
        }
    }
    if (becameQuiet) {
        quietSnapshot_ = Snapshot();
        if (MenuSnapshot() != closedMenus_)
            Violation("the menus changed after CLOSEDOWN had returned:\n" + closedMenus_ + "then\n" + MenuSnapshot());
    }
}

bool ExplorerRun::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            hostmodel::DispatchLikeHost(message, frame_->client());
        }
        NoteTopLevel();
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void ExplorerRun::Pump(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

// The latest start's first pass ends with its click on module D's button.
bool ExplorerRun::FirstPassDone() const {
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    return clicksSinceStartup_ > 0;
}

void ExplorerRun::Settle() {
    PumpUntil([this] { return !started_ || FirstPassDone(); }, kSettleMs);
    Pump(30);
}

// The host's menu bar, items and marks, the popups inside its menus (the
// Display control) included.
std::string ExplorerRun::MenuSnapshot() const {
    std::string text;
    for (const hostmodel::HostFrame* frame : {frame_.get(), other_ ? other_->frame.get() : nullptr}) {
        HMENU bar = frame != nullptr ? GetMenu(frame->frame()) : nullptr;
        for (int m = 0; m < GetMenuItemCount(bar); ++m) {
            HMENU menu = GetSubMenu(bar, m);
            text += fixture::Describe(fixture::ReadMenu(menu));
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                if (GetSubMenu(menu, i) != nullptr)
                    text += fixture::Describe(fixture::ReadMenu(GetSubMenu(menu, i)));
            }
        }
    }
    return text;
}

// The host's menu bars and which of their windows are visible.
std::string ExplorerRun::Snapshot() const {
    std::string text = MenuSnapshot();
    for (const hostmodel::HostFrame* frame : {frame_.get(), other_ ? other_->frame.get() : nullptr}) {
        HWND first = frame != nullptr ? GetWindow(frame->client(), GW_CHILD) : nullptr;
        for (HWND w = first; w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
            text += IsWindowVisible(w) ? "v" : "h";
            wchar_t title[64] = {};
            GetWindowTextW(w, title, 63);
            for (const wchar_t* c = title; *c != 0; ++c) text += static_cast<char>(*c < 128 ? *c : '?');
            text += "\n";
        }
    }
    return text;
}

void ExplorerRun::Violation(const std::string& what) {
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    violations.push_back(what);
}

// A daemon that runs and has finished its first pass on the frame its latest
// start was given: one menu, its marks in step with the windows, one hook
// acting, nothing found by an earlier start acted on; on the other frame,
// the windows its own norvale.ini lists hidden (nothing else acts there).
void ExplorerRun::CheckRunningDaemon() {
    HWND frame = onOther_ ? other_->frame->frame() : frame_->frame();
    HWND smtp = onOther_ ? other_->smtp : smtp_;
    HWND moduleD = onOther_ ? other_->moduleD : moduleD_;
    HWND core = onOther_ ? other_->core : coreDetached_ ? nullptr : core_;
    if (onOther_ && (IsWindowVisible(moduleD) || !IsWindowVisible(smtp)))
        Violation("a start given another base directory did not hide what that directory's norvale.ini lists");
    HMENU bar = GetMenu(frame);
    const int menus = fixture::CountPopups(bar, L"Display control");
    if (menus != 1) {
        Violation(std::to_string(menus) + " Display control menus in the menu bar");
        return;
    }
    HMENU menu = nullptr;
    for (int m = 0; m < GetMenuItemCount(bar) && menu == nullptr; ++m)
        menu = fixture::FindPopup(GetSubMenu(bar, m), L"Display control");
    const struct {
        unsigned command;
        HWND window;
    } items[] = {{1000, smtp}, {1004, moduleD}, {1090, core}};
    for (const auto& item : items) {
        if (item.window != nullptr && fixture::CheckMark(menu, item.command) != (IsWindowVisible(item.window) != FALSE))
            Violation("the mark of item " + std::to_string(item.command) + " does not match its window");
    }
    const bool before = IsWindowVisible(smtp) != FALSE;
    PostMessageW(frame, WM_COMMAND, 1000, 0);
    Pump(10);
    if ((IsWindowVisible(smtp) != FALSE) == before)
        Violation(std::string("a toggle did not toggle exactly once (module S was ") + (before ? "shown" : "hidden") +
                  " and stayed so; the host saw commands " +
                  [&] {
                      std::string list;
                      for (unsigned c : (onOther_ ? *other_->frame : *frame_).commandsReceived())
                          list += std::to_string(c) + " ";
                      return list;
                  }() +
                  ")");
    if (fixture::CheckMark(menu, 1000) != (IsWindowVisible(smtp) != FALSE))
        Violation("the mark of module S does not follow the toggle");
    if (coreDetached_) {
        for (unsigned command : {1097u, 1090u}) {
            PostMessageW(frame, WM_COMMAND, command, 0);
            Pump(10);
            if (!IsWindowVisible(core_)) {
                Violation("command " + std::to_string(command) + " acted on the core window an earlier start found");
                ShowWindow(elsewhere_, SW_SHOW);
            }
        }
    }
}

// A daemon the host has closed down (or never started): longer than a
// worker's first wait passes, so a worker left behind would ask the host
// something, and a command finds no hook to act on it.
void ExplorerRun::CheckClosedDaemon() {
    Pump(150);
    const bool before = IsWindowVisible(smtp_) != FALSE;
    PostMessageW(frame_->frame(), WM_COMMAND, 1000, 0);
    Pump(10);
    if ((IsWindowVisible(smtp_) != FALSE) != before)
        Violation("a hook acted on a command while the daemon was closed down");
}

void ExplorerRun::CheckTeardown(int threadsBefore) {
    const HMODULE held = holdLibrary ? LoadLibraryW(libraryName_) : nullptr;
    Closedown();
    while (hostReferences_ > 0) Unload();
    // The library this run loaded (the failing build in the out-of-memory
    // scenario), by its own name.
    if (!PumpUntil([&] { return GetModuleHandleW(libraryName_) == nullptr; }, 1000)) {
        std::string name;
        for (const wchar_t* c = libraryName_; *c != 0; ++c) name += static_cast<char>(*c);
        Violation(name + " still mapped 1 s after the host's last FreeLibrary");
    }
    if (held != nullptr)
        FreeLibrary(held);
    if (!PumpUntil([&] { return fixture::ThreadCount() <= threadsBefore; }, 1000))
        Violation("a thread of the daemon outlived CLOSEDOWN and FreeLibrary");
    Pump(20);
    if (quiet_ && Snapshot() != quietSnapshot_)
        Violation("the host's windows or menus changed after CLOSEDOWN had returned:\n" + quietSnapshot_ + "now\n" +
                  Snapshot());
}

void ExplorerRun::Execute() {
    const int threadsBefore = fixture::ThreadCount();
    auto body = [this](bool on) {
        std::lock_guard<hostmodel::HostLock> lock(mutex_);
        inBody_ = on;
    };
    const bool refused = scenario_ == Scenario::RefusedVersion || scenario_ == Scenario::RefusedOutOfMemory;
    Load();
    if (scenario_ == Scenario::FirstPass || refused)
        body(true);
    if (scenario_ == Scenario::RefusedOutOfMemory && library_ != nullptr) {
        using FailAllocationFn = void(__cdecl*)(long);
        auto failAllocation =
            reinterpret_cast<FailAllocationFn>(reinterpret_cast<void*>(GetProcAddress(library_, "FailAllocation")));
        if (failAllocation == nullptr)
            Violation("the failing build has no FailAllocation");
        else
            failAllocation(1);
    }
    const int32_t answer = Startup(scenario_ == Scenario::RefusedVersion ? kRefusedVersion : fixture::kNewHost);
    if (refused && recording_ && answer != 0)
        Violation("the start the scenario refuses answered " + std::to_string(answer));
    if (scenario_ == Scenario::ClosedownWait) {
        PumpUntil([this] { return !started_; }, kSettleMs);
    }
    Settle();
    const unsigned command = ScenarioCommand(scenario_);
    if (scenario_ == Scenario::ToggleRestarted) {
        // Module S's window goes and a new one comes: the command looks for
        // it by the scan's rule, reading the MDI children's titles.
        SendMessageW(frame_->client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(GetParent(smtp_)), 0);
        smtp_ = frame_->AddHostModule(0);
    }
    if (command != 0) {
        body(true);
        Command(command);
        Pump(20);
        Settle();
    }
    body(false);
    Pump(20);
    if (started_ && !FirstPassDone())
        Violation("a start that answered 1 did not finish its first pass (menu attached, click made) within " +
                  std::to_string(kSettleMs) + " ms");
    if (started_ && FirstPassDone())
        CheckRunningDaemon();
    if (!started_)
        CheckClosedDaemon();
    CheckTeardown(threadsBefore);
}

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The default runs every action at the points inside the host's own STARTUP
// and CLOSEDOWN calls, where the host's answers decide what the daemon is,
// and a share of the pairs elsewhere, in percent: every such pair is drawn
// on its own from the seed and its names, so a seed printed by one run
// replays its selection, and a pair one run leaves out is met by others.
constexpr unsigned kDefaultSharePercent = 15;

bool Drawn(unsigned seed, const std::string& pair) {
    uint32_t hash = 2166136261u ^ seed;  // FNV-1a over the pair's names
    for (unsigned char c : pair) hash = (hash ^ c) * 16777619u;
    hash ^= hash >> 15;
    hash *= 2246822519u;
    hash ^= hash >> 13;
    return hash % 100 < kDefaultSharePercent;
}

TEST(LifeCycle, EveryHostActionAtEveryInteractionPoint) {
    const bool full = Setting("ORBWICK_EXPLORE") == "full";
    const std::string only = Setting("ORBWICK_EXPLORE_ONLY");  // explores only the points containing this text
    const std::string seedText = Setting("ORBWICK_EXPLORE_SEED");
    const unsigned seed = seedText.empty() ? GetTickCount() % 100000 : std::strtoul(seedText.c_str(), nullptr, 10);
    if (!full)
        std::printf("[ seed     ] %u (ORBWICK_EXPLORE_SEED=%u replays this selection)\n", seed, seed);
    int runs = 0, points = 0, violations = 0, notReached = 0;
    std::set<int> actionsUsed;
    const DWORD started = GetTickCount();
    for (const auto& scenario : kScenarios) {
        std::vector<std::string> recorded;
        {
            ExplorerRun recording(scenario.scenario, true, "", Action::Closedown);
            recording.Execute();
            recorded = recording.points;
            for (const std::string& v : recording.violations) {
                ++violations;
                ADD_FAILURE() << scenario.name << ", recording: " << v;
            }
        }
        {
            // The teardown's check of the library seen failing in this
            // scenario: a reference left behind is reported.
            ExplorerRun probe(scenario.scenario, true, "", Action::Closedown);
            probe.holdLibrary = true;
            probe.Execute();
            bool reported = false;
            for (const std::string& v : probe.violations)
                reported = reported || v.find("still mapped") != std::string::npos;
            if (!reported) {
                ++violations;
                ADD_FAILURE() << scenario.name << ": a library left mapped was not reported";
            }
        }
        points += static_cast<int>(recorded.size());
        std::printf("[ points   ] %s: %d\n", scenario.name, static_cast<int>(recorded.size()));
        if (Setting("ORBWICK_EXPLORE") == "list") {
            for (const std::string& point : recorded) std::printf("             %s\n", point.c_str());
            continue;
        }
        for (size_t k = 0; k < recorded.size(); ++k) {
            if (recorded[k].find(only) == std::string::npos)
                continue;
            for (int a = 0; a < kActions; ++a) {
                const bool insideExport = recorded[k].rfind(kStartup, 0) == 0 || recorded[k].rfind(kClosedown, 0) == 0;
                if (!full && !insideExport &&
                    !Drawn(seed, std::string(scenario.name) + "|" + recorded[k] + "|" + kActionNames[a]))
                    continue;
                ExplorerRun run(scenario.scenario, false, recorded[k], static_cast<Action>(a));
                run.Execute();
                ++runs;
                actionsUsed.insert(a);
                if (!run.fired) {
                    ++notReached;
                    std::printf("[ not met  ] %s: %s\n", scenario.name, recorded[k].c_str());
                }
                for (const std::string& v : run.violations) {
                    ++violations;
                    ADD_FAILURE() << scenario.name << ", " << kActionNames[a] << " at " << recorded[k] << ": " << v;
                }
            }
        }
    }
    std::printf(
        "life-cycle exploration: %d runs over %d interaction points and %d host actions, %d invariant "
        "violations\n",
        runs, points, static_cast<int>(actionsUsed.size()), violations);
    std::printf("[ figures  ] %s mode, %lu ms, %d points not reached again, seed %u\n", full ? "full" : "default",
                static_cast<unsigned long>(GetTickCount() - started), notReached, seed);
    EXPECT_EQ(violations, 0);
    // A point met in the recording but not again is one the platform does not
    // always send (activation messages around the failure box): a run
    // without its action. Many of them would leave the exploration hollow.
    EXPECT_LE(notReached * 20, runs) << "more than one run in 20 did not meet its point";
}

}  // namespace
