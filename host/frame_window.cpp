#include "frame_window.h"

#include <optional>
#include <string>
#include <vector>

#include "config_file.h"
#include "daemon_loader.h"
#include "host_log.h"
#include "host_frame.h"
#include "host_state.h"
#include "module_windows.h"
#include "script.h"
#include "state_report.h"

namespace {

const wchar_t kFrameTitle[] = L"Norvale Mail Server (norvhost)";
constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 780;

std::optional<hostmodel::HostFrame> g_windows;

// With --window-menu the MDI client lists its children at the end of
// "Window", after the viewer commands; otherwise "Window" ends with the items
// that daemons append.
std::vector<hostmodel::PopupLayout> HostMenus(bool windowMenu) {
    hostmodel::PopupLayout window = {
        L"&Window", {{IDM_CASCADE, L"&Cascade"}, {IDM_TILE, L"&Tile"}, {IDM_ARRANGE, L"&Arrange icons"}}};
    if (windowMenu) {
        window.items.push_back({IDM_NEXT_WINDOW, L"&Next window"});
        window.items.push_back({IDM_NEW_VIEWER, L"New &message viewer"});
        window.items.push_back({IDM_CLOSE_VIEWER, L"C&lose message viewer"});
    }
    return {{L"&File", {{IDM_EXIT, L"E&xit"}}},
            {L"&Configuration", {{IDM_RELOAD_CONFIG, L"&Re-read norvale.ini"}}},
            window,
            {L"&Help", {{IDM_ABOUT, L"&About norvhost"}}}};
}

// Returns true when the command was the host's own.
bool OnCommand(HWND frame, UINT id) {
    switch (id) {
    case IDM_EXIT:
        PostMessageW(frame, WM_CLOSE, 0, 0);
        return true;
    case IDM_CASCADE:
        SendMessageW(Host().client, WM_MDICASCADE, 0, 0);
        return true;
    case IDM_TILE:
        SendMessageW(Host().client, WM_MDITILE, MDITILE_HORIZONTAL, 0);
        return true;
    case IDM_ARRANGE:
        SendMessageW(Host().client, WM_MDIICONARRANGE, 0, 0);
        return true;
    case IDM_NEXT_WINDOW:
        SendMessageW(Host().client, WM_MDINEXT, 0, 0);
        return true;
    case IDM_NEW_VIEWER:
        OpenMessageViewer();
        return true;
    case IDM_CLOSE_VIEWER:
        CloseMessageViewer();
        return true;
    case IDM_ABOUT:
        LogLine(kHostLevelInfo, L"norvhost: a stand-in Norvale host for daemon tests and demos");
        return true;
    default:
        return false;
    }
}

void OnTimer(UINT_PTR timer) {
    if (timer == kTimerDaemon) {
        RunDaemons();
    } else if (timer == kTimerScript) {
        OnScriptTimer();
    }
}

// The report shows the windows and menus as the daemons left them, so it is
// written before they are closed down; the windows go last.
void OnClose(HWND frame) {
    StopScript();
    KillTimer(frame, kTimerDaemon);
    if (!Host().options.stateFile.empty()) {
        WriteStateReport(Host().options.stateFile);
    }
    UnloadDaemons();
    LogLine(kHostLevelInfo, L"Host closing");
    DestroyWindow(frame);
}

// The frame's own reactions; everything else goes to the platform's default.
bool OnFrameMessage(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_COMMAND:
        return OnCommand(frame, LOWORD(wParam));
    case WM_TIMER:
        OnTimer(wParam);
        return true;
    case WM_INITMENUPOPUP:
        OnMenuPopup(reinterpret_cast<HMENU>(wParam));
        return false;
    case WM_HOST_LOG_PENDING:
        FlushPendingLogLines();
        return true;
    case WM_CLOSE:
        OnClose(frame);
        return true;
    case WM_DESTROY:
        PostQuitMessage(0);
        return true;
    default:
        (void)lParam;
        return false;
    }
}

std::wstring LettersAsNames(const std::string& letters) {
    std::wstring names;
    for (char letter : letters) {
        names += std::wstring(names.empty() ? L"" : L" ") + L"NORVALE" + static_cast<wchar_t>(letter);
    }
    return names.empty() ? L"(none)" : names;
}

}  // namespace

bool CreateFrameWindow() {
    hostmodel::FrameLayout layout;
    layout.title = kFrameTitle;
    layout.width = kFrameWidth;
    layout.height = kFrameHeight;
    layout.menus = HostMenus(Host().options.windowMenu);
    layout.windowMenu = Host().options.windowMenu;
    layout.handler = &OnFrameMessage;
    layout.onReloadConfig = &ReloadConfiguration;
    layout.onStartButton = [](const std::wstring& title) { LogLine(kHostLevelInfo, title + L": control 201 clicked"); };
    g_windows.emplace(std::move(layout));
    Host().frame = g_windows->frame();
    Host().client = g_windows->client();
    return Host().frame != nullptr && Host().client != nullptr;
}

hostmodel::HostFrame& HostWindows() { return *g_windows; }

void ReloadConfiguration() {
    std::string config;
    const std::wstring path = ConfigFilePath();
    if (!ReadWholeFile(path, config, true)) {
        LogLine(kHostLevelError, L"Configuration could not be re-read from " + path);
        return;
    }
    LogLine(kHostLevelInfo, L"Configuration re-read from " + path + L": [Protocols] " +
                                LettersAsNames(ModulesListedIn(config, "Protocols")) + L"; [HiddenWindows] " +
                                LettersAsNames(ModulesListedIn(config, "HiddenWindows")));
}
