#include "module_windows.h"

#include <cstring>

#include "host_log.h"
#include "host_options.h"
#include "host_state.h"

const wchar_t kMdiChildClass[] = L"NVLMDICHILD";
const wchar_t kSystemMessagesTitle[] = L"System Messages";
const wchar_t kSystemStatisticsTitle[] = L"System Statistics";
const wchar_t kCoreTitle[] = L"Norvale Core Process";

namespace {

struct ModuleWindowInfo {
    const wchar_t* title;
    const wchar_t* dialogClass;
};

const ModuleWindowInfo kModules[kModuleCount] = {
    {L"Norvale SMTP Server", L"mdlg_msc"}, {L"Norvale POP3 Server", L"mdlg_mpp"},
    {L"Norvale Module E", L"mdlg_mce"},    {L"Norvale Module C", L"mdlg_mcc"},
    {L"Norvale Module D", L"mdlg_dpc"},    {L"Norvale Module H", L"mdlg_mhc"},
    {L"Norvale Module F", L"mdlg_mdf"},    {L"Norvale Module W", L"mdlg_mdw"},
    {L"Norvale Module X", L"mdlg_xpc"},    {L"Norvale Module I", L"mdlg_mis"},
    {L"Norvale Module B", L"mdlg_mbs"},
};
const wchar_t kCoreDialogClass[] = L"mdlg_core";

constexpr int kModuleDIndex = 4;
constexpr int kStartButtonId = 201;
constexpr int kGridColumns = 4;
constexpr int kCellWidth = 248;
constexpr int kCellHeight = 140;
constexpr int kSystemRowHeight = 250;
constexpr int kMessagesWidth = 620;
constexpr int kStatisticsWidth = 372;
constexpr int kTextMargin = 8;

// Grid cells: the core window takes cell 0, modules the next free cells in
// the order they start.
int g_nextCell = 1;

RECT CellRect(int cell) {
    const int x = (cell % kGridColumns) * kCellWidth;
    const int y = (cell / kGridColumns) * kCellHeight;
    return {x, y, x + kCellWidth, y + kCellHeight};
}

// The dialog window fills its MDI child's client area.
LRESULT CALLBACK MdiChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) {
        if (HWND inner = GetWindow(window, GW_CHILD)) {
            MoveWindow(inner, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        }
    }
    return DefMDIChildProcW(window, message, wParam, lParam);
}

void OnDialogCommand(HWND dialog, WPARAM wParam) {
    if (LOWORD(wParam) == kStartButtonId && HIWORD(wParam) == BN_CLICKED) {
        wchar_t title[160] = {};
        GetWindowTextW(GetParent(dialog), title, 159);
        LogLine(kHostLevelInfo, std::wstring(title) + L": control 201 clicked");
    }
}

LRESULT CALLBACK ModuleDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnDialogCommand(window, wParam);
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND CreateMdiChild(const wchar_t* title, const RECT& where) {
    MDICREATESTRUCTW create = {};
    create.szClass = kMdiChildClass;
    create.szTitle = title;
    create.hOwner = GetModuleHandleW(nullptr);
    create.x = where.left;
    create.y = where.top;
    create.cx = where.right - where.left;
    create.cy = where.bottom - where.top;
    create.style = WS_CLIPCHILDREN;
    return reinterpret_cast<HWND>(SendMessageW(Host().client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
}

HWND AddControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, RECT where) {
    return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, where.left, where.top,
                           where.right - where.left, where.bottom - where.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// The MDI child with its dialog window (its first and only direct child).
HWND CreateDialogChild(const wchar_t* title, const wchar_t* dialogClass, const RECT& where) {
    const HWND child = CreateMdiChild(title, where);
    RECT client;
    GetClientRect(child, &client);
    const HWND dialog = AddControl(child, dialogClass, L"", 0, 0, client);
    const std::wstring status = std::wstring(dialogClass) + L": running";
    AddControl(dialog, L"STATIC", status.c_str(), 0, -1, {kTextMargin, kTextMargin, 220, 28});
    return child;
}

void RegisterClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int background) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = GetSysColorBrush(background);
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

bool IsListed(const std::string& letters, int index) {
    return letters.find(kModuleLetters[index]) != std::string::npos;
}

bool IsLate(int index) {
    for (const LateStart& late : Host().options.late) {
        if (late.letter == kModuleLetters[index]) {
            return true;
        }
    }
    return false;
}

}  // namespace

const wchar_t* ModuleTitle(int index) { return kModules[index].title; }
const wchar_t* ModuleDialogClass(int index) { return kModules[index].dialogClass; }

int ModuleIndexOfLetter(char letter) {
    const char* found = letter != '\0' ? std::strchr(kModuleLetters, letter) : nullptr;
    return found != nullptr ? static_cast<int>(found - kModuleLetters) : -1;
}

bool RegisterChildClasses(HINSTANCE instance) {
    RegisterClassOnce(instance, kMdiChildClass, MdiChildProc, COLOR_BTNFACE);
    RegisterClassOnce(instance, kCoreDialogClass, ModuleDialogProc, COLOR_BTNFACE);
    for (const ModuleWindowInfo& module : kModules) {
        RegisterClassOnce(instance, module.dialogClass, ModuleDialogProc, COLOR_BTNFACE);
    }
    return true;
}

void CreateFixedChildren() {
    const int systemTop = 3 * kCellHeight;
    const HWND messages = CreateMdiChild(kSystemMessagesTitle, {0, systemTop, kMessagesWidth, systemTop + kSystemRowHeight});
    RECT client;
    GetClientRect(messages, &client);
    Host().messagesList = AddControl(messages, L"LISTBOX", L"", WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 1, client);
    const HWND statistics = CreateMdiChild(
        kSystemStatisticsTitle, {kMessagesWidth, systemTop, kMessagesWidth + kStatisticsWidth, systemTop + kSystemRowHeight});
    GetClientRect(statistics, &client);
    InflateRect(&client, -kTextMargin, -kTextMargin);
    Host().statisticsText = AddControl(statistics, L"STATIC", L"", 0, 1, client);
    Host().coreChild = CreateDialogChild(kCoreTitle, kCoreDialogClass, CellRect(0));
    FlushPendingLogLines();
}

void StartModule(int index) {
    HostState& host = Host();
    if (host.moduleChild[index] != nullptr) {
        return;
    }
    host.moduleChild[index] = CreateDialogChild(kModules[index].title, kModules[index].dialogClass, CellRect(g_nextCell++));
    if (index == kModuleDIndex) {
        const HWND dialog = GetWindow(host.moduleChild[index], GW_CHILD);
        AddControl(dialog, L"BUTTON", L"Poll now", BS_PUSHBUTTON, kStartButtonId, {kTextMargin, 40, 120, 68});
    }
    host.moduleStarted[index].store(true);
    LogLine(kHostLevelInfo, std::wstring(L"Module NORVALE") + static_cast<wchar_t>(kModuleLetters[index]) +
                                L" started: " + kModules[index].title);
    UpdateStatistics();
}

void StartInitialModules() {
    const HostState& host = Host();
    for (int i = 0; i < kModuleCount; ++i) {
        if (!IsListed(host.modulesToRun, i)) {
            continue;
        }
        if (IsListed(host.options.never, i)) {
            LogLine(kHostLevelInfo, std::wstring(L"Module NORVALE") + static_cast<wchar_t>(kModuleLetters[i]) +
                                        L" is configured but never starts");
        } else if (!IsLate(i)) {
            StartModule(i);
        }
    }
}

void StartDueLateModules(DWORD elapsedMs) {
    const HostState& host = Host();
    for (const LateStart& late : host.options.late) {
        const int index = ModuleIndexOfLetter(late.letter);
        if (index >= 0 && elapsedMs >= late.delayMs && IsListed(host.modulesToRun, index) &&
            !IsListed(host.options.never, index)) {
            StartModule(index);
        }
    }
}

void UpdateStatistics() {
    const HostState& host = Host();
    int running = 0;
    for (int i = 0; i < kModuleCount; ++i) {
        running += host.moduleStarted[i].load() ? 1 : 0;
    }
    const std::wstring text = L"Protocol modules configured: " + std::to_wstring(host.modulesToRun.size()) +
                              L"\nProtocol modules running: " + std::to_wstring(running) +
                              L"\nHost version reported: " + std::to_wstring(host.options.majorVersion) + L"." +
                              std::to_wstring(host.options.minorVersion);
    SetWindowTextW(host.statisticsText, text.c_str());
}
