// The fault sweep: every function orbwick.dll imports that can fail is made
// to fail, at its k-th call and at every call, inside several lives of the
// daemon in the test host, and after each run the host checks what it may
// rely on. The failures come through the DLL's import address table (only
// the DLL's own calls, and those of the C++ runtime linked into it, reach the
// failing replacement), so nothing of the sweep ships.
//
// Each life runs once clean, counting the calls of each function in its
// phase under test; then once per (function, k) for k = 1 .. min(count, 8),
// and once with every call failing. Runs execute in child processes (this
// program run again with --fault-sweep-child), a batch per child, each run's
// start and end written to a report file: a crash, abort() or hang ends only
// the child, is charged to the run in progress, and the next child goes on
// with the next run. ORBWICK_FAULTS=full runs every run; the default runs a
// seeded share, a new seed each time unless ORBWICK_FAULTS_SEED=<seed>
// replays one.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "daemon_session.h"
#include "import_patch.h"
#include "menu_reader.h"
#include "message_box_closer.h"

namespace {

// ---------------------------------------------------------------------------
// Failing replacements

constexpr long kEveryCall = -1;
constexpr int kMaxRows = 80;
std::atomic<bool> g_armed{false};  // the phase under test runs: calls are counted
std::atomic<int> g_target{-1};     // the row whose calls fail
std::atomic<long> g_failAt{0};     // the call of it that fails, or kEveryCall
std::atomic<long> g_calls[kMaxRows];
std::atomic<bool> g_struck{false};  // a call of the row failed in this run

bool Strikes(int row) {
    if (!g_armed.load()) {
        return false;
    }
    const long call = ++g_calls[row];
    const long at = g_failAt.load();
    const bool strikes = row == g_target.load() && (at == kEveryCall || at == call);
    if (strikes) {
        g_struck = true;
    }
    return strikes;
}

struct Swept {
    std::string name;
    const void* replacement;
};
std::vector<Swept> g_swept;

// One set per function: its row, the function itself (the test program's own
// import of it, the same function the DLL's table held) and its failure.
template <int Key>
int g_row;
template <int Key>
void* g_original;
template <int Key, typename R>
R g_failure;
template <int Key>
DWORD g_error;
template <int Key>
bool g_callsFirst;  // a release: does its work, then reports the failure

template <int Key, typename R, typename... A>
R WINAPI FailingStdcall(A... args) {
    const auto original = reinterpret_cast<R(WINAPI*)(A...)>(g_original<Key>);
    if (Strikes(g_row<Key>)) {
        if (g_callsFirst<Key>) {
            original(args...);
        }
        SetLastError(g_error<Key>);
        return g_failure<Key, R>;
    }
    return original(args...);
}

// The C run-time's functions report through errno as well.
template <int Key, typename R, typename... A>
R __cdecl FailingCdecl(A... args) {
    if (Strikes(g_row<Key>)) {
        errno = ENOMEM;
        SetLastError(g_error<Key>);
        return g_failure<Key, R>;
    }
    return reinterpret_cast<R(__cdecl*)(A...)>(g_original<Key>)(args...);
}

template <typename T>
struct Same {
    using type = T;
};

template <int Key, typename R>
void Register(const char* name, void* original, R failure, DWORD error, bool callsFirst, const void* replacement) {
    g_row<Key> = static_cast<int>(g_swept.size());
    g_callsFirst<Key> = callsFirst;
    g_original<Key> = original;
    g_failure<Key, R> = failure;
    g_error<Key> = error;
    g_swept.push_back({name, replacement});
}

template <int Key, typename R, typename... A>
void Sweep(const char* name, R(WINAPI* original)(A...), typename Same<R>::type failure, DWORD error,
           bool callsFirst = false) {
    Register<Key, R>(name, reinterpret_cast<void*>(original), failure, error, callsFirst,
                     reinterpret_cast<const void*>(&FailingStdcall<Key, R, A...>));
}

template <int Key, typename R, typename... A>
void Sweep(const char* name, R(__cdecl* original)(A...), typename Same<R>::type failure, DWORD error) {
    Register<Key, R>(name, reinterpret_cast<void*>(original), failure, error, false,
                     reinterpret_cast<const void*>(&FailingCdecl<Key, R, A...>));
}

#define SWEEP(function, failure, error) Sweep<__COUNTER__>(#function, &::function, failure, error)
// A release that does its work and still reports a failure.
#define SWEEP_RELEASE(function, failure, error) Sweep<__COUNTER__>(#function, &::function, failure, error, true)

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
    SWEEP(RemoveMenu, FALSE, ERROR_ACCESS_DENIED);       // a menu of the host's it may not change
    SWEEP(SendDlgItemMessageW, 0, ERROR_ACCESS_DENIED);  // blocked, as UIPI does
    SWEEP(SendMessageW, 0, ERROR_ACCESS_DENIED);
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
// The lives

enum class Life { Start, Commands, Saves, Restart, Closedown, kCount };
constexpr int kLives = static_cast<int>(Life::kCount);
const char* const kLifeNames[kLives] = {
    "start and first pass", "commands (a toggle, Hide all, Show all) after the host restarted module E",
    "saves (merged, then refused by the host)", "restart (CLOSEDOWN, FreeLibrary, LoadLibrary, STARTUP)",
    "CLOSEDOWN while the worker polls, then unload"};

// The test's norvale.ini; every module and the core window have windows.
const char kEnabled[] = "SPEDB";
const char kHidden[] = "P";
constexpr DWORD kFirstPassBoundMs = 5000;  // STARTUP to the end of the worker, all modules present
constexpr DWORD kUnloadBoundMs = 1000;
constexpr DWORD kQuietMs = 150;  // longer than the worker's first wait
const char kLoadedLine[] = "Orbwick daemon loaded successfully";
const char kWaitingPrefix[] = "Orbwick: waiting for ";
const char kRefusedPrefix[] = "Orbwick daemon could not load";
const char kNotReadLine[] = "Orbwick: norvale.ini could not be read";
const char kCommandRefusedLine[] = "Orbwick: command not carried out (out of memory)";

// Whether one of the lines from `from` on is `line` (or, with prefix, starts with it).
bool Said(const std::vector<std::string>& lines, size_t from, const std::string& line, bool prefix = false) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (prefix ? lines[i].rfind(line, 0) == 0 : lines[i] == line) {
            return true;
        }
    }
    return false;
}

// A file's bytes as one line of text.
std::string Escaped(const std::string& bytes) {
    std::string text;
    for (char c : bytes) {
        text += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return text;
}

// The function whose calls fail in this run, "" in a clean run.
std::string StruckName() { return g_target.load() >= 0 ? g_swept[static_cast<size_t>(g_target.load())].name : ""; }

bool Enabled(int module) { return std::string(kEnabled).find(hostmodel::ModuleLetter(module)) != std::string::npos; }

// The menus of the frame's menu bar with their popups, and which MDI
// children are visible.
std::string HostSnapshot(const fixture::DaemonSession& s) {
    std::string text;
    HMENU bar = GetMenu(s.frame.frame());
    for (int m = 0; m < GetMenuItemCount(bar); ++m) {
        HMENU menu = GetSubMenu(bar, m);
        text += fixture::Describe(fixture::ReadMenu(menu));
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            if (GetSubMenu(menu, i) != nullptr) {
                text += fixture::Describe(fixture::ReadMenu(GetSubMenu(menu, i)));
            }
        }
    }
    for (HWND w = GetWindow(s.frame.client(), GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        text += IsWindowVisible(w) ? 'v' : 'h';
    }
    return text;
}

// One run of a life: the host, its frame and the daemon as the host holds
// it, with the swept functions replaced in the DLL while it is loaded.
class SweepRun {
public:
    explicit SweepRun(Life life);
    void Execute();

    std::vector<std::string> violations;
    bool processSpoiled = false;  // the library or a thread of it is left: the next run needs a new process

private:
    void Load();
    void Unload();
    void Startup(bool settle = true);
    void Closedown();
    void Command(unsigned command);
    void RestartModule(int module);
    bool Save();
    void CheckAnswer(int32_t answer, size_t linesBefore, bool struckInStartup);
    void Teardown();
    void Violation(const std::string& what) { violations.push_back(what); }

    const Life life_;
    fixture::DaemonSession s_{kEnabled, kHidden};
    fixture::MessageBoxCloser boxes_;
    HWND slots_[fixture::kModules] = {};
    std::vector<std::unique_ptr<fixture::ImportPatch>> patches_;
    const int threadsBefore_ = fixture::ThreadCount();
    bool running_ = false;  // STARTUP answered 1, no CLOSEDOWN since, and the daemon did not say it cannot run
    std::set<int> operatorHid_;
    bool configNotRead_ = false;  // the log said norvale.ini could not be read
    bool closed_ = false;         // CLOSEDOWN returned since the latest load
    size_t callsAtClosedown_ = 0;
    std::string snapshotAtClosedown_;
};

SweepRun::SweepRun(Life life) : life_(life) {
    for (int i = 0; i < fixture::kModules; ++i) {
        slots_[i] = s_.AddModule(i);
        if (std::string(kHidden).find(hostmodel::ModuleLetter(i)) != std::string::npos) {
            operatorHid_.insert(i);
        }
    }
    s_.AddCore();
    if (life_ == Life::Closedown) {
        s_.host.SetModuleState('D', kModuleAbsent);  // the worker polls until CLOSEDOWN
    }
}

void SweepRun::Load() {
    s_.library().emplace(s_.libraryName);
    closed_ = false;
    for (const Swept& row : g_swept) {
        auto patch = std::make_unique<fixture::ImportPatch>(s_.library()->module(), row.name.c_str(), row.replacement);
        if (patch->applied()) {
            patches_.push_back(std::move(patch));
        }
    }
}

// The host's FreeLibrary: the replacements go first, while the library is
// surely mapped. Its last reference must be gone within the bound.
void SweepRun::Unload() {
    patches_.clear();
    s_.library().reset();
    if (!hostmodel::PumpUntil([] { return !fixture::LibraryLoaded(); }, kUnloadBoundMs)) {
        Violation("orbwick.dll still mapped 1 s after the host's last FreeLibrary");
        processSpoiled = true;
    }
}

bool ConfigOpensExclusively(const fixture::DaemonSession& s) {
    HANDLE file = CreateFileA((s.directory().Path() + "norvale.ini").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// A start taken at its word: after 0 the host unloads the library without
// CLOSEDOWN, and nothing of the daemon may remain or begin; after 1 the
// daemon runs once its worker has ended (a new Display control), or the
// log says why it cannot.
void SweepRun::Startup(bool settle) {
    const HMENU earlierMenu = s_.DisplayMenu();
    const size_t linesBefore = s_.host.LogLines(kLogLevelOutcome).size();
    const std::string before = HostSnapshot(s_);
    g_struck = false;
    const int32_t answer = s_.library()->Startup(s_.host.MakeRecord(fixture::kOldHost.major, fixture::kOldHost.minor));
    CheckAnswer(answer, linesBefore, g_struck.load());
    if (!ConfigOpensExclusively(s_)) {
        Violation("norvale.ini cannot be opened for writing after STARTUP");
    }
    if ((answer & 0xFF) == 0) {
        Unload();
        const size_t calls = s_.host.Calls().size();
        hostmodel::PumpFor(kQuietMs);
        const bool shown = IsWindowVisible(slots_[0]) != FALSE;
        hostmodel::SendMenuCommand(s_.frame.frame(), 1000);
        if (HostSnapshot(s_) != before || (IsWindowVisible(slots_[0]) != FALSE) != shown) {
            Violation("STARTUP answered 0, but the daemon changed the host's menus or windows");
        }
        if (s_.host.Calls().size() != calls) {
            Violation("STARTUP answered 0, but the daemon called the host afterwards");
        }
        return;
    }
    running_ = true;
    if (!settle) {
        return;
    }
    if (!hostmodel::PumpUntil([this] { return fixture::ThreadCount() <= threadsBefore_; }, kFirstPassBoundMs)) {
        Violation("STARTUP answered 1, but its worker still ran 5 s later (all modules present)");
        return;
    }
    if (s_.DisplayMenu() != nullptr && s_.DisplayMenu() != earlierMenu) {
        for (int i = 0; i < fixture::kModules; ++i) {
            if (!Enabled(i) && fixture::CheckMark(s_.DisplayMenu(), 1000u + i).has_value()) {
                Violation(std::string("Display control has an item for module ") + hostmodel::ModuleLetter(i) +
                          ", which norvale.ini does not enable");
            }
        }
        return;
    }
    const auto lines = s_.host.LogLines(kLogLevelOutcome);
    for (size_t i = linesBefore; i < lines.size(); ++i) {
        if (lines[i] != kLoadedLine && lines[i].rfind(kWaitingPrefix, 0) != 0) {
            running_ = false;  // it said why: not running, and no save is tried
            return;
        }
    }
    Violation("STARTUP answered 1, but no Display control came and no line says why");
    running_ = false;
}

// STARTUP's answer is exactly whether the daemon runs: 0 with the line that
// says why it could not load, 1 without one. A start that could not read all
// of norvale.ini (a file call or a conversion of the reader's failed) says
// so, and its saves are refused.
void SweepRun::CheckAnswer(int32_t answer, size_t linesBefore, bool struckInStartup) {
    const auto lines = s_.host.LogLines(kLogLevelOutcome);
    const bool refused = Said(lines, linesBefore, kRefusedPrefix, true);
    if ((answer & 0xFF) == 1 && refused) {
        Violation("STARTUP answered 1, but the log says the daemon could not load");
    }
    if ((answer & 0xFF) == 0 && !refused) {
        Violation("STARTUP answered 0, but no line says why the daemon could not load");
    }
    configNotRead_ = Said(lines, linesBefore, kNotReadLine);
    const std::string struck = StruckName();
    // The refusals whose cause the failed call names.
    const std::pair<const char*, const char*> causes[] = {
        {"SetWindowsHookExW", "Orbwick daemon could not load (message hook not installed)"},
        {"CreateThread", "Orbwick daemon could not load (start-up worker not started)"}};
    for (const auto& [function, line] : causes) {
        if ((answer & 0xFF) == 0 && struckInStartup && struck == function && !Said(lines, linesBefore, line)) {
            Violation(std::string("STARTUP refused without the line \"") + line + "\"");
        }
    }
    const bool readerFailed = struckInStartup && (struck == "ReadFile" || struck == "CreateFileA" ||
                                                  struck == "CreateFileW" || struck == "MultiByteToWideChar");
    if ((answer & 0xFF) == 1 && readerFailed && !configNotRead_) {
        Violation("a call reading norvale.ini failed in STARTUP, but the log does not say it could not be read");
    }
}

void SweepRun::Closedown() {
    s_.library()->Closedown();
    running_ = false;
    closed_ = true;
    callsAtClosedown_ = s_.host.Calls().size();
    snapshotAtClosedown_ = HostSnapshot(s_);
}

void SweepRun::Command(unsigned command) {
    const int module = static_cast<int>(command) - 1000;
    if (module >= 0 && module < fixture::kModules && IsWindowVisible(slots_[module])) {
        operatorHid_.insert(module);
    } else if (command == 1097) {
        for (int i = 0; i < fixture::kModules; ++i) {
            if (Enabled(i)) {
                operatorHid_.insert(i);
            }
        }
    }
    const size_t lines = s_.host.LogLines(kLogLevelOutcome).size();
    const std::string before = HostSnapshot(s_);
    g_struck = false;
    hostmodel::SendMenuCommand(s_.frame.frame(), command);
    const bool refused = Said(s_.host.LogLines(kLogLevelOutcome), lines, kCommandRefusedLine);
    if (refused && HostSnapshot(s_) != before) {
        Violation("a command that was not carried out changed the host's windows or menus");
    }
    const std::string struck = StruckName();
    if (g_struck && (struck == "malloc" || struck == "calloc" || struck == "realloc") && !refused) {
        Violation("a command ran out of memory, but no line says it was not carried out");
    }
}

// The host restarts a module: its MDI child goes, a new one (shown) comes.
void SweepRun::RestartModule(int module) {
    SendMessageW(s_.frame.client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(GetParent(slots_[module])), 0);
    slots_[module] = s_.AddModule(module);
}

// A save merges exactly the lines a clean run would write, "NORVALE<letter>"
// for each module enabled in the test's norvale.ini whose MDI child is
// hidden now, and none the operator never hid; or it is refused. True when
// it merged or wrote a level-15 line.
bool SweepRun::Save() {
    const size_t merges = s_.host.CallsOf(hostmodel::Op::MergeSection).size();
    const size_t lines = s_.host.LogLines(kLogLevelOutcome).size();
    hostmodel::SendMenuCommand(s_.frame.frame(), 1099);
    const auto calls = s_.host.CallsOf(hostmodel::Op::MergeSection);
    for (size_t m = merges; m < calls.size(); ++m) {
        const std::string& bytes = calls[m].fileBytes;
        std::string expected, neverHidden;
        for (int i = 0; i < fixture::kModules; ++i) {
            const std::string name = std::string("NORVALE") + hostmodel::ModuleLetter(i);
            if (Enabled(i) && !IsWindowVisible(GetParent(slots_[i]))) {
                expected += name + "\r\n";
            }
            if (operatorHid_.count(i) == 0 && bytes.find(name + "\r\n") != std::string::npos) {
                neverHidden += " " + name;
            }
        }
        if (bytes != expected) {
            Violation("a save merged \"" + Escaped(bytes) + "\" instead of \"" + Escaped(expected) + "\"");
        }
        if (!neverHidden.empty()) {
            Violation("a save wrote" + neverHidden + " as hidden, which the operator never hid");
        }
        if (configNotRead_) {
            Violation("a save merged although norvale.ini could not be read at start");
        }
    }
    return calls.size() != merges || s_.host.LogLines(kLogLevelOutcome).size() != lines;
}

// CLOSEDOWN (unless the daemon was unloaded already), then nothing of the
// daemon may act; FreeLibrary, and nothing of it may be left.
void SweepRun::Teardown() {
    g_armed = false;
    if (s_.library()) {
        if (!closed_) {
            Closedown();
        }
        hostmodel::PumpFor(kQuietMs);
        if (s_.host.Calls().size() != callsAtClosedown_) {
            Violation("the daemon called the host after CLOSEDOWN had returned");
        }
        if (HostSnapshot(s_) != snapshotAtClosedown_) {
            Violation("the host's menus or windows changed after CLOSEDOWN had returned");
        }
        const bool shown = IsWindowVisible(slots_[0]) != FALSE;
        hostmodel::SendMenuCommand(s_.frame.frame(), 1000);
        if ((IsWindowVisible(slots_[0]) != FALSE) != shown) {
            Violation("a command acted after CLOSEDOWN had returned");
        }
        Unload();
    }
    if (!hostmodel::PumpUntil([this] { return fixture::ThreadCount() <= threadsBefore_; }, kUnloadBoundMs)) {
        Violation("a thread of the daemon was left after CLOSEDOWN and FreeLibrary");
        processSpoiled = true;
    }
    if (fixture::CountPopups(GetMenu(s_.frame.frame()), L"Display control") > 1) {
        Violation("more than one Display control in the menu bar");
    }
    if (!ConfigOpensExclusively(s_)) {
        Violation("norvale.ini cannot be opened for writing at the end");
    }
    SetFileAttributesA("IniUpdate.tmp", FILE_ATTRIBUTE_NORMAL);  // a leftover the daemon could not replace
}

void SweepRun::Execute() {
    Load();
    g_armed = life_ == Life::Start;
    Startup(life_ != Life::Closedown);
    if (life_ == Life::Closedown) {
        hostmodel::PumpFor(kQuietMs);  // the worker waits for module D now
    }
    g_armed = true;
    switch (life_) {
    case Life::Start:
        break;
    case Life::Commands:
        g_armed = false;
        RestartModule(2);
        g_armed = true;
        Command(1000);
        Command(1097);
        Command(1098);
        break;
    case Life::Saves:
        g_armed = false;
        Command(1002);  // the operator hides module E
        // An update file an earlier save left, read-only: it is replaced.
        if (!s_.directory().WriteFile("IniUpdate.tmp", "NORVALEX\r\n") ||
            !SetFileAttributesA("IniUpdate.tmp", FILE_ATTRIBUTE_READONLY)) {
            Violation("the leftover update file could not be made");
        }
        g_armed = true;
        Save();
        s_.host.SetMergeAnswer(0);
        Save();
        s_.host.SetMergeAnswer(1);
        break;
    case Life::Restart:
        if (s_.library()) {
            Closedown();
            Unload();
            Load();
            Startup();
        }
        break;
    case Life::Closedown:
        if (s_.library()) {
            Closedown();
        }
        break;
    case Life::kCount:
        break;
    }
    g_armed = false;
    // A daemon that runs now (its Display control came) saves and toggles,
    // with nothing failing any more.
    if (running_ && s_.library()) {
        if (!Save()) {
            Violation("the daemon runs, but a save neither merged nor said why");
        }
        const bool shown = IsWindowVisible(slots_[0]) != FALSE;
        Command(1000);
        if ((IsWindowVisible(slots_[0]) != FALSE) == shown) {
            Violation("the daemon runs, but a toggle did nothing");
        }
        Command(1000);
    }
    if (fixture::CountPopups(GetMenu(s_.frame.frame()), L"Display control") > 1) {
        Violation("more than one Display control in the menu bar after the phase");
    }
    Teardown();
}

// ---------------------------------------------------------------------------
// The runs and the child processes

struct Planned {
    int life;
    int row;    // -1: the clean run that counts
    long call;  // kEveryCall or 1..
};

const char kChildFlag[] = "--fault-sweep-child=";
constexpr long kEveryK = 8;           // every k up to this, then only k = 12, 16, 24, 32, 48 ...
constexpr DWORD kRunBoundMs = 30000;  // a run without an end after this long hangs

// The calls of a function a life made n of that fail in turn: each of the
// first ones, then more and more sparsely, then every call.
std::vector<long> CallsToFail(long n) {
    std::vector<long> calls;
    for (long k = 1; k <= n; k = k < kEveryK ? k + 1 : k % 3 == 0 ? k / 3 * 4 : k / 2 * 3) {
        calls.push_back(k);
    }
    if (n > 0) {
        calls.push_back(kEveryCall);
    }
    return calls;
}

std::string Describe(const Planned& run) {
    std::string what = std::string(kLifeNames[run.life]) + ", ";
    if (run.row < 0) {
        return what + "clean run";
    }
    return what + g_swept[static_cast<size_t>(run.row)].name + " " +
           (run.call == kEveryCall ? std::string("failing at every call")
                                   : "failing at call " + std::to_string(run.call));
}

// Runs the plan from `first` on, writing "begin i", then "count i row n" and
// "violation i text" lines, then "end i"; stops after a run that left the
// library or a thread behind.
void RunChildBatch(const std::string& directory, size_t first) {
    std::vector<Planned> plan;
    std::ifstream planFile(directory + "plan.txt");
    for (Planned p; planFile >> p.life >> p.row >> p.call;) {
        plan.push_back(p);
    }
    FILE* report = std::fopen((directory + "report.txt").c_str(), "a");
    if (report == nullptr) {
        return;
    }
    for (size_t i = first; i < plan.size(); ++i) {
        std::fprintf(report, "begin %u\n", static_cast<unsigned>(i));
        std::fflush(report);
        for (auto& calls : g_calls) {
            calls = 0;
        }
        g_target = plan[i].row;
        g_failAt = plan[i].call;
        SweepRun run(static_cast<Life>(plan[i].life));
        run.Execute();
        for (int row = 0; plan[i].row < 0 && row < static_cast<int>(g_swept.size()); ++row) {
            std::fprintf(report, "count %u %d %ld\n", static_cast<unsigned>(i), row, g_calls[row].load());
        }
        for (const std::string& v : run.violations) {
            std::fprintf(report, "violation %u %s\n", static_cast<unsigned>(i), Escaped(v).c_str());
        }
        std::fprintf(report, "end %u\n", static_cast<unsigned>(i));
        std::fflush(report);
        if (run.processSpoiled) {
            break;
        }
    }
    std::fclose(report);
}

// What the children reported so far for a plan.
struct Report {
    std::map<size_t, std::vector<std::string>> violations;
    std::map<size_t, std::map<int, long>> counts;
    std::set<size_t> begun, ended;
};

Report ReadReport(const std::string& directory) {
    Report report;
    std::ifstream file(directory + "report.txt");
    for (std::string line; std::getline(file, line);) {
        std::istringstream in(line);
        std::string kind;
        size_t index = 0;
        in >> kind >> index;
        if (kind == "begin") {
            report.begun.insert(index);
        } else if (kind == "end") {
            report.ended.insert(index);
        } else if (kind == "count") {
            int row = 0;
            long n = 0;
            in >> row >> n;
            report.counts[index][row] = n;
        } else if (kind == "violation") {
            std::string text;
            std::getline(in >> std::ws, text);
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
        for (const Planned& p : plan) {
            file << p.life << ' ' << p.row << ' ' << p.call << '\n';
        }
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
        while (now.ended.count(next) != 0) {
            ++next;
        }
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
    for (const auto& [index, what] : deaths) {
        report.violations[index].push_back(what);
    }
    return report;
}

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The default's share of the runs, in percent, each run drawn on its own from
// the seed and its names, so a printed seed replays its selection.
constexpr unsigned kDefaultSharePercent = 15;

bool Drawn(unsigned seed, const std::string& names) {
    uint32_t hash = 2166136261u ^ seed;  // FNV-1a
    for (unsigned char c : names) {
        hash = (hash ^ c) * 16777619u;
    }
    hash ^= hash >> 15;
    hash *= 2246822519u;
    hash ^= hash >> 13;
    return hash % 100 < kDefaultSharePercent;
}

// Every import of the DLL is swept or listed with its reason.
std::vector<std::string> UnsortedImports() {
    std::vector<std::string> unsorted;
    HMODULE dll = LoadLibraryW(hostmodel::DaemonLibraryPath().c_str());
    if (dll == nullptr) {
        return {"orbwick.dll could not be loaded"};
    }
    for (const std::string& import : fixture::ImportedFunctions(dll)) {
        const std::string name = import.substr(import.find('!') + 1);
        bool known = false;
        for (const Swept& row : g_swept) {
            known = known || row.name == name;
        }
        known = known || NotInjected(name);
        if (!known) {
            unsorted.push_back(import + " is neither swept nor listed as not injectable");
        }
    }
    FreeLibrary(dll);
    return unsorted;
}

TEST(FaultSweep, EveryImportFailingInEveryLife) {
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
    const bool full = Setting("ORBWICK_FAULTS") == "full";
    const std::string seedText = Setting("ORBWICK_FAULTS_SEED");
    const unsigned seed = seedText.empty() ? GetTickCount() % 100000 : std::strtoul(seedText.c_str(), nullptr, 10);
    if (!full) {
        std::printf("[ seed     ] %u (ORBWICK_FAULTS_SEED=%u replays this selection)\n", seed, seed);
    }
    const DWORD started = GetTickCount();
    int violations = 0;
    for (const std::string& v : UnsortedImports()) {
        ++violations;
        std::printf("fault sweep violation: %s\n", v.c_str());
    }
    const fixture::TempDirectory directory;
    std::vector<Planned> counting;
    for (int life = 0; life < kLives; ++life) {
        counting.push_back({life, -1, 0});
    }
    const Report counted = RunPlan(counting, directory);
    std::vector<Planned> plan;
    for (int life = 0; life < kLives; ++life) {
        for (const std::string& v :
             counted.violations.count(life) ? counted.violations.at(life) : std::vector<std::string>()) {
            ++violations;
            std::printf("fault sweep violation: %s, clean run: %s\n", kLifeNames[life], v.c_str());
        }
        const auto counts = counted.counts.count(life) ? counted.counts.at(life) : std::map<int, long>();
        std::string called;
        for (const auto& [row, n] : counts) {
            for (long k : CallsToFail(n)) {
                const Planned run{life, row, k};
                if (full || Drawn(seed, Describe(run))) {
                    plan.push_back(run);
                }
            }
            if (n > 0) {
                called += " " + g_swept[static_cast<size_t>(row)].name + "(" + std::to_string(n) + ")";
            }
        }
        std::printf("[ calls    ] %s:%s\n", kLifeNames[life], called.c_str());
        if (called.empty()) {
            ++violations;
            std::printf("fault sweep violation: %s makes no call that can fail\n", kLifeNames[life]);
        }
    }
    const Report report = RunPlan(plan, directory);
    std::set<int> functions;
    for (size_t i = 0; i < plan.size(); ++i) {
        functions.insert(plan[i].row);
        if (report.violations.count(i) == 0) {
            continue;
        }
        for (const std::string& v : report.violations.at(i)) {
            ++violations;
            std::printf("fault sweep violation: %s: %s\n", Describe(plan[i]).c_str(), v.c_str());
        }
    }
    for (int life = 0; life < kLives; ++life) {
        const auto runs = std::count_if(plan.begin(), plan.end(), [&](const Planned& p) { return p.life == life; });
        std::printf("[ life     ] %s: %d runs\n", kLifeNames[life], static_cast<int>(runs));
    }
    std::printf("fault sweep: %d runs over %d functions in %d lives, %d violations\n", static_cast<int>(plan.size()),
                static_cast<int>(functions.size()), kLives, violations);
    std::printf("[ figures  ] %s mode, %lu ms, seed %u, %d clean runs counting the calls\n", full ? "full" : "default",
                static_cast<unsigned long>(GetTickCount() - started), seed, kLives);
    EXPECT_EQ(violations, 0);
    EXPECT_FALSE(plan.empty()) << "a sweep that runs nothing tests nothing";
}

}  // namespace
