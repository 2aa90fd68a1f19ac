// The three exports the host calls: STARTUP once after loading, DAEMON
// periodically, CLOSEDOWN once before unloading. All run on the host's
// user-interface thread; arguments on the stack, removed by the caller.

#include <windows.h>

#include <cstring>
#include <iterator>
#include <new>

#include "command_hook.h"
#include "daemon_state.h"
#include "host_version.h"
#include "library_hold.h"
#include "norvlib.h"
#include "settings.h"
#include "startup_worker.h"
#include "sysutils_mini.h"
#include "texts.h"

namespace {

// What a start takes from the host: its record and the two values STARTUP
// asks it for. A start asks the host into a HostAnswers of its own and
// commits it to the daemon's state in one step after its last host call
// (CommitStart), so a STARTUP the host makes from inside one of these calls
// is never overwritten by the answers the outer start received.
struct HostAnswers {
    HostRecord record;
    std::wstring baseDirectory;  // ends in "\" unless the host gave none
    HWND mainWindow = nullptr;
};

// The host's base directory with a trailing "\". A null or empty answer stays
// empty rather than becoming a lone "\" (the root of the drive), so the
// configuration file is then looked for in the current directory. A directory
// that cannot be converted refuses the start as running out of memory does:
// the file of another directory is never read in its place.
std::wstring QueryBaseDirectory(const HostRecord& host) {
    const auto* text = reinterpret_cast<const char*>(static_cast<intptr_t>(host.QueryValue(kQueryBaseDirectory)));
    if (text == nullptr || *text == '\0') {
        return std::wstring();
    }
    std::wstring directory;
    if (!AppendAnsiAsUtf16(directory, text)) {
        throw std::bad_alloc();
    }
    if (!directory.empty() && directory.back() != L'\\') {
        directory += L'\\';
    }
    return directory;
}

// The platform puts "?" for each character of the folder's name that the
// 8-bit text the host hands over cannot hold; no file name has one. The
// extended-length prefix "\\?\" is the one place a "?" belongs.
bool HasUnmappedCharacters(const std::wstring& directory) {
    constexpr wchar_t kExtendedLengthPrefix[] = L"\\\\?\\";
    const size_t from = directory.rfind(kExtendedLengthPrefix, 0) == 0 ? std::size(kExtendedLengthPrefix) - 1 : 0;
    return directory.find(L'?', from) != std::wstring::npos;
}

enum class Hook { Remove, Keep };

void StopDaemon(Hook hookAction = Hook::Remove) {
    HHOOK hook = hookAction == Hook::Remove ? g_daemon.hook : nullptr;
    HANDLE stopWorker = g_daemon.stopWorker;
    HANDLE worker = g_daemon.worker;
    const DWORD workerId = g_daemon.workerId;
    g_daemon.stopWorker = nullptr;
    g_daemon.worker = nullptr;
    if (hook != nullptr) {
        g_daemon.hook = nullptr;
        UnhookWindowsHookEx(hook);
    }
    EndWorkerRun();
    if (stopWorker != nullptr) {
        SetEvent(stopWorker);
        CloseHandle(stopWorker);
    }
    if (worker != nullptr) {
        StopStartupWorker(worker, workerId);
        CloseHandle(worker);
    }
}

bool IsStarted() { return g_daemon.hook != nullptr || g_daemon.worker != nullptr; }

// Notes the call of an export. Called from inside the daemon's own code on
// the host's thread (the hook, STARTUP's host calls, CLOSEDOWN's wait), the
// host may unload the library before that code has returned: it is kept
// mapped until then.
void EnterExport() {
    ++g_daemon.entries;
    if (DaemonCodeOnHostStack()) {
        HoldLibraryWhileOnStack();
    }
}

// A STARTUP or CLOSEDOWN called from inside an earlier one (from a host call
// of STARTUP's, or a message answered while a stop waits) has the last word:
// the earlier one then changes nothing more.
bool EnteredSince(unsigned mark) { return EntryMark() != mark; }

// What a start answers the host: 1 when the daemon runs now, 0 when it does
// not, whatever this start itself did. The host may have called STARTUP or
// CLOSEDOWN from inside one of its host calls, its log line included, and a
// host that takes 0 at its word unloads the library without CLOSEDOWN.
int32_t RunningAnswer() { return IsStarted() ? 1 : 0; }

// Makes a start's answers the daemon's state and begins its worker's run
// (clearing the slots and the menu handle). Calls nothing of the host's.
WorkerRun CommitStart(HostAnswers&& answers) {
    std::memcpy(&g_daemon.host, &answers.record, sizeof(HostRecord));
    g_daemon.newHost = IsNewHostVersion(answers.record.majorVersion, answers.record.minorVersion);
    g_daemon.baseDirectory = std::move(answers.baseDirectory);
    g_daemon.mainWindow = answers.mainWindow;
    return BeginWorkerRun();
}

// Every host call a start makes before it commits, and nothing else: this
// writes no state of the daemon's, whatever the host does inside the calls,
// and asks nothing more once the host has called an export from inside one.
// True when every question was answered without such a call.
bool AskHost(HostAnswers& answers, unsigned mark) {
    answers.baseDirectory = QueryBaseDirectory(answers.record);
    if (EnteredSince(mark)) {
        return false;
    }
    answers.mainWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(answers.record.QueryValue(kQueryMainWindow)));
    return !EnteredSince(mark);
}

// A start that could not make what the daemon needs (the hook, the worker)
// leaves nothing behind and says which; the answer is then 0, unless the
// host started the daemon again from inside the log line.
int32_t RefuseStart(const wchar_t* line) {
    StopDaemon();
    WriteHostLog(g_daemon.host, kLogLevelOutcome, line);
    return RunningAnswer();
}

// One start, begun when the count of export calls stood at mark. When an
// export was called from inside one of its host calls (or the wait for an
// earlier start's worker), the outcome of that call stands: this start then
// changes nothing more and only answers whether the daemon runs.
int32_t StartDaemon(const HostRecord* record, unsigned mark) {
    HostAnswers answers;
    std::memcpy(&answers.record, record, sizeof(HostRecord));
    if (!IsSupportedHostVersion(answers.record.majorVersion, answers.record.minorVersion)) {
        // A refused start leaves no hook, not even the one an earlier start
        // kept for it.
        StopDaemon();
        if (!EnteredSince(mark)) {
            WriteHostLog(answers.record, kLogLevelOutcome, kLogVersionError);
        }
        return RunningAnswer();
    }
    // A host that starts the daemon again without closing it down first gets
    // the earlier start's worker stopped for it; the hook stays: one hook,
    // one worker.
    if (IsStarted()) {
        StopDaemon(Hook::Keep);
    }
    // The check before the commit: nothing between the two calls the host.
    if (EnteredSince(mark) || !AskHost(answers, mark)) {
        return RunningAnswer();
    }
    const WorkerRun run = CommitStart(std::move(answers));
    LoadSettings();
    // A thread hook without a module handle: it sees only the host's
    // user-interface thread, the one calling STARTUP.
    if (g_daemon.hook == nullptr) {
        g_daemon.hook = SetWindowsHookExW(WH_MSGFILTER, &MessageFilterProc, nullptr, GetCurrentThreadId());
    }
    if (g_daemon.hook == nullptr) {
        return RefuseStart(kLogNoHook);
    }
    g_daemon.stopWorker = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_daemon.worker = StartStartupWorker(run, g_daemon.stopWorker, &g_daemon.workerId);
    if (g_daemon.worker == nullptr) {
        return RefuseStart(kLogNoWorker);
    }

    WriteHostLog(g_daemon.host, kLogLevelOutcome, kLogLoaded);
    if (!g_daemon.settingsRead && !EnteredSince(mark)) {
        WriteHostLog(g_daemon.host, kLogLevelOutcome, kLogConfigNotRead);
        if (HasUnmappedCharacters(g_daemon.baseDirectory) && !EnteredSince(mark)) {
            WriteHostLog(g_daemon.host, kLogLevelOutcome, kLogBaseDirectoryNotInCodePage);
        }
    }
    return RunningAnswer();
}

// Written through the host's own record, valid while STARTUP runs. Turning
// the line into 8-bit text needs a little memory too; when even that fails
// the start is refused without a line.
void LogOutOfMemory(const HostRecord& record) {
    try {
        WriteHostLog(record, kLogLevelOutcome, kLogOutOfMemory);
    } catch (...) {
    }
}

}  // namespace

// The host is not written in C++: nothing thrown (running out of memory) may
// leave an export. A start that fails that way is refused and leaves neither
// hook nor worker behind, unless the host called an export from inside it:
// the outcome of that call stands, and is what the answer reports.
extern "C" int32_t __cdecl STARTUP(const HostRecord* record) {
    EnterExport();
    const unsigned mark = EntryMark();
    const HostThreadFrame frame;
    try {
        return StartDaemon(record, mark);
    } catch (...) {
        if (!EnteredSince(mark)) {
            StopDaemon();
        }
        if (!EnteredSince(mark)) {
            LogOutOfMemory(*record);
        }
        return RunningAnswer();
    }
}

extern "C" int32_t __cdecl DAEMON() { return 0; }

// A STARTUP the host calls while this waits for the worker starts a daemon
// of its own; it is stopped too before CLOSEDOWN returns, so none is left.
extern "C" int32_t __cdecl CLOSEDOWN() {
    EnterExport();
    const HostThreadFrame frame;
    do {
        StopDaemon();
    } while (IsStarted());
    return 0;
}
