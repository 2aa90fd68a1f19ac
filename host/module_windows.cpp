#include "module_windows.h"

#include <string>

#include "frame_window.h"
#include "host_frame.h"
#include "host_log.h"
#include "host_modules.h"
#include "host_operations.h"
#include "host_options.h"
#include "host_state.h"

namespace {

const wchar_t kViewerTitle[] = L"Message Viewer";
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
HWND g_viewer = nullptr;

RECT CellRect(int cell) {
    const int x = (cell % kGridColumns) * kCellWidth;
    const int y = (cell / kGridColumns) * kCellHeight;
    return {x, y, x + kCellWidth, y + kCellHeight};
}

bool IsListed(const std::string& letters, int index) {
    return letters.find(hostmodel::ModuleLetter(index)) != std::string::npos;
}

bool IsLate(int index) {
    for (const LateStart& late : Host().options.late) {
        if (late.letter == hostmodel::ModuleLetter(index)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void CreateFixedChildren() {
    hostmodel::HostFrame& windows = HostWindows();
    const int systemTop = 3 * kCellHeight;
    const RECT messagesRect = {0, systemTop, kMessagesWidth, systemTop + kSystemRowHeight};
    const HWND messages = windows.AddSystemMessages(&messagesRect);
    RECT client;
    GetClientRect(messages, &client);
    Host().messagesList =
        hostmodel::CreateControl(messages, L"LISTBOX", L"", WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 1, client);
    const RECT statisticsRect = {kMessagesWidth, systemTop, kMessagesWidth + kStatisticsWidth,
                                 systemTop + kSystemRowHeight};
    const HWND statistics = windows.AddSystemStatistics(&statisticsRect);
    GetClientRect(statistics, &client);
    InflateRect(&client, -kTextMargin, -kTextMargin);
    Host().statisticsText = hostmodel::CreateControl(statistics, L"STATIC", L"", 0, 1, client);
    const RECT coreRect = CellRect(0);
    Host().coreChild = GetParent(windows.AddCoreWindow(&coreRect));
    FlushPendingLogLines();
}

void StartModule(int index) {
    HostState& host = Host();
    if (host.moduleChild[index] != nullptr) {
        return;
    }
    const RECT where = CellRect(g_nextCell++);
    host.moduleChild[index] = GetParent(HostWindows().AddHostModule(index, &where));
    ReportModuleRunning(index);
    LogLine(kHostLevelInfo, std::wstring(L"Module NORVALE") + static_cast<wchar_t>(hostmodel::ModuleLetter(index)) +
                                L" started: " + hostmodel::ModuleTitle(index));
    UpdateStatistics();
}

void RestartModule(int index) {
    HostState& host = Host();
    const std::wstring name = std::wstring(L"Module NORVALE") + static_cast<wchar_t>(hostmodel::ModuleLetter(index));
    if (host.moduleChild[index] == nullptr) {
        LogLine(kHostLevelError, name + L" is not running; not restarted");
        return;
    }
    ReportModuleStopped(index);
    const HWND window = HostWindows().RestartHostModule(host.moduleChild[index], index);
    if (window == nullptr) {
        // The old window may stay (nothing was destroyed) or be gone with no
        // new one: the module then counts as stopped.
        const bool kept = IsWindow(host.moduleChild[index]) != FALSE;
        if (kept) {
            ReportModuleRunning(index);
        } else {
            host.moduleChild[index] = nullptr;
            UpdateStatistics();
        }
        LogLine(kHostLevelError, name + L" could not be restarted: " +
                                     (kept ? L"its old window stays" : L"its window is gone and no new one was made"));
        return;
    }
    host.moduleChild[index] = GetParent(window);
    ReportModuleRunning(index);
    LogLine(kHostLevelInfo,
            name + L" restarted: " + hostmodel::ModuleTitle(index) + L" (its window destroyed and made anew)");
}

void StartInitialModules() {
    const HostState& host = Host();
    for (int i = 0; i < hostmodel::kHostModuleCount; ++i) {
        if (!IsListed(host.modulesToRun, i)) {
            continue;
        }
        if (IsListed(host.options.never, i)) {
            LogLine(kHostLevelInfo, std::wstring(L"Module NORVALE") + static_cast<wchar_t>(hostmodel::ModuleLetter(i)) +
                                        L" is configured but never starts");
        } else if (!IsLate(i)) {
            StartModule(i);
        }
    }
}

void StartDueLateModules(DWORD elapsedMs) {
    const HostState& host = Host();
    for (const LateStart& late : host.options.late) {
        const int index = hostmodel::ModuleIndexOfLetter(late.letter);
        if (index >= 0 && elapsedMs >= late.delayMs && IsListed(host.modulesToRun, index) &&
            !IsListed(host.options.never, index)) {
            StartModule(index);
        }
    }
}

void UpdateStatistics() {
    const HostState& host = Host();
    int running = 0;
    for (int i = 0; i < hostmodel::kHostModuleCount; ++i) {
        running += host.moduleChild[i] != nullptr ? 1 : 0;
    }
    const std::wstring text = L"Protocol modules configured: " + std::to_wstring(host.modulesToRun.size()) +
                              L"\nProtocol modules running: " + std::to_wstring(running) +
                              L"\nHost version reported: " + std::to_wstring(host.options.majorVersion) + L"." +
                              std::to_wstring(host.options.minorVersion);
    SetWindowTextW(host.statisticsText, text.c_str());
}

void OpenMessageViewer() {
    if (g_viewer == nullptr || !IsWindow(g_viewer)) {
        g_viewer = HostWindows().AddMdiChild(kViewerTitle);
        LogLine(kHostLevelInfo, L"Message viewer opened");
    }
}

void CloseMessageViewer() {
    if (g_viewer != nullptr && IsWindow(g_viewer)) {
        SendMessageW(Host().client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(g_viewer), 0);
        LogLine(kHostLevelInfo, L"Message viewer closed");
    }
    g_viewer = nullptr;
}
