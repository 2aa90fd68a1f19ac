#include "window_scan.h"

#include <windows.h>

#include <new>
#include <string>

#include "daemon_state.h"
#include "norvlib.h"
#include "worker_gate.h"
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
    WorkerGate& gate;
    bool failed;  // something thrown inside the callback (out of memory)
};

// The worker keeps the slot for itself and publishes it to the hook.
void StoreInSlot(WorkerGate& gate, int slot, HWND window) {
    if (slot != kNoSlot && gate.Open()) {
        gate.slots[slot] = window;
        gate.Publish([&] { g_daemon.slots[slot] = window; });
    }
}

// A menu already trimmed (seven items) or absent (a count of -1) is left
// alone, so a second scan changes nothing. Making the window's own copy of
// its system menu (GetSystemMenu) is a change of the host's window too, so
// the copy and both removals are one step: the gate cannot shut between
// them and leave Close gone but its separator in place.
void TrimSystemMenu(WorkerGate& gate, HWND mdiChild) {
    bool trimmed = false;
    gate.Pass([&] {
        HMENU systemMenu = GetSystemMenu(mdiChild, FALSE);
        if (GetMenuItemCount(systemMenu) == kFullSystemMenuItems) {
            // The later position goes first so that the earlier one still
            // names the item that stood there.
            RemoveMenu(systemMenu, kClosePosition, MF_BYPOSITION);
            RemoveMenu(systemMenu, kSeparatorBeforeClosePosition, MF_BYPOSITION);
            trimmed = true;
        }
    });
    if (trimmed) {
        gate.Send(mdiChild, WM_NCPAINT, kWholeFrame, 0);
    }
}

void ClassifyWindow(WorkerGate& gate, HWND window) {
    const std::wstring className = ReadClassName(window);
    gate.Log(kLogLevelDetail, kLogFoundWindowPrefix + className);
    if (className == kMdiChildClass) {
        if (!IsSystemWindowTitle(gate.ReadWindowText(window))) {
            TrimSystemMenu(gate, window);
        }
        return;
    }
    StoreInSlot(gate, SlotOfClassName(className, false), window);
}

void ClassifyWindowNewHost(WorkerGate& gate, HWND window) {
    const std::wstring className = ReadClassName(window);
    if (className == kMdiChildClass) {
        const std::wstring title = gate.ReadWindowText(window);
        if (IsSystemWindowTitle(title)) {
            return;
        }
        TrimSystemMenu(gate, window);
        HWND firstChild = GetWindow(window, GW_CHILD);
        if (firstChild != nullptr) {
            StoreInSlot(gate, SlotOfMdiChildTitle(title, true), firstChild);
        }
        return;
    }
    StoreInSlot(gate, SlotOfClassName(className, true), window);
}

// EnumChildWindows visits the descendants at every depth, not only the
// direct children. Returning FALSE ends the enumeration: once the run has
// ended (CLOSEDOWN), or when something was thrown, which must not unwind
// through the platform's frames.
BOOL CALLBACK ScanWindowProc(HWND window, LPARAM parameter) {
    auto& scan = *reinterpret_cast<ScanContext*>(parameter);
    if (!scan.gate.Open()) {
        return FALSE;
    }
    try {
        if (window != nullptr) {
            if (scan.gate.newHost) {
                ClassifyWindowNewHost(scan.gate, window);
            } else {
                ClassifyWindow(scan.gate, window);
            }
        }
    } catch (...) {
        scan.failed = true;
        return FALSE;
    }
    return TRUE;
}

// What a search on the host's thread passes to its enumeration callback.
struct FindContext {
    bool (*goesOn)();
    bool newHost;
    const bool (&wanted)[kModuleCount + 1];
    HWND (&found)[kModuleCount + 1];
    bool failed;  // something thrown inside the callback (out of memory)
};

// The scan's rule for one window, without its log line and its trimming of
// system menus: a window of a module's class fills that module's slot; on new
// hosts a titled "NVLMDICHILD" window fills its slot through its first child.
void FindSlotWindow(FindContext& find, HWND window) {
    const std::wstring className = ReadClassName(window);
    int slot = SlotOfClassName(className, find.newHost);
    HWND slotWindow = window;
    if (find.newHost && className == kMdiChildClass) {
        const std::wstring title = ReadWindowText(window);
        slot = IsSystemWindowTitle(title) ? kNoSlot : SlotOfMdiChildTitle(title, true);
        slotWindow = GetWindow(window, GW_CHILD);
    }
    if (slot != kNoSlot && slotWindow != nullptr && find.wanted[slot]) {
        find.found[slot] = slotWindow;
    }
}

BOOL CALLBACK FindWindowProc(HWND window, LPARAM parameter) {
    auto& find = *reinterpret_cast<FindContext*>(parameter);
    if (!find.goesOn()) {
        return FALSE;
    }
    try {
        FindSlotWindow(find, window);
    } catch (...) {
        find.failed = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool FindSlotWindows(HWND mainWindow, bool newHost, const bool (&wanted)[kModuleCount + 1],
                     HWND (&found)[kModuleCount + 1], bool (*goesOn)()) {
    if (mainWindow == nullptr) {
        return true;
    }
    FindContext find{goesOn, newHost, wanted, found, false};
    EnumChildWindows(mainWindow, &FindWindowProc, reinterpret_cast<LPARAM>(&find));
    return !find.failed;
}

bool ScanWindows(WorkerGate& gate) {
    if (gate.mainWindow == nullptr) {
        gate.Log(kLogLevelOutcome, kLogNoMainWindow);
        return gate.Open();
    }
    ScanContext scan{gate, false};
    EnumChildWindows(gate.mainWindow, &ScanWindowProc, reinterpret_cast<LPARAM>(&scan));
    // Thrown again only here, outside the platform's frames.
    if (scan.failed) {
        throw std::bad_alloc();
    }
    if (!gate.Open()) {
        return false;
    }
    gate.Log(kLogLevelDetail, kLogScanComplete);
    return true;
}
