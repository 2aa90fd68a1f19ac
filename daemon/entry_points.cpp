// The three exports the host calls: STARTUP once after loading, DAEMON
// periodically, CLOSEDOWN once before unloading. All run on the host's
// user-interface thread; arguments on the stack, removed by the caller.

#include <windows.h>

#include <cstring>

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

// The host's base directory with a trailing "\". A null or empty answer stays
// empty rather than becoming a lone "\" (the root of the drive), so the
// configuration file is then looked for in the current directory.
std::wstring QueryBaseDirectory(const HostRecord& host) {
    const auto* text = reinterpret_cast<const char*>(static_cast<intptr_t>(host.QueryValue(kQueryBaseDirectory)));
    if (text == nullptr || *text == '\0') {
        return std::wstring();
    }
    std::wstring directory = AnsiToUtf16(text);
    if (!directory.empty() && directory.back() != L'\\') {
        directory += L'\\';
    }
    return directory;
}

// Ends the run and stops the worker, and removes the hook unless the daemon
// is started again at once (STARTUP without CLOSEDOWN keeps its one hook):
// the worker's waits end at once, and its thread is waited for (bounded,
// answering its messages meanwhile), so that normally no thread of the daemon
// is left when this returns and the host may unload the library right away.
// A worker that could not be waited for begins nothing more and holds its own
// reference to the library until it is gone. The handles are taken out of the
// state before the wait: an export the host calls from inside a message
// answered meanwhile finds the worker stopped already, and nothing it starts
// is waited on here.
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

// One start. Returns 1 when the daemon runs, 0 when it refused; when an
// export was called from inside one of its host calls, the outcome of that
// call stands and this one only reports whether the daemon now runs.
int32_t StartDaemon(const HostRecord* record) {
    const unsigned mark = EntryMark();
    // A host that starts the daemon again without closing it down first gets
    // the earlier start's worker stopped for it; the hook stays: one hook,
    // one worker.
    if (IsStarted()) {
        StopDaemon(Hook::Keep);
        if (EnteredSince(mark)) {
            return IsStarted() ? 1 : 0;
        }
    }
    std::memcpy(&g_daemon.host, record, sizeof(HostRecord));
    const HostRecord& host = g_daemon.host;

    if (!IsSupportedHostVersion(host.majorVersion, host.minorVersion)) {
        // A refused start leaves no hook, not even the one an earlier start
        // kept for it.
        StopDaemon();
        WriteHostLog(host, kLogLevelOutcome, kLogVersionError);
        return 0;
    }
    g_daemon.newHost = IsNewHostVersion(host.majorVersion, host.minorVersion);
    const WorkerRun run = BeginWorkerRun();  // clears the slots and the menu handle
    g_daemon.baseDirectory = QueryBaseDirectory(host);
    if (EnteredSince(mark)) {
        return IsStarted() ? 1 : 0;
    }
    g_daemon.mainWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(host.QueryValue(kQueryMainWindow)));
    if (EnteredSince(mark)) {
        return IsStarted() ? 1 : 0;
    }
    LoadSettings();
    // A thread hook without a module handle: it sees only the host's
    // user-interface thread, the one calling STARTUP.
    if (g_daemon.hook == nullptr) {
        g_daemon.hook = SetWindowsHookExW(WH_MSGFILTER, &MessageFilterProc, nullptr, GetCurrentThreadId());
    }
    // Without an event the worker's waits are plain sleeps, still ended by
    // the run check after each.
    g_daemon.stopWorker = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_daemon.worker = StartStartupWorker(run, g_daemon.stopWorker, &g_daemon.workerId);

    WriteHostLog(host, kLogLevelOutcome, kLogLoaded);
    return IsStarted() ? 1 : 0;
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
// hook nor worker behind.
extern "C" int32_t __cdecl STARTUP(const HostRecord* record) {
    EnterExport();
    const HostThreadFrame frame;
    try {
        return StartDaemon(record);
    } catch (...) {
        StopDaemon();
        LogOutOfMemory(*record);
        return 0;
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
