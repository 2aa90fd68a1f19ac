#include "command_hook.h"

#include "daemon_state.h"
#include "settings.h"

#include <new>

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

// How deep the hook is in the daemon's commands on the host's thread: a
// command's message box or the host's answer to 499 may run a message loop in
// which the hook acts again.
int g_commandDepth = 0;

// Ends on its own thread, once the host's thread has answered a message sent
// to one of its windows: the host's thread answers only while it waits for
// messages, never in the middle of the hook's own code, so by then no frame
// of this library is left on its stack. The reference is dropped by
// FreeLibraryAndExitThread, which does not return into the library.
struct DeferredRelease {
    HMODULE library;
    HWND hostWindow;
};

DWORD WINAPI ReleaseWhenHostThreadWaits(LPVOID parameter) {
    const DeferredRelease release = *static_cast<DeferredRelease*>(parameter);
    delete static_cast<DeferredRelease*>(parameter);
    SendMessageW(release.hostWindow, WM_NULL, 0, 0);
    FreeLibraryAndExitThread(release.library, 0);
}

BOOL CALLBACK FirstWindow(HWND window, LPARAM found) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// A window of the host's thread (this one) to send to: the frame, else any.
HWND WindowOfThisThread() {
    HWND frame = g_daemon.mainWindow;
    if (IsWindow(frame) && GetWindowThreadProcessId(frame, nullptr) == GetCurrentThreadId()) {
        return frame;
    }
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FirstWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// While a command runs, the library holds a reference to itself: the host may
// answer one of the command's call-outs (the merge, the message box, 499,
// even a window it shows or hides) by closing the daemon down and unloading
// it, and the hook's code must still be there to return through. When no
// CLOSEDOWN came meanwhile, the host still holds its own reference and this
// one is dropped at once. Otherwise ours may be the last: it is dropped by a
// thread of its own once the host's thread has left the hook, or, without a
// window to wait on, kept for good (the library then stays mapped, which is
// safe; unmapping under the host's feet is not).
class LibraryHold {
public:
    LibraryHold() = default;
    LibraryHold(const LibraryHold&) = delete;
    LibraryHold& operator=(const LibraryHold&) = delete;

    void Take() {
        if (g_commandDepth++ == 0 && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                                        reinterpret_cast<LPCWSTR>(&MessageFilterProc), &library_)) {
            closedowns_ = g_daemon.closedowns;
        }
        taken_ = true;
    }

    ~LibraryHold() {
        if (!taken_) {
            return;
        }
        --g_commandDepth;
        if (library_ == nullptr) {
            return;
        }
        if (g_daemon.closedowns == closedowns_) {
            FreeLibrary(library_);
            return;
        }
        auto* release = new (std::nothrow) DeferredRelease{library_, WindowOfThisThread()};
        if (release == nullptr || release->hostWindow == nullptr) {
            delete release;
            return;
        }
        HANDLE thread = CreateThread(nullptr, 0, &ReleaseWhenHostThreadWaits, release, 0, nullptr);
        if (thread == nullptr) {
            delete release;
            return;
        }
        CloseHandle(thread);
    }

private:
    bool taken_ = false;
    HMODULE library_ = nullptr;
    unsigned closedowns_ = 0;
};

}  // namespace

LRESULT CALLBACK MessageFilterProc(int code, WPARAM wParam, LPARAM lParam) {
    // Declared first, so that it lets go only after the chain below has been
    // called: the last thing the hook does.
    LibraryHold hold;
    if (code >= 0) {
        const MSG& message = *reinterpret_cast<const MSG*>(lParam);
        // Without a main window nothing is addressed to it; a thread message
        // (no window at all) is not taken for one.
        if (g_daemon.mainWindow != nullptr && message.hwnd == g_daemon.mainWindow && message.message == WM_COMMAND) {
            hold.Take();
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
