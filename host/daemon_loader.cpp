#include "daemon_loader.h"

#include <windows.h>

#include "daemon_library.h"
#include "host_log.h"

namespace {

struct LoadedDaemon {
    std::wstring path;
    HMODULE module = nullptr;
    hostmodel::DaemonExports exports;
};

std::vector<LoadedDaemon> g_daemons;

void LogDaemon(int32_t level, const LoadedDaemon& daemon, const std::wstring& what) {
    LogLine(level, L"Daemon " + daemon.path + L": " + what);
}

void Unload(LoadedDaemon& daemon) {
    if (FreeLibrary(daemon.module)) {
        LogDaemon(kHostLevelInfo, daemon, L"unloaded (FreeLibrary)");
    } else {
        LogDaemon(kHostLevelError, daemon, L"FreeLibrary failed, error " + std::to_wstring(GetLastError()));
    }
    daemon.module = nullptr;
}

bool LoadOne(LoadedDaemon& daemon, const HostRecord& record) {
    daemon.module = LoadLibraryW(daemon.path.c_str());
    if (daemon.module == nullptr) {
        LogDaemon(kHostLevelError, daemon, L"cannot be loaded, error " + std::to_wstring(GetLastError()));
        return false;
    }
    if (!hostmodel::BindDaemonExports(daemon.module, daemon.exports)) {
        LogDaemon(kHostLevelError, daemon, L"lacks STARTUP, DAEMON or CLOSEDOWN");
        Unload(daemon);
        return false;
    }
    const int32_t result = daemon.exports.startup(&record);
    if ((result & 0xFF) == 0) {
        LogDaemon(kHostLevelError, daemon, L"STARTUP refused to run");
        daemon.exports.closedown();
        Unload(daemon);
        return false;
    }
    LogDaemon(kHostLevelInfo, daemon, L"STARTUP succeeded");
    return true;
}

}  // namespace

int LoadDaemons(const std::vector<std::wstring>& paths, const HostRecord& record) {
    for (const std::wstring& path : paths) {
        LoadedDaemon daemon;
        daemon.path = path;
        if (LoadOne(daemon, record)) {
            g_daemons.push_back(daemon);
        }
    }
    return static_cast<int>(g_daemons.size());
}

void RunDaemons() {
    for (const LoadedDaemon& daemon : g_daemons) {
        daemon.exports.daemon();
    }
}

void UnloadDaemons() {
    while (!g_daemons.empty()) {
        LoadedDaemon& daemon = g_daemons.back();
        const int32_t result = daemon.exports.closedown();
        LogDaemon(kHostLevelInfo, daemon, L"CLOSEDOWN returned " + std::to_wstring(result));
        Unload(daemon);
        g_daemons.pop_back();
    }
}
