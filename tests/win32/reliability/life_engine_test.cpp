// One engine for the daemon's lives and what may disturb them. A life is a
// stretch of the daemon's existence in the test host (its start, commands,
// saves, a restart, CLOSEDOWN at a bad moment, a refused start, the unload),
// with a phase under test. Three kinds of disturbance meet every life:
//   - a host action at an interaction point: each call of the host's four
//     operations, each message a thread of the daemon sends to one of the
//     host's windows, each message its windows receive while the host's
//     thread runs the daemon's code (the failure box is one point), with the
//     host doing one of its actions there;
//   - an imported function of the DLL failing at its k-th call in the phase,
//     or at every call, through the DLL's import address table (only the
//     DLL's own calls, and those of the C++ runtime linked into it, reach
//     the failing replacement, so nothing of this ships);
//   - the k-th allocation in the phase failing (malloc, calloc, realloc).
// Each life runs once clean, recording its points and counting its calls;
// then once per disturbance. After every run the host checks one set of
// invariants (Run::Check* below). Runs execute in child processes (this
// program again, with --life-engine-child), a batch per child, each run's
// begin and end written to a report: a crash, abort() or hang ends only the
// child, is charged to the run in progress, and the next child goes on.
// ORBWICK_EXPLORE=full runs every action at every point, ORBWICK_FAULTS=full
// every failing call and allocation; otherwise a seeded share, a new seed
// each time unless ORBWICK_SEED=<seed> replays one. ORBWICK_KINDS=actions or
// =faults limits the kinds; ORBWICK_EXPLORE_ONLY=<text> keeps only the points
// whose names contain the text, ORBWICK_LIVES=<text> the lives;
// ORBWICK_EXPLORE=list only lists the points.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "daemon_session.h"
#include "import_patch.h"
#include "menu_reader.h"
#include "object_count.h"

using hostmodel::HostCall;
using hostmodel::Op;

namespace {

// ---------------------------------------------------------------------------
// Failing replacements

enum class Kind { Clean, Probe, Action, Import, Allocation };
constexpr int kDisturbances = 3;  // Action, Import, Allocation
const char* const kKindNames[kDisturbances] = {"host actions", "imports failing", "allocations failing"};
int KindIndex(Kind kind) { return static_cast<int>(kind) - static_cast<int>(Kind::Action); }

constexpr long kEveryCall = -1;
constexpr int kMaxRows = 48;
std::atomic<bool> g_armed{false};  // the phase under test runs: calls are counted
std::atomic<int> g_target{-1};     // the row whose calls fail
std::atomic<long> g_failAt{0};     // the call of it that fails, or kEveryCall
std::atomic<long> g_calls[kMaxRows];
std::atomic<long> g_allocations{0};
std::atomic<long> g_allocationFailAt{0};  // 0: none fails
std::atomic<bool> g_struck{false};        // a call failed since this was last cleared
std::atomic<bool> g_allocationStruck{false};

struct Swept {
    std::string name;
    const void* replacement;
    void** next;  // where the replacement finds the function it stands for
    bool allocation;
};
std::vector<Swept> g_swept;

bool Strikes(int row) {
    if (!g_armed.load()) {
        return false;
    }
    const long call = ++g_calls[row];
    const long at = g_failAt.load();
    bool strikes = row == g_target.load() && (at == kEveryCall || at == call);
    if (g_swept[static_cast<size_t>(row)].allocation && ++g_allocations == g_allocationFailAt.load()) {
        strikes = true;
    }
    if (strikes) {
        g_struck = true;
        g_allocationStruck = g_allocationStruck || g_swept[static_cast<size_t>(row)].allocation;
    }
    return strikes;
}

// One set per function: its row, the function it passes calls on to (set
// when the patch is made: the function itself, or the leak count's
// replacement of it) and its failure.
template <int Key>
int g_row;
template <int Key>
void* g_next;
template <int Key, typename R>
R g_failure;
template <int Key>
DWORD g_error;
// How a function fails: at its call; as a release that does its work and
// still reports a failure; or, for a send, only to another thread's window
// (a send to the calling thread's own window is a call of its procedure,
// which the platform cannot fail while the window exists).
enum class Way { AtCall, AfterWork, AcrossThreads };
template <int Key>
Way g_way;

template <typename... A>
bool SendsToOwnThread(A...) {
    return false;
}
template <typename... A>
bool SendsToOwnThread(HWND window, A...) {
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

template <int Key, typename R, typename... A>
R WINAPI FailingStdcall(A... args) {
    const auto next = reinterpret_cast<R(WINAPI*)(A...)>(g_next<Key>);
    if (!(g_way<Key> == Way::AcrossThreads && SendsToOwnThread(args...)) && Strikes(g_row<Key>)) {
        if (g_way<Key> == Way::AfterWork) {
            next(args...);
        }
        SetLastError(g_error<Key>);
        return g_failure<Key, R>;
    }
    return next(args...);
}

// The C run-time's functions report through errno as well.
template <int Key, typename R, typename... A>
R __cdecl FailingCdecl(A... args) {
    if (Strikes(g_row<Key>)) {
        errno = ENOMEM;
        SetLastError(g_error<Key>);
        return g_failure<Key, R>;
    }
    return reinterpret_cast<R(__cdecl*)(A...)>(g_next<Key>)(args...);
}

template <typename T>
struct Same {
    using type = T;
};

template <int Key, typename R>
void Register(const char* name, R failure, DWORD error, Way way, const void* replacement) {
    g_row<Key> = static_cast<int>(g_swept.size());
    g_way<Key> = way;
    g_failure<Key, R> = failure;
    g_error<Key> = error;
    const std::string text = name;
    g_swept.push_back({name, replacement, &g_next<Key>, text == "malloc" || text == "calloc" || text == "realloc"});
}

template <int Key, typename R, typename... A>
void Sweep(const char* name, R(WINAPI*)(A...), typename Same<R>::type failure, DWORD error, Way way = Way::AtCall) {
    Register<Key, R>(name, failure, error, way, reinterpret_cast<const void*>(&FailingStdcall<Key, R, A...>));
}

template <int Key, typename R, typename... A>
void Sweep(const char* name, R(__cdecl*)(A...), typename Same<R>::type failure, DWORD error) {
    Register<Key, R>(name, failure, error, Way::AtCall, reinterpret_cast<const void*>(&FailingCdecl<Key, R, A...>));
}

#define SWEEP(function, failure, error) Sweep<__COUNTER__>(#function, &::function, failure, error)
// A release that does its work and still reports a failure.
#define SWEEP_RELEASE(function, failure, error) \
    Sweep<__COUNTER__>(#function, &::function, failure, error, Way::AfterWork)
// A send that fails only to another thread's window.
#define SWEEP_SEND(function, failure, error) \
    Sweep<__COUNTER__>(#function, &::function, failure, error, Way::AcrossThreads)

// Each function with its documented failure result and a last error it
// gives when the process reaches its limits or loses a race with the host.
void BuildTable() {
    SWEEP(AddAccessAllowedAce, FALSE, ERROR_ALLOTTED_SPACE_EXCEEDED);
    SWEEP(GetTokenInformation, FALSE, ERROR_ACCESS_DENIED);
    SWEEP(InitializeAcl, FALSE, ERROR_INSUFFICIENT_BUFFER);
    SWEEP(InitializeSecurityDescriptor, FALSE, ERROR_INVALID_PARAMETER);
    SWEEP(OpenProcessToken, FALSE, ERROR_ACCESS_DENIED);
    SWEEP(SetSecurityDescriptorControl, FALSE, ERROR_INVALID_PARAMETER);
    SWEEP(SetSecurityDescriptorDacl, FALSE, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP_RELEASE(CloseHandle, FALSE, ERROR_DISK_FULL);  // cached data of a file met a full disk
    SWEEP(CreateEventW, nullptr, ERROR_NO_SYSTEM_RESOURCES);
    SWEEP(CreateFileA, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    SWEEP(CreateFileW, INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    SWEEP(CreateSemaphoreW, nullptr, ERROR_NO_SYSTEM_RESOURCES);
    SWEEP(CreateThread, nullptr, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(DeleteFileA, FALSE, ERROR_ACCESS_DENIED);
    SWEEP(DuplicateHandle, FALSE, ERROR_NO_SYSTEM_RESOURCES);
    SWEEP(FlushFileBuffers, FALSE, ERROR_DISK_FULL);
    SWEEP(GetFileInformationByHandle, FALSE, ERROR_ACCESS_DENIED);
    SWEEP(GetModuleHandleExW, FALSE, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION);
    SWEEP(ReadFile, FALSE, ERROR_NO_SYSTEM_RESOURCES);
    SWEEP(SetEvent, FALSE, ERROR_INVALID_HANDLE);
    SWEEP(SetFileAttributesA, FALSE, ERROR_ACCESS_DENIED);
    SWEEP(TlsAlloc, TLS_OUT_OF_INDEXES, ERROR_NO_MORE_ITEMS);
    SWEEP(TlsSetValue, FALSE, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(WaitForSingleObject, WAIT_FAILED, ERROR_INVALID_HANDLE);
    SWEEP(WideCharToMultiByte, 0, ERROR_NO_UNICODE_TRANSLATION);
    SWEEP(WriteFile, FALSE, ERROR_DISK_FULL);
    SWEEP(AppendMenuW, FALSE, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(CreatePopupMenu, nullptr, ERROR_NO_MORE_USER_HANDLES);
    SWEEP(FindWindowExW, nullptr, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(GetSystemMenu, nullptr, ERROR_INVALID_WINDOW_HANDLE);
    SWEEP(InsertMenuW, FALSE, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(MessageBoxW, 0, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(MsgWaitForMultipleObjects, WAIT_FAILED, ERROR_INVALID_HANDLE);
    SWEEP(RemoveMenu, FALSE, ERROR_ACCESS_DENIED);            // a menu of the host's it may not change
    SWEEP_SEND(SendDlgItemMessageW, 0, ERROR_ACCESS_DENIED);  // blocked, as UIPI does
    SWEEP_SEND(SendMessageW, 0, ERROR_ACCESS_DENIED);
    SWEEP(SetWindowsHookExW, nullptr, ERROR_NO_MORE_USER_HANDLES);
    SWEEP(malloc, nullptr, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(calloc, nullptr, ERROR_NOT_ENOUGH_MEMORY);
    SWEEP(realloc, nullptr, ERROR_NOT_ENOUGH_MEMORY);
}

// The imports that are not swept, each group with why (names separated by
// blanks).
const struct {
    const char* names;
    const char* reason;
} kNotInjected[] = {
    {"CheckMenuItem DrawMenuBar GetClassNameW GetDlgItem GetMenu GetMenuItemCount GetMenuItemID GetMenuItemInfoW "
     "GetParent GetSubMenu GetWindow GetWindowThreadProcessId",
     "reads or changes a window or menu it is given, and fails only when that is gone: failing while it is there "
     "paints a state that cannot occur (reliability_platform_faults destroys windows and menus for real)"},
    {"EnumChildWindows EnumThreadWindows",
     "its answer is documented as not to be used: a failure looks like a window without children, which the tests "
     "with windows missing cover"},
    {"GetLengthSid GetCurrentProcess GetCurrentThreadId GetLastError GetTickCount", "a getter"},
    {"TlsGetValue", "a getter: 0 is a valid value, told from a failure only by the last error"},
    {"InSendMessage IsWindow IsWindowVisible", "a getter of state: a false answer would be a lie, not a failure"},
    {"DeleteCriticalSection EnterCriticalSection InitializeCriticalSection LeaveCriticalSection SetLastError Sleep "
     "_lock _unlock",
     "no result"},
    {"FreeLibrary TlsFree DestroyMenu UnhookWindowsHookEx free", "a release: nothing to do when it fails"},
    {"FreeLibraryAndExitThread abort _amsg_exit", "does not return"},
    {"GetModuleHandleA GetProcAddress LoadLibraryA",
     "the runtime's frame registration, in DllMain before the patch and after it is gone"},
    {"VirtualProtect VirtualQuery _initterm", "the runtime's start-up, in DllMain before the patch"},
    {"ReleaseSemaphore", "the runtime's lock hand-over: fails only past the semaphore's maximum, never reached"},
    {"CallNextHookEx", "its answer is the next hook's, passed on: no failure result"},
    {"CharUpperBuffW", "no failure result: answers how many characters it converted"},
    {"PeekMessageW", "only lets sent messages through (PM_NOREMOVE): its answer says whether one waited"},
    {"ShowWindow", "its answer is the window's earlier visibility, not success: no failure result"},
    {"_iob", "data (the standard streams), not a function"},
    {"fwrite vfprintf", "the runtime's last words to stderr before it ends the process: nobody reads the answer"},
    {"memchr memcpy memmove memset strcmp strlen strncmp wcslen", "computes on memory the caller owns: cannot fail"},
#ifdef ORBWICK_COVERAGE_BUILD
    {"GetModuleHandleW IsDBCSLeadByteEx __mb_cur_max _errno _locking atoi exit fclose fopen fputc fread fseek getenv "
     "localeconv setlocale strcat strchr strerror _open _mkdir _getpid _fdopen _close _access",
     "the coverage runtime's, writing its counts as the library unloads: only in a build with --coverage"},
#endif
};

bool NotInjected(const std::string& name) {
    for (const auto& entry : kNotInjected) {
        std::istringstream names(entry.names);
        for (std::string listed; names >> listed;) {
            if (listed == name) {
                return true;
            }
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// The lives and the host's actions

enum class Life {
    FirstPass,
    Commands,
    Saves,
    Restart,
    ClosedownPolling,
    ClosedownReadingTitle,
    RefusedVersion,
    RefusedOutOfMemory,
    Unload,
    kCount
};
constexpr int kLives = static_cast<int>(Life::kCount);
const char* const kLifeNames[kLives] = {
    "start and first pass",
    "commands (toggle, Hide all, Show all) with module S and the core window restarted by the host",
    "saves of modules P and E restarted by the host and hidden (merged; refused by the host, with the failure box up)",
    "restart (CLOSEDOWN, FreeLibrary, LoadLibrary, STARTUP as host 3.0)",
    "CLOSEDOWN while the worker polls",
    "CLOSEDOWN while the worker reads a title",
    "start refused, version 2.19",
    "start refused, out of memory",
    "unload (CLOSEDOWN and FreeLibrary) after the first pass"};

// The (life, kind) pairs that have no run, each with why.
const struct {
    Life life;
    Kind kind;
    const char* reason;
} kNoRun[] = {
    {Life::RefusedOutOfMemory, Kind::Allocation, "the life is its first allocation failing"},
    {Life::RefusedVersion, Kind::Import, "the version is refused before any call that can fail"},
    {Life::RefusedVersion, Kind::Allocation, "the version is refused before any allocation"},
    {Life::ClosedownPolling, Kind::Allocation, "the worker's wait and CLOSEDOWN allocate nothing"},
    {Life::Unload, Kind::Allocation, "CLOSEDOWN of a daemon whose worker has ended allocates nothing"},
    {Life::Unload, Kind::Action,
     "CLOSEDOWN of a daemon whose worker has ended, and FreeLibrary, call the host for nothing and send no "
     "message: no point to act at"},
};

bool Excused(int life, Kind kind) {
    return std::any_of(std::begin(kNoRun), std::end(kNoRun),
                       [&](const auto& none) { return static_cast<int>(none.life) == life && none.kind == kind; });
}

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

// The test's norvale.ini, and the modules with windows (C is not enabled);
// module D comes at the worker's third poll.
const char kEnabled[] = "SPED";
const char kHidden[] = "SP";
const char kWithWindows[] = "SPECD";
constexpr fixture::HostVersion kRefusedVersion{2, 19};
constexpr UINT WM_APP_ACT = WM_APP + 1;              // the host acts (asked from a daemon thread's call)
constexpr UINT WM_APP_CLOSE_WHEN_SENT = WM_APP + 2;  // CLOSEDOWN once the worker sends
constexpr WPARAM kForeignKey = VK_F24;               // the key the earlier hook acts on
constexpr DWORD kWorkerCallActMs = 100;              // how long a daemon thread's call waits for the action
constexpr DWORD kSettleMs = 5000;                    // STARTUP to the end of its worker
constexpr DWORD kUnloadBoundMs = 1000;
constexpr DWORD kQuietMs = 150;  // longer than the worker's first wait
const char kStartup[] = "STARTUP";
const char kClosedown[] = "CLOSEDOWN";
const char kLoadedLine[] = "Orbwick daemon loaded successfully";
const char kWaitingPrefix[] = "Orbwick: waiting for ";
const char kRefusedPrefix[] = "Orbwick daemon could not load";
const char kNotReadLine[] = "Orbwick: norvale.ini could not be read";
const char kCommandRefusedLine[] = "Orbwick: command not carried out (out of memory)";
const char kEarlierKeptLine[] = "Orbwick: Display control not added (an earlier one could not be removed)";

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (const wchar_t* c = text; *c != 0; ++c) narrow += static_cast<char>(*c < 128 ? *c : '?');
    return narrow;
}

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 63);
    return Narrow(name);
}

// A file's bytes as one line of text.
std::string Escaped(const std::string& bytes) {
    std::string text;
    for (char c : bytes) text += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return text;
}

// Whether one of the lines from `from` on is `line` (or, with prefix, starts with it).
bool Said(const std::vector<std::string>& lines, size_t from, const std::string& line, bool prefix = false) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (prefix ? lines[i].rfind(line, 0) == 0 : lines[i] == line)
            return true;
    }
    return false;
}

// The function whose calls fail in this run, "" when none does.
std::string StruckName() { return g_target.load() >= 0 ? g_swept[static_cast<size_t>(g_target.load())].name : ""; }

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

// A frame of the host's with its module windows (null where it has none),
// its core window and the modules its norvale.ini enables.
struct HostWindows {
    std::unique_ptr<hostmodel::HostFrame> frame;
    HWND slots[fixture::kModules] = {};
    HWND core = nullptr;
    std::string enabled;

    HostWindows(hostmodel::FrameLayout layout, std::string modules, const std::string& withWindows)
        : frame(std::make_unique<hostmodel::HostFrame>(std::move(layout))), enabled(std::move(modules)) {
        for (int i = 0; i < fixture::kModules; ++i) {
            if (withWindows.find(hostmodel::ModuleLetter(i)) != std::string::npos)
                slots[i] = frame->AddHostModule(i);
        }
        core = frame->AddCoreWindow();
        frame->AddSystemMessages();
    }
    bool Holds(HWND window) const { return window == frame->frame() || IsChild(frame->frame(), window); }
    bool Enabled(int module) const { return enabled.find(hostmodel::ModuleLetter(module)) != std::string::npos; }
    bool Shown(int module) const { return IsWindowVisible(slots[module]) != FALSE; }
    HMENU DisplayMenu() const {
        HMENU bar = GetMenu(frame->frame());
        HMENU menu = nullptr;
        for (int m = 0; m < GetMenuItemCount(bar) && menu == nullptr; ++m)
            menu = fixture::FindPopup(GetSubMenu(bar, m), L"Display control");
        return menu;
    }
};

// One run of a life with its disturbance: the host, its windows, the daemon
// as the host holds it, and what the host saw.
class Run {
public:
    Run(Life life, Kind kind, std::string target, Action action);
    ~Run();
    void Execute();

    std::vector<std::string> points;      // recorded, in order (clean run)
    std::vector<std::string> violations;  // invariants the run broke
    bool fired = false;                   // the action was done at its point
    bool processSpoiled = false;          // the library or a thread of it is left: the next run needs a new process

private:
    friend LRESULT CALLBACK CallWndProc(int, WPARAM, LPARAM);
    friend LRESULT CALLBACK CallWndRetProc(int, WPARAM, LPARAM);
    friend LRESULT CALLBACK CbtProc(int, WPARAM, LPARAM);
    friend LRESULT CALLBACK ForeignFilter(int, WPARAM, LPARAM);

    // The host's calls into the daemon, and what it does itself.
    void Load();
    void Unload();
    int32_t Startup(fixture::HostVersion version = fixture::kNewHost, bool otherFrame = false);
    void CheckAnswer(int32_t answer, size_t linesBefore, bool struck);
    void NoteDaemonStopped();
    void Closedown();
    void Command(unsigned command, HostWindows* on = nullptr);
    void CheckSave(size_t merges, size_t lines, int boxes);
    void ForeignKey();
    void ForeignAct();
    void DoAction();
    void RestartModule(int module);
    void RestartCore();
    void HostChanged();
    void Phase(bool on);

    // Interaction points.
    std::string Context() const;
    void Interact(const std::string& signature, bool deferToLoop = false);
    void OnHostCall(const HostCall& call);
    bool OnFrameMessage(UINT message);

    // Pumping and checks.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
    void Pump(DWORD milliseconds) {
        PumpUntil([] { return false; }, milliseconds);
    }
    void NoteTopLevel();
    bool FirstPassDone() const;
    void Settle();
    std::string MenuSnapshot() const;
    std::string Snapshot() const;
    bool ConfigWritable(const fixture::TempDirectory& directory) const;
    void CheckLeaks();
    bool SaidNoMenu() const;
    void CheckRunningDaemon();
    void CheckClosedDaemon();
    void CheckOperatorChoice();
    void CheckTeardown();
    void Violation(const std::string& what);

    const Life life_;
    const Kind kind_;
    const std::string target_;
    const Action action_;
    const DWORD hostThread_ = GetCurrentThreadId();
    const int threadsBefore_ = fixture::ThreadCount();

    fixture::TempDirectory directory_;
    hostmodel::RecordingHost host_;
    std::unique_ptr<HostWindows> own_;
    HWND elsewhere_ = nullptr;
    // The frame and base directory a start from inside another is given
    // (made when first asked for), and whether the latest start was given it.
    std::unique_ptr<HostWindows> other_;
    fixture::TempDirectory otherDirectory_;
    bool onOther_ = false;
    HHOOK callWndHook_ = nullptr, callWndRetHook_ = nullptr, cbtHook_ = nullptr, foreignHook_ = nullptr;
    std::wstring previousDirectory_;

    HMODULE library_ = nullptr;
    hostmodel::DaemonExports exports_;
    int hostReferences_ = 0;
    std::optional<fixture::ObjectCount> objects_;  // patched first, so the failing replacements pass calls on to it
    std::vector<std::unique_ptr<fixture::ImportPatch>> patches_;
    bool started_ = false;
    HWND detachedCore_ = nullptr;  // the core window the host took out of its frame before a start
    int startsAndClosedowns_ = 0;
    bool hostOwnChange_ = false;  // the host moves a window of its own: not the daemon's doing
    bool configNotRead_ = false;  // the latest start said norvale.ini could not be read
    size_t startLines_ = 0;       // the host's log lines before the latest start
    std::set<int> operatorHid_;   // modules (and kCore) the operator hid at some time

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
    int clicksSinceStartup_ = 0, polls_ = 0, boxes_ = 0;
    HANDLE actDone_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);

public:
    bool holdLibrary = false;  // the host keeps a reference of its own past the teardown (the check's own test)
};

Run* g_run = nullptr;

LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    Run* run = g_run;
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
            run->own_ && (run->own_->Holds(sent.hwnd) || (run->other_ && run->other_->Holds(sent.hwnd)));
        const bool daemonActivity = (InSendMessage() || !run->calls_.empty()) && !run->hostOwnChange_;
        if (hostWindow && daemonActivity && run->wndDepth_ == run->base_)
            run->Interact(run->Context() + ": message " + Hex(sent.message) + " to " + ClassOf(sent.hwnd));
        ++run->wndDepth_;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CallWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_run != nullptr)
        --g_run->wndDepth_;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The failure box is one point: the host acts from inside its loop, then
// answers the box.
LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    Run* run = g_run;
    if (code == HCBT_ACTIVATE && run != nullptr && ClassOf(reinterpret_cast<HWND>(wParam)) == "#32770") {
        ++run->boxes_;
        run->Interact(run->Context() + ": message box", true);
        PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Another plug-in's message filter, installed before the daemon's, so it is
// called from inside the daemon's hook.
LRESULT CALLBACK ForeignFilter(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && g_run != nullptr && message->message == WM_KEYDOWN && message->wParam == kForeignKey)
        g_run->ForeignAct();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

Run::Run(Life life, Kind kind, std::string target, Action action)
    : life_(life), kind_(kind), target_(std::move(target)), action_(action) {
    g_run = this;
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    previousDirectory_ = current;
    SetCurrentDirectoryA(directory_.Path().c_str());
    if (!directory_.WriteFile("norvale.ini", fixture::ConfigText(kEnabled, kHidden)))
        Violation("norvale.ini could not be written");
    for (const char* hidden = kHidden; *hidden != '\0'; ++hidden)
        operatorHid_.insert(static_cast<int>(std::string(hostmodel::kModuleLetters).find(*hidden)));

    hostmodel::FrameLayout layout;
    layout.handler = [this](HWND, UINT message, WPARAM, LPARAM, LRESULT& result) {
        result = 0;
        return OnFrameMessage(message);
    };
    own_ = std::make_unique<HostWindows>(layout, kEnabled, kWithWindows);
    elsewhere_ = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);

    host_.SetBaseDirectory(directory_.Path());
    host_.SetMainWindow(own_->frame->frame());
    for (const char* letter = hostmodel::kModuleLetters; *letter != '\0'; ++letter) host_.SetModuleState(*letter, 1);
    host_.SetModuleState('D', kModuleAbsent);  // until the worker's third poll
    host_.SetOnCall([this](const HostCall& call) { OnHostCall(call); });

    callWndHook_ = SetWindowsHookExW(WH_CALLWNDPROC, &CallWndProc, nullptr, hostThread_);
    callWndRetHook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, &CallWndRetProc, nullptr, hostThread_);
    cbtHook_ = SetWindowsHookExW(WH_CBT, &CbtProc, nullptr, hostThread_);
    if (action_ == Action::ForeignHookUnload || action_ == Action::ForeignDialogUnload)
        foreignHook_ = SetWindowsHookExW(WH_MSGFILTER, &ForeignFilter, nullptr, hostThread_);
}

Run::~Run() {
    for (HHOOK hook : {callWndHook_, callWndRetHook_, cbtHook_, foreignHook_}) {
        if (hook != nullptr)
            UnhookWindowsHookEx(hook);
    }
    host_.SetOnCall(nullptr);
    own_.reset();
    other_.reset();
    DestroyWindow(elsewhere_);
    CloseHandle(actDone_);
    SetCurrentDirectoryW(previousDirectory_.c_str());
    g_run = nullptr;
}

// ---------------------------------------------------------------------------
// The host's calls into the daemon

// LoadLibrary; a first reference counts the library's handles and menus and
// puts the failing replacements into its import table.
void Run::Load() {
    HMODULE library = LoadLibraryW(hostmodel::DaemonLibraryPath().c_str());
    if (library == nullptr || !hostmodel::BindDaemonExports(library, exports_)) {
        Violation("the daemon library could not be loaded");
        return;
    }
    library_ = library;
    if (hostReferences_++ > 0)
        return;
    objects_.emplace(library);
    if (objects_->patched() != 10)
        Violation("not every import that opens or closes a handle or menu is counted");
    for (const Swept& row : g_swept) {
        auto patch = std::make_unique<fixture::ImportPatch>(library, row.name.c_str(), row.replacement);
        if (patch->applied()) {
            *row.next = patch->original();
            patches_.push_back(std::move(patch));
        }
    }
}

// FreeLibrary. Before the last reference goes, the replacements go (while
// the library is surely mapped), and a daemon that was stopped from the
// host's own loop must have closed every handle it opened.
void Run::Unload() {
    if (hostReferences_ == 0)
        return;
    if (hostReferences_ == 1) {
        if (calls_.empty() && !started_)
            CheckLeaks();
        patches_.clear();
        objects_.reset();
    }
    --hostReferences_;
    const hostmodel::WatchedStep step(hostmodel::StepKind::DaemonCall, "FreeLibrary of the daemon library");
    FreeLibrary(library_);
}

// The host answers this start's questions with the other frame and base
// directory when asked to, and goes back to its own answers for whatever
// start is still under way outside it. A start that answers 0 is taken at its
// word: the host unloads the library without CLOSEDOWN.
int32_t Run::Startup(fixture::HostVersion version, bool otherFrame) {
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
            other_ = std::make_unique<HostWindows>(hostmodel::FrameLayout{}, "SD", "SD");
            if (!otherDirectory_.WriteFile("norvale.ini", fixture::ConfigText("SD", "D")))
                Violation("the other norvale.ini could not be written");
        }
        host_.SetMainWindow(other_->frame->frame());
        host_.SetBaseDirectory(otherDirectory_.Path());
    }
    const std::string before = Snapshot();
    const size_t lines = startLines_ = host_.LogLines(kLogLevelOutcome).size();
    calls_.push_back(kStartup);
    const int saved = base_;
    base_ = wndDepth_;
    const HostRecord record = host_.MakeRecord(version.major, version.minor);
    g_struck = false;
    const int nested = ++startsAndClosedowns_;
    const int32_t result = [&] {
        const hostmodel::WatchedStep step(hostmodel::StepKind::DaemonCall, "STARTUP");
        return exports_.startup(&record);
    }();
    // A start or CLOSEDOWN from inside this one decides its outcome.
    if (startsAndClosedowns_ == nested)
        CheckAnswer(result, lines, g_struck.load());
    base_ = saved;
    calls_.pop_back();
    host_.SetMainWindow(own_->frame->frame());
    host_.SetBaseDirectory(directory_.Path());
    started_ = (result & 0xFF) == 1;
    if (!ConfigWritable(otherFrame ? otherDirectory_ : directory_))
        Violation(std::string("the norvale.ini of the ") + (otherFrame ? "other" : "host's own") +
                  " base directory cannot be opened for writing after the STARTUP that read it");
    if (!started_) {
        Unload();
        NoteDaemonStopped();
        // Nothing of a refused start remains to change the host.
        if (kind_ != Kind::Action && calls_.empty()) {
            Pump(kQuietMs);
            if (Snapshot() != before)
                Violation("STARTUP answered 0, but the daemon changed the host's menus or windows");
        }
    }
    return result;
}

// STARTUP's answer is exactly whether the daemon runs: 0 with the line that
// says why it could not load, 1 without one. A start that could not read all
// of norvale.ini (a file call or a conversion of the reader's failed) says
// so, and its saves are refused.
void Run::CheckAnswer(int32_t answer, size_t linesBefore, bool struck) {
    const auto lines = host_.LogLines(kLogLevelOutcome);
    const bool refused = Said(lines, linesBefore, kRefusedPrefix, true);
    const bool one = (answer & 0xFF) == 1;
    if (one && refused)
        Violation("STARTUP answered 1, but the log says the daemon could not load");
    if (!one && !refused)
        Violation("STARTUP answered 0, but no line says why the daemon could not load");
    if (kind_ == Kind::Clean && one && (life_ == Life::RefusedVersion || life_ == Life::RefusedOutOfMemory))
        Violation("the start the life refuses answered " + std::to_string(answer));
    configNotRead_ = Said(lines, linesBefore, kNotReadLine);
    const std::string name = struck ? StruckName() : "";
    const std::pair<const char*, const char*> causes[] = {
        {"SetWindowsHookExW", "Orbwick daemon could not load (message hook not installed)"},
        {"CreateThread", "Orbwick daemon could not load (start-up worker not started)"}};
    for (const auto& [function, line] : causes) {
        if (!one && name == function && !Said(lines, linesBefore, line))
            Violation(std::string("STARTUP refused without the line \"") + line + "\"");
    }
    if (one && !configNotRead_ &&
        (name == "ReadFile" || name == "CreateFileA" || name == "CreateFileW" || name == "MultiByteToWideChar"))
        Violation("a call reading norvale.ini failed in STARTUP, but the log does not say it could not be read");
}

void Run::Closedown() {
    if (hostReferences_ == 0)
        return;
    calls_.push_back(kClosedown);
    ++startsAndClosedowns_;
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
void Run::NoteDaemonStopped() {
    const std::string menus = MenuSnapshot();
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    closedReturned_ = closedPending_ = true;
    closedMenus_ = menus;
}

// What the host does with a menu command: the message filters first, then
// its frame. The daemon passes every command on, and one it could not carry
// out for lack of memory changes nothing and says so.
void Run::Command(unsigned command, HostWindows* on) {
    HostWindows& windows = on != nullptr ? *on : *own_;
    const int module = static_cast<int>(command) - 1000;
    if (module >= 0 && module < fixture::kModules && windows.slots[module] != nullptr && windows.Shown(module)) {
        operatorHid_.insert(module);
    } else if (command == 1090 && IsWindowVisible(windows.core)) {
        operatorHid_.insert(fixture::kCore);
    } else if (command == 1097) {
        for (int i = 0; i < fixture::kModules; ++i) {
            if (windows.Enabled(i))
                operatorHid_.insert(i);
        }
        operatorHid_.insert(fixture::kCore);
    }
    const size_t lines = host_.LogLines(kLogLevelOutcome).size();
    const size_t merges = host_.CallsOf(Op::MergeSection).size();
    const int boxes = boxes_;
    const std::string before = Snapshot();
    g_allocationStruck = false;
    g_struck = false;
    MSG message = {windows.frame->frame(), WM_COMMAND, command, 0, GetTickCount(), {}};
    calls_.push_back("command " + std::to_string(command));
    const int saved = base_;
    base_ = wndDepth_;
    const bool consumed = CallMsgFilterW(&message, 0) != FALSE;
    base_ = saved;
    calls_.pop_back();
    if (consumed)
        Violation("the hook chain kept command " + std::to_string(command) + " from the host");
    else
        SendMessageW(windows.frame->frame(), WM_COMMAND, command, 0);
    if (kind_ == Kind::Action || !calls_.empty())
        return;
    const bool refused = Said(host_.LogLines(kLogLevelOutcome), lines, kCommandRefusedLine);
    if (refused && command != 1099 && Snapshot() != before)
        Violation("a command that was not carried out changed the host's windows or menus");
    if (g_allocationStruck && !refused)
        Violation("command " + std::to_string(command) + " ran out of memory, but no line says it was not carried out");
    if (command == 1099 && on == nullptr)
        CheckSave(merges, lines, boxes);
}

// A save merges exactly the lines a clean run would write, "NORVALE<letter>"
// for each module enabled in norvale.ini whose window is hidden now, and
// none the operator never hid; or it is refused where the operator sees it:
// a level-15 line and the failure box (unless the box itself failed).
void Run::CheckSave(size_t merges, size_t lines, int boxes) {
    const auto calls = host_.CallsOf(Op::MergeSection);
    for (size_t m = merges; m < calls.size(); ++m) {
        std::string expected;
        for (int i = 0; i < fixture::kModules; ++i) {
            if (own_->Enabled(i) && !own_->Shown(i))
                expected += std::string("NORVALE") + hostmodel::ModuleLetter(i) + "\r\n";
        }
        if (calls[m].fileBytes != expected)
            Violation("a save merged \"" + Escaped(calls[m].fileBytes) + "\" instead of \"" + Escaped(expected) + "\"");
        if (configNotRead_)
            Violation("a save merged although norvale.ini could not be read at start");
    }
    if (calls.size() != merges || !started_ || own_->DisplayMenu() == nullptr || SaidNoMenu())
        return;
    if (host_.LogLines(kLogLevelOutcome).size() == lines)
        Violation("a save neither merged nor said why");
    if (boxes_ == boxes && !(g_struck && StruckName() == "MessageBoxW"))
        Violation("a save that merged nothing showed no failure box");
}

// An ordinary key for the frame, through the message filters: the daemon's
// hook first, which calls the earlier hook from inside.
void Run::ForeignKey() {
    MSG message = {own_->frame->frame(), WM_KEYDOWN, kForeignKey, 0, GetTickCount(), {}};
    calls_.push_back("key");
    CallMsgFilterW(&message, 0);
    calls_.pop_back();
}

void Run::ForeignAct() {
    if (action_ == Action::ForeignDialogUnload) {
        // The other plug-in's dialog: its loop passes messages through the
        // filters, the daemon's hook included, and answers sent messages.
        MSG inner = {own_->frame->frame(), WM_KEYDOWN, VK_SPACE, 0, GetTickCount(), {}};
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

void Run::DoAction() {
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
        if (own_->core != nullptr && detachedCore_ == nullptr) {
            hostOwnChange_ = true;
            SetParent(own_->core, elsewhere_);
            hostOwnChange_ = false;
            detachedCore_ = std::exchange(own_->core, nullptr);
        }
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

// The host restarts a module, or its core window: the MDI child goes, a new
// one (shown) comes.
void Run::RestartModule(int module) {
    const hostmodel::WatchedStep step(hostmodel::StepKind::HostWait, "the host restarting a module");
    own_->slots[module] = own_->frame->RestartHostModule(GetParent(own_->slots[module]), module);
    HostChanged();
}

void Run::RestartCore() {
    if (own_->core != nullptr)
        own_->frame->RemoveMdiChild(GetParent(own_->core));
    own_->core = own_->frame->AddCoreWindow();
    HostChanged();
}

// The host changed its own windows: a closed daemon's quiet is measured
// from here on.
void Run::HostChanged() {
    const std::string menus = MenuSnapshot(), all = Snapshot();
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    closedMenus_ = menus;
    quietSnapshot_ = all;
}

// The phase under test: points are recorded and acted at, calls counted and
// failed.
void Run::Phase(bool on) {
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    inBody_ = on;
    g_armed = on;
}

// ---------------------------------------------------------------------------
// Interaction points

std::string Run::Context() const {
    if (calls_.empty())
        return "daemon thread";
    if (InSendMessage())
        return calls_.back() + " (sent from a daemon thread)";
    return calls_.back();
}

void Run::Interact(const std::string& signature, bool deferToLoop) {
    {
        std::lock_guard<hostmodel::HostLock> lock(mutex_);
        if (quiet_ && signature.find("message 0x0000 ") == std::string::npos) {
            violations.push_back("after CLOSEDOWN had returned: " + signature);
        } else if (closedReturned_ && BeginsAStep(signature)) {
            violations.push_back("begun after CLOSEDOWN had returned: " + signature);
        }
        if (!inBody_)
            return;
        const std::string key = signature + " #" + std::to_string(++seen_[signature]);
        if (kind_ == Kind::Clean)
            points.push_back(key);
        if (kind_ != Kind::Action || fired || key != target_)
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
    PostMessageW(own_->frame->frame(), WM_APP_ACT, 0, 0);
    if (!onHostThread)
        WaitForSingleObject(actDone_, kWorkerCallActMs);
}

void Run::OnHostCall(const HostCall& call) {
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
        if (call.text == "NORVALED" && ++polls_ == 2 && life_ != Life::ClosedownPolling)
            host_.SetModuleState('D', 1);
        if (life_ == Life::ClosedownReadingTitle && call.text == "NORVALES" && !hostThread)
            PostMessageW(own_->frame->frame(), WM_APP_CLOSE_WHEN_SENT, 0, 0);
        break;
    case Op::WriteLog:
        what = "WriteLog " + std::to_string(call.number) + " \"" + call.text + "\"";
        break;
    }
    Interact((hostThread ? Context() : std::string("daemon thread")) + ": " + what);
}

bool Run::OnFrameMessage(UINT message) {
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
        Phase(true);
        Closedown();
        Phase(false);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Pumping and checks

// Back in the host's own loop after a CLOSEDOWN: from here on nothing of the
// daemon may happen until the next STARTUP.
void Run::NoteTopLevel() {
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

bool Run::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            hostmodel::DispatchLikeHost(message, own_->frame->client());
        NoteTopLevel();
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// The latest start's first pass ends with its click on module D's button.
bool Run::FirstPassDone() const {
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    return clicksSinceStartup_ > 0;
}

// Until the latest start's worker has ended (a call that failed may end it
// before its click).
void Run::Settle() {
    PumpUntil([this] { return !started_ || FirstPassDone() || fixture::ThreadCount() <= threadsBefore_; }, kSettleMs);
    Pump(30);
}

// The host's menu bars, items and marks, the popups inside its menus (the
// Display control) included.
std::string Run::MenuSnapshot() const {
    std::string text;
    for (const HostWindows* windows : {own_.get(), other_.get()}) {
        HMENU bar = windows != nullptr ? GetMenu(windows->frame->frame()) : nullptr;
        for (int m = 0; m < GetMenuItemCount(bar); ++m) {
            HMENU menu = GetSubMenu(bar, m);
            auto items = fixture::ReadMenu(menu);
            // The MDI client's list of its children is the host's own.
            items.erase(std::remove_if(items.begin(), items.end(),
                                       [](const auto& item) { return item.id >= hostmodel::kFirstChildId; }),
                        items.end());
            text += fixture::Describe(items);
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                if (GetSubMenu(menu, i) != nullptr)
                    text += fixture::Describe(fixture::ReadMenu(GetSubMenu(menu, i)));
            }
        }
    }
    return text;
}

// The host's menu bars and which of their windows are visible.
std::string Run::Snapshot() const {
    std::string text = MenuSnapshot();
    for (const HostWindows* windows : {own_.get(), other_.get()}) {
        HWND first = windows != nullptr ? GetWindow(windows->frame->client(), GW_CHILD) : nullptr;
        for (HWND w = first; w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
            wchar_t title[64] = {};
            GetWindowTextW(w, title, 63);
            text += (IsWindowVisible(w) ? "v" : "h") + Narrow(title) + "\n";
        }
    }
    return text;
}

// Whether another can open the file for writing now: a handle the daemon
// left open on it (it reads without write sharing) would refuse it.
bool Run::ConfigWritable(const fixture::TempDirectory& directory) const {
    HANDLE file = CreateFileA((directory.Path() + "norvale.ini").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

void Run::Violation(const std::string& what) {
    std::lock_guard<hostmodel::HostLock> lock(mutex_);
    violations.push_back(what);
}

// A stopped daemon (its threads ended) has closed every kernel handle it
// opened, and every menu it made and did not destroy is a Display control in
// one of the host's menu bars.
void Run::CheckLeaks() {
    for (int wait = 0; wait < 100 && fixture::ThreadCount() > threadsBefore_; ++wait) Sleep(5);
    if (!objects_ || fixture::ThreadCount() > threadsBefore_)
        return;
    if (objects_->openHandles() != 0)
        Violation(std::to_string(objects_->openHandles()) + " kernel handles the daemon opened and did not close");
    for (HMENU menu : objects_->liveMenus()) {
        if (menu != own_->DisplayMenu() && (!other_ || menu != other_->DisplayMenu()))
            Violation("a menu the daemon made is neither destroyed nor a Display control in the host's menu bar");
    }
}

// The latest start said it runs without a Display control of its own.
bool Run::SaidNoMenu() const {
    const auto lines = host_.LogLines(kLogLevelOutcome);
    return Said(lines, startLines_, "Orbwick: Display control", true) ||
           Said(lines, startLines_, "Orbwick: no third menu", true);
}

// A daemon that runs and has ended its first pass on the frame its latest
// start was given: one Display control with items only for the modules that
// frame's norvale.ini enables, its marks in step with the windows, one hook
// acting, nothing found by an earlier start acted on, saves that merge or
// say why; on the other frame, the windows its own norvale.ini lists hidden.
// A start whose worker ended without a Display control said why.
void Run::CheckRunningDaemon() {
    HostWindows& windows = onOther_ ? *other_ : *own_;
    HMENU menu = windows.DisplayMenu();
    // Without one of its own, an earlier start's is left only when it could
    // not be taken out.
    if (SaidNoMenu()) {
        if (menu != nullptr && !Said(host_.LogLines(kLogLevelOutcome), startLines_, kEarlierKeptLine))
            Violation("a start without a Display control of its own left an earlier one in the menu bar");
        return;
    }
    if (menu == nullptr) {
        const auto lines = host_.LogLines(kLogLevelOutcome);
        for (const std::string& line : lines) {
            if (line != kLoadedLine && line.rfind(kWaitingPrefix, 0) != 0)
                return;  // it said why it cannot run
        }
        Violation("STARTUP answered 1, but no Display control came and no line says why");
        return;
    }
    if (onOther_ && (windows.Shown(4) || !windows.Shown(0)))
        Violation("a start given another base directory did not hide what that directory's norvale.ini lists");
    const int menus = fixture::CountPopups(GetMenu(windows.frame->frame()), L"Display control");
    if (menus != 1)
        Violation(std::to_string(menus) + " Display control menus in the menu bar");
    // A toggle first: a command finds the windows the host restarted.
    const bool before = windows.Shown(0);
    Command(1000, onOther_ ? other_.get() : nullptr);
    if (windows.Shown(0) == before)
        Violation(std::string("a toggle did not toggle exactly once (module S was ") + (before ? "shown" : "hidden") +
                  " and stayed so)");
    for (int i = 0; i < fixture::kModules; ++i) {
        const auto mark = fixture::CheckMark(menu, 1000u + i);
        if (mark.has_value() != windows.Enabled(i) && (mark || !configNotRead_))
            Violation(std::string("module ") + hostmodel::ModuleLetter(i) +
                      (mark ? " has an item, but norvale.ini does not enable it" : " has no item"));
        else if (mark && *mark != windows.Shown(i))
            Violation("the mark of item " + std::to_string(1000 + i) + " does not match its window");
    }
    if (windows.core != nullptr && fixture::CheckMark(menu, 1090) != (IsWindowVisible(windows.core) != FALSE))
        Violation("the mark of the core window's item does not match its window");
    if (detachedCore_ != nullptr && !onOther_) {
        for (unsigned command : {1097u, 1090u}) {
            Command(command);
            if (!IsWindowVisible(detachedCore_))
                Violation("command " + std::to_string(command) + " acted on the core window an earlier start found");
        }
    }
    if (!onOther_)
        Command(1099);
}

// A daemon the host has closed down (or never started): longer than a
// worker's first wait passes, so a worker left behind would ask the host
// something, and a command finds no hook to act on it.
void Run::CheckClosedDaemon() {
    Pump(kQuietMs);
    const bool before = own_->Shown(0);
    Command(1000);
    if (own_->Shown(0) != before)
        Violation("a hook acted on a command while the daemon was closed down");
}

// Nothing is hidden that the operator did not hide: the windows hidden now
// against the modules norvale.ini lists and those the operator's commands hid.
void Run::CheckOperatorChoice() {
    for (int i = 0; i <= fixture::kModules; ++i) {
        HWND window = i == fixture::kCore ? own_->core : own_->slots[i];
        if (window != nullptr && !IsWindowVisible(window) && operatorHid_.count(i) == 0)
            Violation(std::string("the ") +
                      (i == fixture::kCore ? std::string("core window")
                                           : std::string("window of module ") + hostmodel::ModuleLetter(i)) +
                      " is hidden, which the operator never hid");
    }
}

// CLOSEDOWN and the host's last FreeLibrary: the library is unmapped within
// a second, no thread of it is left, nothing of the daemon changes the host
// any more, one Display control at most, and norvale.ini is free.
void Run::CheckTeardown() {
    const HMODULE held = holdLibrary ? LoadLibraryW(hostmodel::DaemonLibraryPath().c_str()) : nullptr;
    Closedown();
    while (hostReferences_ > 0) Unload();
    if (!PumpUntil([] { return !fixture::LibraryLoaded(); }, kUnloadBoundMs)) {
        Violation("orbwick.dll still mapped 1 s after the host's last FreeLibrary");
        processSpoiled = true;
    }
    if (held != nullptr)
        FreeLibrary(held);
    if (!PumpUntil([this] { return fixture::ThreadCount() <= threadsBefore_; }, kUnloadBoundMs)) {
        Violation("a thread of the daemon outlived CLOSEDOWN and FreeLibrary");
        processSpoiled = true;
    }
    Pump(20);
    if (quiet_ && Snapshot() != quietSnapshot_)
        Violation("the host's windows or menus changed after CLOSEDOWN had returned:\n" + quietSnapshot_ + "now\n" +
                  Snapshot());
    if (fixture::CountPopups(GetMenu(own_->frame->frame()), L"Display control") > 1)
        Violation("more than one Display control in the menu bar");
    if (!ConfigWritable(directory_))
        Violation("norvale.ini cannot be opened for writing at the end");
    SetFileAttributesA("IniUpdate.tmp", FILE_ATTRIBUTE_NORMAL);  // a leftover the daemon could not replace
}

void Run::Execute() {
    const bool refused = life_ == Life::RefusedVersion || life_ == Life::RefusedOutOfMemory;
    Load();
    Phase(life_ == Life::FirstPass || refused);
    Startup(life_ == Life::RefusedVersion ? kRefusedVersion : fixture::kNewHost);
    if (life_ == Life::ClosedownReadingTitle) {
        PumpUntil([this] { return !started_; }, kSettleMs);
    } else if (life_ == Life::ClosedownPolling) {
        Phase(true);
        Pump(kQuietMs);  // the worker polls for module D, which never comes
        Closedown();
    }
    Settle();
    Phase(false);
    switch (life_) {
    case Life::Commands:
        Phase(true);
        Command(1000);
        Phase(false);
        RestartModule(0);
        Phase(true);
        Command(1000);
        Command(1097);
        Phase(false);
        RestartCore();
        Phase(true);
        Command(1090);
        Command(1098);
        break;
    case Life::Saves:
        // The host restarts module P, listed hidden, and hides the new window
        // itself; and module E, whose new window the operator hides.
        RestartModule(1);
        ShowWindow(GetParent(own_->slots[1]), SW_HIDE);
        HostChanged();
        RestartModule(2);
        // An update file an earlier save left, read-only: it is replaced.
        if (!directory_.WriteFile("IniUpdate.tmp", "NORVALEX\r\n") ||
            !SetFileAttributesA("IniUpdate.tmp", FILE_ATTRIBUTE_READONLY))
            Violation("the leftover update file could not be made");
        Phase(true);
        Command(1002);  // the operator hides module E's new window
        Command(1099);
        host_.SetMergeAnswer(0);
        Command(1099);
        host_.SetMergeAnswer(1);
        break;
    case Life::Restart:
        Phase(true);
        Closedown();
        Unload();
        Load();
        Startup(fixture::kOldHost);
        Settle();
        break;
    case Life::Unload:
        Phase(true);
        Closedown();
        Unload();
        break;
    default:
        break;
    }
    Phase(false);
    Settle();
    if (started_ && !FirstPassDone() && fixture::ThreadCount() > threadsBefore_)
        Violation("a start that answered 1 did not end its first pass within " + std::to_string(kSettleMs) + " ms");
    if (started_)
        CheckRunningDaemon();
    else
        CheckClosedDaemon();
    CheckOperatorChoice();
    CheckTeardown();
}

// ---------------------------------------------------------------------------
// The plan and the child processes

struct Planned {
    int life;
    Kind kind;
    int row;            // Import: the function's row
    long call;          // Import: kEveryCall or 1..; Allocation: 1..
    int action;         // Action
    std::string point;  // Action
};

const char kChildFlag[] = "--life-engine-child=";
constexpr long kEveryK = 8;           // every k up to this, then only k = 12, 16, 24, 32, 48 ...
constexpr DWORD kRunBoundMs = 30000;  // a run without an end after this long hangs

// The calls of a function a life made n of that fail in turn: each of the
// first ones, then more and more sparsely, then every call.
std::vector<long> CallsToFail(long n) {
    std::vector<long> calls;
    for (long k = 1; k <= n; k = k < kEveryK ? k + 1 : k % 3 == 0 ? k / 3 * 4 : k / 2 * 3) calls.push_back(k);
    if (n > 0)
        calls.push_back(kEveryCall);
    return calls;
}

std::string Describe(const Planned& run) {
    std::string what = std::string(kLifeNames[run.life]) + ", ";
    switch (run.kind) {
    case Kind::Clean:
        return what + "clean run";
    case Kind::Probe:
        return what + "a reference kept past the teardown";
    case Kind::Action:
        return what + kActionNames[run.action] + " at " + run.point;
    case Kind::Import:
        return what + g_swept[static_cast<size_t>(run.row)].name + " " +
               (run.call == kEveryCall ? std::string("failing at every call")
                                       : "failing at call " + std::to_string(run.call));
    case Kind::Allocation:
        return what + "allocation " + std::to_string(run.call) + " failing";
    }
    return what;
}

// Runs the plan from `first` on, writing "begin i", then "count i row n",
// "point i text", "fired i" and "violation i text" lines, then "end i";
// stops after a run that left the library or a thread behind.
void RunChildBatch(const std::string& directory, size_t first) {
    std::vector<Planned> plan;
    std::ifstream planFile(directory + "plan.txt");
    for (std::string line; std::getline(planFile, line);) {
        std::istringstream in(line);
        Planned p;
        int kind = 0;
        in >> p.life >> kind >> p.row >> p.call >> p.action;
        p.kind = static_cast<Kind>(kind);
        std::getline(in >> std::ws, p.point);
        plan.push_back(p);
    }
    FILE* report = std::fopen((directory + "report.txt").c_str(), "a");
    if (report == nullptr)
        return;
    for (size_t i = first; i < plan.size(); ++i) {
        const Planned& p = plan[i];
        const unsigned index = static_cast<unsigned>(i);
        std::fprintf(report, "begin %u\n", index);
        std::fflush(report);
        for (auto& calls : g_calls) calls = 0;
        g_allocations = 0;
        g_target = p.kind == Kind::Import ? p.row : -1;
        g_failAt = p.call;
        g_allocationFailAt = p.kind == Kind::Allocation                              ? p.call
                             : static_cast<Life>(p.life) == Life::RefusedOutOfMemory ? 1
                                                                                     : 0;
        Run run(static_cast<Life>(p.life), p.kind, p.point, static_cast<Action>(p.action));
        run.holdLibrary = p.kind == Kind::Probe;
        run.Execute();
        for (int row = 0; p.kind == Kind::Clean && row < static_cast<int>(g_swept.size()); ++row)
            std::fprintf(report, "count %u %d %ld\n", index, row, g_calls[row].load());
        for (const std::string& point : run.points) std::fprintf(report, "point %u %s\n", index, point.c_str());
        if (run.fired)
            std::fprintf(report, "fired %u\n", index);
        for (const std::string& v : run.violations)
            std::fprintf(report, "violation %u %s\n", index, Escaped(v).c_str());
        std::fprintf(report, "end %u\n", index);
        std::fflush(report);
        if (run.processSpoiled)
            break;
    }
    std::fclose(report);
}

// What the children reported so far for a plan.
struct Report {
    std::map<size_t, std::vector<std::string>> violations, points;
    std::map<size_t, std::map<int, long>> counts;
    std::set<size_t> begun, ended, fired;
};

Report ReadReport(const std::string& directory) {
    Report report;
    std::ifstream file(directory + "report.txt");
    for (std::string line; std::getline(file, line);) {
        std::istringstream in(line);
        std::string kind, text;
        size_t index = 0;
        in >> kind >> index;
        if (kind == "begin") {
            report.begun.insert(index);
        } else if (kind == "end") {
            report.ended.insert(index);
        } else if (kind == "fired") {
            report.fired.insert(index);
        } else if (kind == "count") {
            int row = 0;
            long n = 0;
            in >> row >> n;
            report.counts[index][row] = n;
        } else if (std::getline(in >> std::ws, text); kind == "point") {
            report.points[index].push_back(text);
        } else if (kind == "violation") {
            report.violations[index].push_back(text);
        }
    }
    return report;
}

// Runs the whole plan in children; returns the report, with a violation
// added for each run that ended its child's process or hung.
Report RunPlan(const std::vector<Planned>& plan, const fixture::TempDirectory& directory) {
    {
        std::ofstream file(directory.Path() + "plan.txt", std::ios::trunc);
        for (const Planned& p : plan)
            file << p.life << ' ' << static_cast<int>(p.kind) << ' ' << p.row << ' ' << p.call << ' ' << p.action << ' '
                 << p.point << '\n';
    }
    DeleteFileA((directory.Path() + "report.txt").c_str());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::map<size_t, std::string> deaths;
    for (size_t next = 0; next < plan.size();) {
        std::string command = std::string("\"") + self + "\" --gtest_brief=1 \"" + kChildFlag + std::to_string(next) +
                              ":" + directory.Path() + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;  // no handles: the children's own output goes nowhere
        PROCESS_INFORMATION child = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
            deaths[next] = "the child process could not be started";
            break;
        }
        CloseHandle(child.hThread);
        size_t progress = 0;
        DWORD lastProgress = GetTickCount();
        bool hung = false;
        while (WaitForSingleObject(child.hProcess, 50) == WAIT_TIMEOUT) {
            const Report now = ReadReport(directory.Path());
            if (now.begun.size() + now.ended.size() != progress) {
                progress = now.begun.size() + now.ended.size();
                lastProgress = GetTickCount();
            } else if (GetTickCount() - lastProgress > kRunBoundMs) {
                TerminateProcess(child.hProcess, 1);
                WaitForSingleObject(child.hProcess, INFINITE);
                hung = true;
            }
        }
        DWORD code = 0;
        GetExitCodeProcess(child.hProcess, &code);
        CloseHandle(child.hProcess);
        const Report now = ReadReport(directory.Path());
        const size_t before = next;
        while (now.ended.count(next) != 0) ++next;
        if (next < plan.size() && now.begun.count(next) != 0) {
            char text[96];
            std::snprintf(text, sizeof text, "the host process ended (exit code 0x%08lx)",
                          static_cast<unsigned long>(code));
            deaths[next] = hung ? "the host hung (no end within 30 s)" : text;
            ++next;
        } else if (next == before && next < plan.size()) {
            deaths[next] = "the child process ran nothing";
            break;
        }
    }
    Report report = ReadReport(directory.Path());
    for (const auto& [index, what] : deaths) report.violations[index].push_back(what);
    return report;
}

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The default's share of each kind's runs, in percent, each run drawn on its
// own from the seed and its names, so a printed seed replays its selection
// and a run one seed leaves out is met by others. Actions at the points
// inside the host's own STARTUP and CLOSEDOWN, where the host's answers
// decide what the daemon is, always run.
constexpr unsigned kSharePercent[kDisturbances] = {6, 15, 15};

bool Drawn(unsigned seed, Kind kind, const std::string& names) {
    uint32_t hash = 2166136261u ^ seed;  // FNV-1a
    for (unsigned char c : names) hash = (hash ^ c) * 16777619u;
    hash ^= hash >> 15;
    hash *= 2246822519u;
    hash ^= hash >> 13;
    return hash % 100 < kSharePercent[KindIndex(kind)];
}

// Every import of the DLL is swept or listed with its reason.
std::vector<std::string> UnsortedImports() {
    std::vector<std::string> unsorted;
    HMODULE dll = LoadLibraryW(hostmodel::DaemonLibraryPath().c_str());
    if (dll == nullptr)
        return {"orbwick.dll could not be loaded"};
    for (const std::string& import : fixture::ImportedFunctions(dll)) {
        const std::string name = import.substr(import.find('!') + 1);
        const bool swept =
            std::any_of(g_swept.begin(), g_swept.end(), [&](const Swept& row) { return row.name == name; });
        if (!swept && !NotInjected(name))
            unsorted.push_back(import + " is neither swept nor listed as not injectable");
    }
    FreeLibrary(dll);
    return unsorted;
}

// The runs of one life: each action at each recorded point, each swept
// function failing at each of its calls the clean run counted and at every
// call, each allocation failing in turn.
void PlanLife(int life, const Report& clean, size_t index, bool kinds[kDisturbances], bool full[kDisturbances],
              unsigned seed, std::vector<Planned>& plan) {
    const std::string only = Setting("ORBWICK_EXPLORE_ONLY");
    std::vector<Planned> candidates[kDisturbances];
    auto add = [&](Planned run) {
        if (!Excused(life, run.kind) && kinds[KindIndex(run.kind)])
            candidates[KindIndex(run.kind)].push_back(run);
    };
    if (clean.points.count(index) != 0) {
        for (const std::string& point : clean.points.at(index)) {
            for (int a = 0; a < kActions && point.find(only) != std::string::npos; ++a)
                add({life, Kind::Action, -1, 0, a, point});
        }
    }
    long allocations = 0;
    if (clean.counts.count(index) != 0) {
        for (const auto& [row, n] : clean.counts.at(index)) {
            for (long k : CallsToFail(n)) add({life, Kind::Import, row, k, 0, ""});
            allocations += g_swept[static_cast<size_t>(row)].allocation ? n : 0;
        }
    }
    for (long k = 1; k <= allocations; ++k) add({life, Kind::Allocation, -1, k, 0, ""});
    // A kind's share that draws none of a life's runs still runs one.
    for (int k = 0; k < kDisturbances; ++k) {
        const size_t before = plan.size();
        for (const Planned& run : candidates[k]) {
            const bool inside = run.point.rfind(kStartup, 0) == 0 || run.point.rfind(kClosedown, 0) == 0;
            if (full[k] || (run.kind == Kind::Action && inside) || Drawn(seed, run.kind, Describe(run)))
                plan.push_back(run);
        }
        if (plan.size() == before && !candidates[k].empty())
            plan.push_back(candidates[k][seed % candidates[k].size()]);
    }
}

TEST(LifeEngine, EveryLifeMeetsEveryDisturbance) {
    BuildTable();
    ASSERT_LE(g_swept.size(), static_cast<size_t>(kMaxRows));
    const std::string commandLine = GetCommandLineA();
    const size_t flag = commandLine.find(kChildFlag);
    if (flag != std::string::npos) {
        const std::string argument = commandLine.substr(flag + sizeof kChildFlag - 1);
        const size_t colon = argument.find(':');
        RunChildBatch(argument.substr(colon + 1, argument.rfind('"') - colon - 1),
                      std::strtoul(argument.c_str(), nullptr, 10));
        return;
    }
    const std::string kindsText = Setting("ORBWICK_KINDS");
    bool kinds[kDisturbances] = {kindsText != "faults", kindsText != "actions", kindsText != "actions"};
    bool full[kDisturbances] = {Setting("ORBWICK_EXPLORE") == "full", Setting("ORBWICK_FAULTS") == "full",
                                Setting("ORBWICK_FAULTS") == "full"};
    const bool listOnly = Setting("ORBWICK_EXPLORE") == "list";
    const std::string seedText = Setting("ORBWICK_SEED");
    const unsigned seed = seedText.empty() ? GetTickCount() % 100000 : std::strtoul(seedText.c_str(), nullptr, 10);
    std::printf("[ seed     ] %u (ORBWICK_SEED=%u replays this selection)\n", seed, seed);
    const DWORD started = GetTickCount();
    int violations = 0;
    auto report = [&](const std::string& what, const std::string& violation) {
        ++violations;
        std::printf("violation: %s: %s\n", what.c_str(), violation.c_str());
    };
    for (const std::string& v : UnsortedImports()) report("imports", v);

    // Each life once clean, recording and counting, and once with a
    // reference kept: the teardown's check of the library seen failing.
    const fixture::TempDirectory directory;
    std::vector<Planned> first;
    std::vector<int> lives;
    for (int life = 0; life < kLives; ++life) {
        if (std::string(kLifeNames[life]).find(Setting("ORBWICK_LIVES")) == std::string::npos)
            continue;
        lives.push_back(life);
        first.push_back({life, Kind::Clean, -1, 0, 0, ""});
        first.push_back({life, Kind::Probe, -1, 0, 0, ""});
    }
    const Report clean = RunPlan(first, directory);
    std::vector<Planned> plan;
    int points = 0;
    for (size_t l = 0; l < lives.size(); ++l) {
        const int life = lives[l];
        const size_t index = 2 * l;
        for (const std::string& v :
             clean.violations.count(index) ? clean.violations.at(index) : std::vector<std::string>())
            report(Describe(first[index]), v);
        const auto& probe =
            clean.violations.count(index + 1) ? clean.violations.at(index + 1) : std::vector<std::string>();
        if (std::none_of(probe.begin(), probe.end(),
                         [](const std::string& v) { return v.find("still mapped") != std::string::npos; }))
            report(Describe(first[index + 1]), "a library left mapped was not reported");
        const auto lifePoints = clean.points.count(index) ? clean.points.at(index) : std::vector<std::string>();
        points += static_cast<int>(lifePoints.size());
        std::string called;
        if (clean.counts.count(index) != 0) {
            for (const auto& [row, n] : clean.counts.at(index)) {
                if (n > 0)
                    called += " " + g_swept[static_cast<size_t>(row)].name + "(" + std::to_string(n) + ")";
            }
        }
        std::printf("[ life     ] %s: %d points; calls:%s\n", kLifeNames[life], static_cast<int>(lifePoints.size()),
                    called.c_str());
        if (listOnly) {
            for (const std::string& point : lifePoints) std::printf("             %s\n", point.c_str());
            continue;
        }
        if (called.empty() && !Excused(life, Kind::Import))
            report(kLifeNames[life], "makes no call that can fail");
        PlanLife(life, clean, index, kinds, full, seed, plan);
    }
    if (listOnly)
        return;
    const Report result = RunPlan(plan, directory);
    std::set<int> functions, actions;
    int notMet = 0, actionRuns = 0;
    std::map<int, std::map<int, int>> runsPerKind;
    for (size_t i = 0; i < plan.size(); ++i) {
        ++runsPerKind[plan[i].life][KindIndex(plan[i].kind)];
        if (plan[i].kind == Kind::Import)
            functions.insert(plan[i].row);
        if (plan[i].kind == Kind::Action) {
            ++actionRuns;
            actions.insert(plan[i].action);
            if (result.fired.count(i) == 0) {
                ++notMet;
                std::printf("[ not met  ] %s\n", Describe(plan[i]).c_str());
            }
        }
        for (const std::string& v : result.violations.count(i) ? result.violations.at(i) : std::vector<std::string>())
            report(Describe(plan[i]), v);
    }
    for (int life : lives) {
        std::string line;
        for (int k = 0; k < kDisturbances; ++k) {
            const int runs = runsPerKind[life][k];
            line += (k == 0 ? " " : ", ") + std::to_string(runs) + " " + kKindNames[k];
            if (runs == 0 && kinds[k] && !Excused(life, static_cast<Kind>(k + static_cast<int>(Kind::Action))))
                report(kLifeNames[life], std::string("no run of ") + kKindNames[k]);
        }
        std::printf("[ runs     ] %s:%s\n", kLifeNames[life], line.c_str());
    }
    const int faultRuns = static_cast<int>(plan.size()) - actionRuns;
    if (kinds[0])
        std::printf(
            "life-cycle exploration: %d runs over %d interaction points and %d host actions, %d invariant "
            "violations\n",
            actionRuns, points, static_cast<int>(actions.size()), violations);
    if (kinds[1])
        std::printf("fault sweep: %d runs over %d functions in %d lives, %d violations\n", faultRuns,
                    static_cast<int>(functions.size()), static_cast<int>(lives.size()), violations);
    std::printf("[ figures  ] %s mode, %lu ms, seed %u, %d runs, %d actions not met at their point\n",
                full[0] || full[1] ? "full" : "default", static_cast<unsigned long>(GetTickCount() - started), seed,
                static_cast<int>(plan.size()), notMet);
    EXPECT_EQ(violations, 0);
    EXPECT_FALSE(plan.empty()) << "an engine that runs nothing tests nothing";
    // A point met in the recording but not again is one the platform does not
    // always send (activation messages around the failure box): a run
    // without its action. Many of them would leave the exploration hollow.
    EXPECT_LE(notMet * 20, actionRuns) << "more than one run in 20 did not meet its point";
}

}  // namespace
