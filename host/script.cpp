#include "script.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host_log.h"
#include "host_modules.h"
#include "host_state.h"
#include "module_windows.h"
#include "screenshot.h"
#include "state_report.h"

namespace {

// Time for a just opened menu to be drawn before the picture is taken, and
// how long to wait for the menu before taking the picture without it.
constexpr DWORD kMenuSettleMs = 500;
constexpr DWORD kMenuGiveUpMs = 3000;
constexpr int kHostMenuPosition = 2;
constexpr int kTextCapacity = 256;
const wchar_t kDialogClass[] = L"#32770";

struct ScriptState {
    bool waitingForMenu = false;
    DWORD scriptStart = 0;
    std::vector<ScriptedCommand> commands;  // by time
    size_t nextCommand = 0;
    std::vector<ModuleRestart> restarts;  // by time
    size_t nextRestart = 0;
    bool menuRequested = false;
    bool menuKeysPosted = false;
    DWORD menuShownAt = 0;
    bool screenshotDone = false;
    bool closing = false;
    HHOOK boxHook = nullptr;
};

ScriptState g_script;

DWORD Now() { return GetTickCount(); }

void BeginScriptClock(const wchar_t* why) {
    g_script.waitingForMenu = false;
    g_script.scriptStart = Now();
    LogLine(kHostLevelInfo, std::wstring(L"Script clock starts: ") + why);
}

void PostDueCommands(DWORD elapsed) {
    while (g_script.nextCommand < g_script.commands.size() && g_script.commands[g_script.nextCommand].atMs <= elapsed) {
        const UINT id = g_script.commands[g_script.nextCommand++].commandId;
        LogLine(kHostLevelInfo, L"Script: WM_COMMAND " + std::to_wstring(id) + L" posted to the frame");
        PostMessageW(Host().frame, WM_COMMAND, id, 0);
    }
}

// A restart is done at once, so a command due at the same time finds the
// module's new window.
void RestartDueModules(DWORD elapsed) {
    while (g_script.nextRestart < g_script.restarts.size() && g_script.restarts[g_script.nextRestart].atMs <= elapsed) {
        const char letter = g_script.restarts[g_script.nextRestart++].letter;
        const int index = hostmodel::ModuleIndexOfLetter(letter);
        LogLine(kHostLevelInfo, std::wstring(L"Script: restarting module NORVALE") + static_cast<wchar_t>(letter));
        if (index >= 0) {
            RestartModule(index);
        }
    }
}

// Opens the frame's menu bar at its third menu the way the keyboard does
// (Alt+W); OnMenuPopup then walks to the last item, "Display control".
void OpenDisplayControlMenu() {
    g_script.menuRequested = true;
    if (FindDisplayControlMenu() == nullptr) {
        LogLine(kHostLevelInfo, L"Script: no \"Display control\" menu to open; opening the Window menu");
    }
    SetForegroundWindow(Host().frame);
    PostMessageW(Host().frame, WM_SYSCOMMAND, SC_KEYMENU, 'w');
}

void TakeScreenshot() {
    g_script.screenshotDone = true;
    SaveScreenshot(Host().options.screenshot);
    if (g_script.menuShownAt != 0) {
        EndMenu();
    }
}

void ScreenshotIfDue(DWORD elapsed) {
    const HostOptions& options = Host().options;
    if (options.screenshot.empty() || g_script.screenshotDone) {
        return;
    }
    const bool menuSettled = g_script.menuShownAt != 0 && Now() - g_script.menuShownAt >= kMenuSettleMs;
    const bool timeDue = options.screenshotMs && elapsed >= *options.screenshotMs;
    const bool menuGaveUp =
        g_script.menuRequested && options.openMenuMs && elapsed >= *options.openMenuMs + kMenuGiveUpMs;
    if (menuGaveUp && !menuSettled) {
        LogLine(kHostLevelError, L"Script: the \"Display control\" menu did not open; picture taken without it");
    }
    if (menuSettled || timeDue || menuGaveUp) {
        TakeScreenshot();
    }
}

void CloseIfDue(DWORD elapsed) {
    const HostOptions& options = Host().options;
    if (g_script.closing || options.runMs == 0 || elapsed < options.runMs) {
        return;
    }
    g_script.closing = true;
    LogLine(kHostLevelInfo, L"Script: run time over, closing the host");
    EndMenu();
    PostMessageW(Host().frame, WM_CLOSE, 0, 0);
}

std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[kTextCapacity] = {};
        wchar_t childText[kTextCapacity] = {};
        GetClassNameW(child, className, kTextCapacity - 1);
        GetWindowTextW(child, childText, kTextCapacity - 1);
        if (lstrcmpiW(className, L"Static") == 0 && childText[0] != L'\0') {
            text += childText;
        }
    }
    return text;
}

// Records what a message box says and presses its OK button once it is
// active, so that a test or demo never waits for an operator.
LRESULT CALLBACK MessageBoxCloser(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[kTextCapacity] = {};
        GetClassNameW(box, className, kTextCapacity - 1);
        if (lstrcmpW(className, kDialogClass) == 0 && GetPropW(box, L"norvhost.closing") == nullptr) {
            wchar_t caption[kTextCapacity] = {};
            GetWindowTextW(box, caption, kTextCapacity - 1);
            LogLine(kHostLevelInfo, L"Message box \"" + std::wstring(caption) + L"\": " + MessageBoxText(box) +
                                        L" (closed with OK by norvhost)");
            SetPropW(box, L"norvhost.closing", reinterpret_cast<HANDLE>(1));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(g_script.boxHook, code, wParam, lParam);
}

}  // namespace

void StartScript() {
    const HostOptions& options = Host().options;
    g_script.commands = options.commands;
    std::stable_sort(g_script.commands.begin(), g_script.commands.end(),
                     [](const ScriptedCommand& a, const ScriptedCommand& b) { return a.atMs < b.atMs; });
    g_script.restarts = options.restarts;
    std::stable_sort(g_script.restarts.begin(), g_script.restarts.end(),
                     [](const ModuleRestart& a, const ModuleRestart& b) { return a.atMs < b.atMs; });
    g_script.waitingForMenu = options.afterMenuTimeoutMs.has_value();
    g_script.scriptStart = Host().startTick;
    if (options.autoCloseBoxes) {
        g_script.boxHook = SetWindowsHookExW(WH_CBT, MessageBoxCloser, nullptr, GetCurrentThreadId());
    }
    SetTimer(Host().frame, kTimerScript, kScriptIntervalMs, nullptr);
}

void OnScriptTimer() {
    StartDueLateModules(Now() - Host().startTick);
    if (g_script.waitingForMenu) {
        if (FindDisplayControlMenu() != nullptr) {
            BeginScriptClock(L"the \"Display control\" menu is present");
        } else if (Now() - Host().startTick >= *Host().options.afterMenuTimeoutMs) {
            BeginScriptClock(L"no \"Display control\" menu appeared in time");
        }
        return;
    }
    const DWORD elapsed = Now() - g_script.scriptStart;
    RestartDueModules(elapsed);
    PostDueCommands(elapsed);
    if (Host().options.openMenuMs && !g_script.menuRequested && elapsed >= *Host().options.openMenuMs) {
        OpenDisplayControlMenu();
    }
    ScreenshotIfDue(elapsed);
    CloseIfDue(elapsed);
}

void OnMenuPopup(HMENU popup) {
    if (!g_script.menuRequested) {
        return;
    }
    const HMENU hostMenu = GetSubMenu(GetMenu(Host().frame), kHostMenuPosition);
    const HMENU displayMenu = FindDisplayControlMenu();
    if (popup == hostMenu && displayMenu != nullptr && !g_script.menuKeysPosted) {
        // Up from the first item wraps to the last; each further Up passes one
        // of the items that follow "Display control" (the MDI client's list of
        // windows, with --window-menu), separators skipped. Right opens it.
        g_script.menuKeysPosted = true;
        int ups = 1;
        bool after = false;
        for (int i = 0; i < GetMenuItemCount(hostMenu); ++i) {
            const UINT state = GetMenuState(hostMenu, static_cast<UINT>(i), MF_BYPOSITION);
            if (after && !(state & MF_SEPARATOR))
                ++ups;
            after = after || GetSubMenu(hostMenu, i) == displayMenu;
        }
        for (int i = 0; i < ups; ++i) PostMessageW(Host().frame, WM_KEYDOWN, VK_UP, 0);
        PostMessageW(Host().frame, WM_KEYDOWN, VK_RIGHT, 0);
    } else if (popup == displayMenu && displayMenu != nullptr && g_script.menuShownAt == 0) {
        g_script.menuShownAt = Now();
        LogLine(kHostLevelInfo, L"Script: the \"Display control\" menu is open");
    } else if (popup == hostMenu && displayMenu == nullptr && g_script.menuShownAt == 0) {
        g_script.menuShownAt = Now();
    }
}

void StopScript() {
    KillTimer(Host().frame, kTimerScript);
    EndMenu();
    if (g_script.boxHook != nullptr) {
        UnhookWindowsHookEx(g_script.boxHook);
        g_script.boxHook = nullptr;
    }
}
