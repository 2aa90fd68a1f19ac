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

// Ends the run and lets go of the worker's thread handle and the hook. The
// worker is told to stop but not waited for: it may itself be waiting for
// this thread to answer a message. It holds its own reference to the library,
// so the host may unload it right after this returns.
void StopDaemon() {
    EndWorkerRun();
    if (g_daemon.worker != nullptr) {
        CloseHandle(g_daemon.worker);
        g_daemon.worker = nullptr;
    }
    UnhookWindowsHookEx(g_daemon.hook);
    g_daemon.hook = nullptr;
}

int32_t StartDaemon(const HostRecord* record) {
    g_daemon.hook = nullptr;
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
    g_daemon.worker = StartStartupWorker(run);

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
