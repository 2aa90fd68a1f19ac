#include "window_scan.h"

#include <windows.h>

#include <string>

#include "daemon_state.h"
#include "norvlib.h"
#include "texts.h"
#include "window_text.h"

namespace {

// The standard system menu of an MDI child has nine items; position 6 is
// Close and position 5 the separator ahead of it.
constexpr int kFullSystemMenuItems = 9;
constexpr UINT kClosePosition = 6;
constexpr UINT kSeparatorBeforeClosePosition = 5;
constexpr WPARAM kWholeFrame = 1;

bool IsSystemWindowTitle(const std::wstring& title) {
    return title == kSystemMessagesTitle || title == kSystemStatisticsTitle;
}

// What one scan passes to its enumeration callback.
struct ScanContext {
    WorkerRun run;
    bool failed;  // something thrown inside the callback (out of memory)
};

void StoreInSlot(WorkerRun run, int slot, HWND window) {
    if (slot != kNoSlot) {
        StoreForRun(run, [&] { g_daemon.slots[slot] = window; });
    }
}

// A menu already trimmed (seven items) or absent (a count of -1) is left
// alone, so a second scan changes nothing.
void TrimSystemMenu(WorkerRun run, HWND mdiChild) {
    HMENU systemMenu = GetSystemMenu(mdiChild, FALSE);
    if (GetMenuItemCount(systemMenu) != kFullSystemMenuItems || !IsCurrentRun(run)) {
        return;
    }
    // The later position goes first so that the earlier one still names the
    // item that stood there.
    RemoveMenu(systemMenu, kClosePosition, MF_BYPOSITION);
    RemoveMenu(systemMenu, kSeparatorBeforeClosePosition, MF_BYPOSITION);
    SendMessageW(mdiChild, WM_NCPAINT, kWholeFrame, 0);
}

void ClassifyWindow(WorkerRun run, HWND window) {
    if (window == nullptr) {
        return;
    }
    const std::wstring className = ReadClassName(window);
    WriteHostLog(g_daemon.host, kLogLevelDetail, (kLogFoundWindowPrefix + className).c_str());
    if (className == kMdiChildClass) {
        if (!IsSystemWindowTitle(ReadWindowText(window))) {
            TrimSystemMenu(run, window);
        }
        return;
    }
    StoreInSlot(run, SlotOfClassName(className, false), window);
}

void ClassifyWindowNewHost(WorkerRun run, HWND window) {
    if (window == nullptr) {
        return;
    }
    const std::wstring className = ReadClassName(window);
    if (className == kMdiChildClass) {
        const std::wstring title = ReadWindowText(window);
        if (IsSystemWindowTitle(title)) {
            return;
        }
        TrimSystemMenu(run, window);
        HWND firstChild = GetWindow(window, GW_CHILD);
        if (firstChild != nullptr) {
            StoreInSlot(run, SlotOfMdiChildTitle(title, true), firstChild);
        }
        return;
    }
    StoreInSlot(run, SlotOfClassName(className, true), window);
}

// EnumChildWindows visits the descendants at every depth, not only the
// direct children. Returning FALSE ends the enumeration: once the run has
// ended (CLOSEDOWN), or when something was thrown, which must not unwind
// through the platform's frames.
BOOL CALLBACK ScanWindowProc(HWND window, LPARAM parameter) {
    auto& scan = *reinterpret_cast<ScanContext*>(parameter);
    if (!IsCurrentRun(scan.run)) {
        return FALSE;
    }
    try {
        if (window != nullptr) {
            if (g_daemon.newHost) {
                ClassifyWindowNewHost(scan.run, window);
            } else {
                ClassifyWindow(scan.run, window);
            }
        }
    } catch (...) {
        scan.failed = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool ScanWindows(WorkerRun run) {
    if (g_daemon.mainWindow == nullptr) {
        if (IsCurrentRun(run)) {
            WriteHostLog(g_daemon.host, kLogLevelOutcome, kLogNoMainWindow);
        }
        return true;
    }
    ScanContext scan{run, false};
    EnumChildWindows(g_daemon.mainWindow, &ScanWindowProc, reinterpret_cast<LPARAM>(&scan));
    if (scan.failed || !IsCurrentRun(run)) {
        return false;
    }
    WriteHostLog(g_daemon.host, kLogLevelDetail, kLogScanComplete);
    return true;
}
