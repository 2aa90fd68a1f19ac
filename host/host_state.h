// The host's state: one struct, owned by the user-interface thread, except
// where a field says otherwise. Everything a daemon can reach of the host goes
// through here.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "host_options.h"

constexpr int kModuleCount = 11;

struct HostState {
    HostOptions options;
    std::wstring exeDir;          // directory of norvhost.exe, ending in "\"
    std::wstring baseDir;         // base directory, ending in "\"
    std::string baseDirAnsi;      // the same in the default code page, for QueryValue 8
    std::string modulesToRun;     // letters of the modules that start (now or late)
    HWND frame = nullptr;
    HWND client = nullptr;
    HWND messagesList = nullptr;  // the list box of "System Messages"
    HWND statisticsText = nullptr;
    // Module windows, by module index; the core window has its own field.
    HWND moduleChild[kModuleCount] = {};
    HWND coreChild = nullptr;
    // Whether each module has started; read by ModuleState on any thread.
    std::atomic<bool> moduleStarted[kModuleCount] = {};
    DWORD startTick = 0;
};

HostState& Host();

// Messages the frame posts to itself.
constexpr UINT WM_HOST_LOG_PENDING = WM_APP + 1;  // log lines wait for "System Messages"

// Timers of the frame.
constexpr UINT_PTR kTimerDaemon = 1;
constexpr UINT_PTR kTimerScript = 2;
constexpr UINT kDaemonIntervalMs = 500;
constexpr UINT kScriptIntervalMs = 20;

// Commands of the host's own menus.
constexpr UINT IDM_RELOAD_CONFIG = 499;
constexpr UINT IDM_EXIT = 100;
constexpr UINT IDM_ABOUT = 101;
constexpr UINT IDM_CASCADE = 110;
constexpr UINT IDM_TILE = 111;
constexpr UINT IDM_ARRANGE = 112;
