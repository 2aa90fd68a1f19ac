#include "command_hook.h"

#include "daemon_state.h"
#include "library_hold.h"
#include "norvlib.h"
#include "settings.h"
#include "texts.h"
#include "window_scan.h"

namespace {

// The command running on the host's thread (its mark of the daemon's entries,
// see EntryMark), restored when a command nested inside another (in its
// message box's loop, say) ends. A command stops at its next step once the
// host has called an export meanwhile: after a CLOSEDOWN it must change
// nothing more.
unsigned g_commandMark = 0;

bool CommandStillCurrent() { return EntryMark() == g_commandMark; }

// How many commands began on the host's thread, to tell when one began
// inside a window change of another (see SetWindowShown).
unsigned g_commandsBegun = 0;

class CommandScope {
public:
    CommandScope() : outer_(g_commandMark) {
        g_commandMark = EntryMark();
        ++g_commandsBegun;
    }
    ~CommandScope() { g_commandMark = outer_; }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    const unsigned outer_;
};

// A module's slot window sits inside its MDI child; the MDI child is what is
// shown and hidden. IsWindowVisible of the slot window is false as soon as any
// ancestor is hidden, so it tells whether the module can be seen at all.
HWND ModuleWindowOf(HWND slotWindow) { return GetParent(slotWindow); }

bool IsShown(HWND slotWindow) { return IsWindowVisible(slotWindow) != FALSE; }

// The check mark follows the command even when the window call fails (no
// window, or a window already gone). Each of the two changes is made only
// while no export was called since the command began (see
// CommandStillCurrent). When the host answered the window change by a
// command of its own (one that began inside ShowWindow), the two changes of
// the window interleaved, and the mark is set from what the window shows now.
void SetWindowShown(HWND window, unsigned command, bool hide) {
    const unsigned begun = g_commandsBegun;
    if (CommandStillCurrent()) {
        ShowWindow(window, hide ? SW_HIDE : SW_SHOW);
    }
    if (CommandStillCurrent()) {
        const bool shown = g_commandsBegun == begun ? !hide : IsWindowVisible(window) != FALSE;
        CheckMenuItem(g_daemon.menu.load(), command, MF_BYCOMMAND | (shown ? MF_CHECKED : MF_UNCHECKED));
    }
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
    for (int i = 0; i < kModuleCount && CommandStillCurrent(); ++i) {
        HWND slotWindow = SlotWindow(i);
        if (InModuleSet(g_daemon.enabledSet, i) && slotWindow != nullptr) {
            SetWindowShown(ModuleWindowOf(slotWindow), ModuleCommand(i), hide);
        }
    }
    SetWindowShown(ModuleWindowOf(SlotWindow(kCoreSlot)), IDM_CORE_WINDOW, hide);
}

// A slot the daemon's commands act on (an enabled module's, or the core
// window's) that holds no window that exists: its module was restarted by
// the host, which destroyed the old window and made a new one, or the window
// was not there at the scan.
bool IsLostSlot(int slot) {
    const bool inUse = slot == kCoreSlot || InModuleSet(g_daemon.enabledSet, slot);
    HWND slotWindow = SlotWindow(slot);
    return inUse && (slotWindow == nullptr || !IsWindow(slotWindow));
}

// The check mark of a slot's item set from what its window shows now.
void MarkFromWindow(int slot, HWND slotWindow) {
    const unsigned command = slot == kCoreSlot ? IDM_CORE_WINDOW : ModuleCommand(slot);
    CheckMenuItem(g_daemon.menu.load(), command, MF_BYCOMMAND | (IsShown(slotWindow) ? MF_CHECKED : MF_UNCHECKED));
}

// Looks for the windows of the lost slots by the first scan's rule before a
// command acts on them or a save reads them, on the host's thread, and keeps
// what it finds, unless the host called an export meanwhile. A window found
// anew gets its item's mark from what it shows: the host made it, shown or
// not, without the daemon's command. Nothing is looked for while every slot
// holds a window. False when the search ran out of memory: then nothing it
// found is kept, since a slot it did not reach may be the one the command
// needs.
bool FindLostWindows() {
    bool lost[kModuleCount + 1] = {};
    bool anyLost = false;
    for (int slot = 0; slot <= kCoreSlot; ++slot) {
        lost[slot] = IsLostSlot(slot);
        anyLost = anyLost || lost[slot];
    }
    if (!anyLost) {
        return true;
    }
    HWND found[kModuleCount + 1] = {};
    if (!FindSlotWindows(g_daemon.mainWindow, g_daemon.newHost, lost, found, &CommandStillCurrent)) {
        return false;
    }
    if (!CommandStillCurrent()) {
        return true;
    }
    {
        const RunLock lock;
        for (int slot = 0; slot <= kCoreSlot; ++slot) {
            if (found[slot] != nullptr) {
                g_daemon.slots[slot] = found[slot];
            }
        }
    }
    for (int slot = 0; slot <= kCoreSlot && CommandStillCurrent(); ++slot) {
        if (found[slot] != nullptr) {
            MarkFromWindow(slot, found[slot]);
        }
    }
    return true;
}

bool IsDaemonCommand(unsigned command) {
    return SlotOfCommand(command) != kNoSlot || command == IDM_HIDE_ALL || command == IDM_SHOW_ALL ||
           command == IDM_SAVE_SETTINGS;
}

// Carries out one of the daemon's commands; false when it ran out of memory
// before acting, so that it acted on nothing.
bool CarryOutCommand(unsigned command) {
    if (!FindLostWindows()) {
        return false;
    }
    // Window texts read while looking are answered by the host's own
    // windows, which may close the daemon down meanwhile.
    if (!CommandStillCurrent()) {
        return true;
    }
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
        SaveSettings([] { return CommandStillCurrent(); });
    }
    return true;
}

// A command that ran out of memory says so in the host's log (a line of the
// daemon's own needs no memory); a save refused that way shows the save
// failure box as every other refused save does.
void RefuseCommandForMemory(unsigned command) {
    WriteHostLog(g_daemon.host, kLogLevelOutcome, kLogCommandOutOfMemory);
    if (command == IDM_SAVE_SETTINGS && CommandStillCurrent()) {
        ShowSaveFailedMessage(g_daemon.host, [] { return CommandStillCurrent(); });
    }
}

// Running out of memory stops a command before it acts on windows it found
// only in part: the search for lost windows keeps nothing then, and a save
// allocates its lines before it writes anything.
void RunCommand(unsigned command) {
    const CommandScope scope;
    if (!IsDaemonCommand(command)) {
        return;
    }
    bool carriedOut = false;
    try {
        carriedOut = CarryOutCommand(command);
    } catch (...) {
    }
    if (!carriedOut && CommandStillCurrent()) {
        RefuseCommandForMemory(command);
    }
}

}  // namespace

LRESULT CALLBACK MessageFilterProc(int code, WPARAM wParam, LPARAM lParam) {
    // Declared first, so that a reference taken by an export called from
    // inside (a CLOSEDOWN by a hook further down the chain, or by the host
    // inside a command) is let go only after the chain below has been called:
    // the last thing the hook does.
    const HostThreadFrame frame;
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

bool HideListedWindows(WorkerGate& gate) {
    for (int i = 0; i < kModuleCount; ++i) {
        HWND slotWindow = gate.slots[i];
        if (InModuleSet(gate.hiddenSet, i) && slotWindow != nullptr) {
            gate.Pass([&] { ShowWindow(ModuleWindowOf(slotWindow), SW_HIDE); });
        }
    }
    return gate.Open();
}
