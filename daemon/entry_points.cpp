// The three exports the host calls: STARTUP once after loading, DAEMON
// periodically, CLOSEDOWN once before unloading. All run on the host's
// user-interface thread; arguments on the stack, removed by the caller.

#include <windows.h>

#include <cstring>

#include "command_hook.h"
#include "daemon_state.h"
#include "host_version.h"
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

// Removes the hook, ends the run and stops the worker: its waits end at once,
// and the worker's thread is waited for (bounded, answering its messages
// meanwhile), so that normally no thread of the daemon is left when this
// returns and the host may unload the library right away. A worker that could
// not be waited for begins nothing more and holds its own reference to the
// library until it is gone.
void StopDaemon() {
    ++g_daemon.closedowns;
    if (g_daemon.hook != nullptr) {
        UnhookWindowsHookEx(g_daemon.hook);
        g_daemon.hook = nullptr;
    }
    EndWorkerRun();
    if (g_daemon.stopWorker != nullptr) {
        SetEvent(g_daemon.stopWorker);
        CloseHandle(g_daemon.stopWorker);
        g_daemon.stopWorker = nullptr;
    }
    if (g_daemon.worker != nullptr) {
        StopStartupWorker(g_daemon.worker, g_daemon.workerId);
        CloseHandle(g_daemon.worker);
        g_daemon.worker = nullptr;
    }
}

bool IsStarted() { return g_daemon.hook != nullptr || g_daemon.worker != nullptr; }

int32_t StartDaemon(const HostRecord* record) {
    // A host that starts the daemon again without closing it down first gets
    // the earlier start closed for it: one hook, one worker.
    if (IsStarted()) {
        StopDaemon();
    }
    std::memcpy(&g_daemon.host, record, sizeof(HostRecord));
    const HostRecord& host = g_daemon.host;

    if (!IsSupportedHostVersion(host.majorVersion, host.minorVersion)) {
        WriteHostLog(host, kLogLevelOutcome, kLogVersionError);
        return 0;
    }
    g_daemon.newHost = IsNewHostVersion(host.majorVersion, host.minorVersion);
    const WorkerRun run = BeginWorkerRun();  // clears the module slots and the menu handle
    g_daemon.baseDirectory = QueryBaseDirectory(host);
    g_daemon.mainWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(host.QueryValue(kQueryMainWindow)));
    LoadSettings();
    // A thread hook without a module handle: it sees only the host's
    // user-interface thread, the one calling STARTUP.
    g_daemon.hook = SetWindowsHookExW(WH_MSGFILTER, &MessageFilterProc, nullptr, GetCurrentThreadId());
    // Without an event the worker's waits are plain sleeps, still ended by
    // the run check after each.
    g_daemon.stopWorker = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_daemon.worker = StartStartupWorker(run, g_daemon.stopWorker, &g_daemon.workerId);

    WriteHostLog(host, kLogLevelOutcome, kLogLoaded);
    return 1;
}

}  // namespace

// The host is not written in C++: nothing thrown (running out of memory) may
// leave an export. A start that fails that way is refused and leaves neither
// hook nor worker behind.
extern "C" int32_t __cdecl STARTUP(const HostRecord* record) {
    try {
        return StartDaemon(record);
    } catch (...) {
        StopDaemon();
        return 0;
    }
}

extern "C" int32_t __cdecl DAEMON() { return 0; }

extern "C" int32_t __cdecl CLOSEDOWN() {
    StopDaemon();
    return 0;
}
