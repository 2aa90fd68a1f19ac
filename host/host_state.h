// The host's state: one struct, owned by the user-interface thread, except
// where a field says otherwise. Everything a daemon can reach of the host goes
// through here.
#pragma once

#include <windows.h>

#include <string>

#include "host_modules.h"
#include "host_options.h"

struct HostState {
    HostOptions options;
    std::wstring exeDir;       // directory of norvhost.exe, ending in "\"
    std::wstring baseDir;      // base directory, ending in "\"
    std::string baseDirAnsi;   // the same in the default code page, for QueryValue 8
    std::string modulesToRun;  // letters of the modules that start (now or late)
    HWND frame = nullptr;
    HWND client = nullptr;
    HWND messagesList = nullptr;  // the list box of "System Messages"
    HWND statisticsText = nullptr;
    // Module windows, by module index (the MDI children; set when the module
    // has started); the core window has its own field.
    HWND moduleChild[hostmodel::kHostModuleCount] = {};
    HWND coreChild = nullptr;
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
constexpr UINT IDM_RELOAD_CONFIG = hostmodel::kReloadConfigCommand;
constexpr UINT IDM_EXIT = 100;
constexpr UINT IDM_ABOUT = 101;
constexpr UINT IDM_CASCADE = 110;
constexpr UINT IDM_TILE = 111;
constexpr UINT IDM_ARRANGE = 112;
// The viewer commands (in the "Window" menu with --window-menu): activate the
// next MDI child, open and close an extra "NVLMDICHILD" message viewer.
constexpr UINT IDM_NEXT_WINDOW = 113;
constexpr UINT IDM_NEW_VIEWER = 114;
constexpr UINT IDM_CLOSE_VIEWER = 115;
