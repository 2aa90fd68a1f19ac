#include "command_hook.h"

#include "daemon_state.h"
#include "settings.h"

namespace {

// A module's slot window sits inside its MDI child; the MDI child is what is
// shown and hidden. IsWindowVisible of the slot window is false as soon as any
// ancestor is hidden, so it tells whether the module can be seen at all.
HWND ModuleWindowOf(HWND slotWindow) { return GetParent(slotWindow); }

bool IsShown(HWND slotWindow) { return IsWindowVisible(slotWindow) != FALSE; }

// The check mark follows the command even when the window call fails (no
// window, or a window already gone).
void SetWindowShown(HWND window, unsigned command, bool hide) {
    ShowWindow(window, hide ? SW_HIDE : SW_SHOW);
    CheckMenuItem(g_daemon.menu.load(), command, MF_BYCOMMAND | (hide ? MF_UNCHECKED : MF_CHECKED));
}

void ToggleModuleWindow(int index) {
    HWND slotWindow = SlotWindow(index);
    if (slotWindow == nullptr) {
        return;
    }
    SetWindowShown(ModuleWindowOf(slotWindow), ModuleCommand(index), IsShown(slotWindow));
}

// An empty core slot is not tested for: the window calls then act on no
// window and the core item is checked.
void ToggleCoreWindow() {
    HWND slotWindow = SlotWindow(kCoreSlot);
    SetWindowShown(ModuleWindowOf(slotWindow), IDM_CORE_WINDOW, IsShown(slotWindow));
}

// Modules outside the enabled set have no item and are left as they are.
void SetAllWindowsShown(bool hide) {
    for (int i = 0; i < kModuleCount; ++i) {
        HWND slotWindow = SlotWindow(i);
        if (InModuleSet(g_daemon.enabledSet, i) && slotWindow != nullptr) {
            SetWindowShown(ModuleWindowOf(slotWindow), ModuleCommand(i), hide);
        }
    }
    SetWindowShown(ModuleWindowOf(SlotWindow(kCoreSlot)), IDM_CORE_WINDOW, hide);
}

void RunCommand(unsigned command) {
    const int slot = SlotOfCommand(command);
    if (slot == kCoreSlot) {
        ToggleCoreWindow();
    } else if (slot != kNoSlot) {
        ToggleModuleWindow(slot);
    } else if (command == IDM_HIDE_ALL) {
        SetAllWindowsShown(true);
    } else if (command == IDM_SHOW_ALL) {
        SetAllWindowsShown(false);
    } else if (command == IDM_SAVE_SETTINGS && g_daemon.menu.load() != nullptr) {
        // Before the menu exists no module window is known yet: a save then
        // would write an empty list and erase the operator's saved choice.
        SaveSettings();
    }
}

}  // namespace

LRESULT CALLBACK MessageFilterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const MSG& message = *reinterpret_cast<const MSG*>(lParam);
        // Without a main window nothing is addressed to it; a thread message
        // (no window at all) is not taken for one.
        if (g_daemon.mainWindow != nullptr && message.hwnd == g_daemon.mainWindow && message.message == WM_COMMAND) {
            // Nothing thrown (out of memory) may reach the host's thread: the
            // command is dropped and the chain is still called.
            try {
                RunCommand(LOWORD(message.wParam));
            } catch (...) {
            }
        }
    }
    // The chain is called for every code so that hooks installed earlier on
    // this thread, such as other plug-ins', still see each message; with no
    // other hook the answer is 0 and the message goes on to the host's window.
    return CallNextHookEx(g_daemon.hook, code, wParam, lParam);
}

bool HideListedWindows(WorkerRun run) {
    for (int i = 0; i < kModuleCount; ++i) {
        HWND slotWindow = SlotWindow(i);
        if (InModuleSet(g_daemon.hiddenSet, i) && slotWindow != nullptr) {
            if (!IsCurrentRun(run)) {
                return false;
            }
            ShowWindow(ModuleWindowOf(slotWindow), SW_HIDE);
        }
    }
    return IsCurrentRun(run);
}
