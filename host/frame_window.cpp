#include "frame_window.h"

#include <string>

#include "config_file.h"
#include "daemon_loader.h"
#include "host_log.h"
#include "host_state.h"
#include "script.h"
#include "state_report.h"

namespace {

const wchar_t kFrameClass[] = L"NorvaleFrame";
const wchar_t kFrameTitle[] = L"Norvale Mail Server (norvhost)";
constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 780;
constexpr UINT kFirstChildId = 50000;

HMENU CreateHostMenu() {
    const HMENU bar = CreateMenu();
    const HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IDM_EXIT, L"E&xit");
    const HMENU configuration = CreatePopupMenu();
    AppendMenuW(configuration, MF_STRING, IDM_RELOAD_CONFIG, L"&Re-read norvale.ini");
    const HMENU window = CreatePopupMenu();
    AppendMenuW(window, MF_STRING, IDM_CASCADE, L"&Cascade");
    AppendMenuW(window, MF_STRING, IDM_TILE, L"&Tile");
    AppendMenuW(window, MF_STRING, IDM_ARRANGE, L"&Arrange icons");
    const HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, IDM_ABOUT, L"&About norvhost");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(configuration), L"&Configuration");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(window), L"&Window");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
    return bar;
}

// The MDI client gets no window menu: the MDI child list would otherwise be
// appended to the third menu behind the items that daemons add.
void OnCreate(HWND frame) {
    CLIENTCREATESTRUCT clientCreate = {};
    clientCreate.hWindowMenu = nullptr;
    clientCreate.idFirstChild = kFirstChildId;
    Host().client = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                                    WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE, 0, 0, 0, 0,
                                    frame, nullptr, GetModuleHandleW(nullptr), &clientCreate);
}

// Returns true when the command was the host's own.
bool OnCommand(HWND frame, UINT id) {
    switch (id) {
    case IDM_RELOAD_CONFIG:
        ReloadConfiguration();
        return true;
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

LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(frame);
        return 0;
    case WM_COMMAND:
        if (OnCommand(frame, LOWORD(wParam))) {
            return 0;
        }
        break;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_INITMENUPOPUP:
        OnMenuPopup(reinterpret_cast<HMENU>(wParam));
        break;
    case WM_HOST_LOG_PENDING:
        FlushPendingLogLines();
        return 0;
    case WM_CLOSE:
        OnClose(frame);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefFrameProcW(frame, Host().client, message, wParam, lParam);
}

std::wstring LettersAsNames(const std::string& letters) {
    std::wstring names;
    for (char letter : letters) {
        names += std::wstring(names.empty() ? L"" : L" ") + L"NORVALE" + static_cast<wchar_t>(letter);
    }
    return names.empty() ? L"(none)" : names;
}

}  // namespace

bool CreateFrameWindow(HINSTANCE instance) {
    WNDCLASSW frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = instance;
    frameClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    frameClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    frameClass.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
    frameClass.lpszClassName = kFrameClass;
    if (!RegisterClassW(&frameClass)) {
        return false;
    }
    Host().frame = CreateWindowExW(0, kFrameClass, kFrameTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                   kFrameWidth, kFrameHeight, nullptr, CreateHostMenu(), instance, nullptr);
    if (Host().frame == nullptr || Host().client == nullptr) {
        return false;
    }
    ShowWindow(Host().frame, SW_SHOW);
    UpdateWindow(Host().frame);
    return true;
}

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
