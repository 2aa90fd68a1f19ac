#include "startup_worker.h"

#include <cstdint>

#include "command_hook.h"
#include "daemon_state.h"
#include "display_menu.h"
#include "norvlib.h"
#include "window_scan.h"

namespace {

constexpr DWORD kInitialDelayMs = 100;
constexpr DWORD kPollIntervalMs = 20;
constexpr DWORD kDelayAfterWaitMs = 100;
constexpr int kStartupButtonId = 201;

bool SleepWhileCurrent(DWORD milliseconds, WorkerRun run) {
    Sleep(milliseconds);
    return IsCurrentRun(run);
}

// True when the host knows every enabled module. Asks from the highest index
// down and stops at the first module the host does not know (-1); any other
// answer counts as present. False as well once the run has ended, without
// asking the host again.
bool AllModulesPresent(WorkerRun run) {
    for (int i = kModuleCount - 1; i >= 0; --i) {
        if (!InModuleSet(g_daemon.enabledSet, i)) {
            continue;
        }
        if (!IsCurrentRun(run) || QueryModuleState(g_daemon.host, ModuleLetter(i)) == kModuleAbsent) {
            return false;
        }
    }
    return true;
}

// The click goes to control 201 of module 4's slot window itself, not of its
// MDI child; SendDlgItemMessageW waits until the host's thread has handled it.
void ClickStartupButton(WorkerRun run) {
    HWND slotWindow = SlotWindow(kStartupClickModule);
    if (slotWindow != nullptr && IsCurrentRun(run)) {
        SendDlgItemMessageW(slotWindow, kStartupButtonId, BM_CLICK, 0, 0);
    }
}

// The first and only pass over the host's windows. Ends early, between two
// steps or inside one, once CLOSEDOWN has ended this run: the host may already
// have taken down its log and its module tracking, and the hook is gone, so a
// menu added afterwards could never be used.
void RunFirstPass(WorkerRun run) {
    if (!SleepWhileCurrent(kInitialDelayMs, run)) {
        return;
    }
    while (!AllModulesPresent(run)) {
        if (!SleepWhileCurrent(kPollIntervalMs, run)) {
            return;
        }
    }
    if (!SleepWhileCurrent(kDelayAfterWaitMs, run)) {
        return;
    }
    if (!ScanWindows(run) || !HideListedWindows(run) || !BuildDisplayMenu(g_daemon.menu, run)) {
        return;
    }
    if (InModuleSet(g_daemon.enabledSet, kStartupClickModule)) {
        ClickStartupButton(run);
    }
}

HMODULE ThisLibrary() {
    HMODULE library = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisLibrary), &library);
    return library;
}

// The thread procedure; its parameter is the number of the run it belongs
// to. Nothing thrown inside the pass (running out of memory) may leave the
// thread: the pass just ends. It leaves through FreeLibraryAndExitThread,
// which drops the reference taken for it and ends the thread without
// returning into this library: if that was the last reference, the code is
// unmapped only once nothing of it runs any more.
DWORD WINAPI StartupWorker(LPVOID parameter) {
    try {
        RunFirstPass(static_cast<WorkerRun>(reinterpret_cast<uintptr_t>(parameter)));
    } catch (...) {
    }
    FreeLibraryAndExitThread(ThisLibrary(), 0);
}

}  // namespace

HANDLE StartStartupWorker(WorkerRun run) {
    // The reference is taken here, on the host's thread, before the thread
    // exists: taken by the thread itself, it could come after the host has
    // already called CLOSEDOWN and FreeLibrary.
    HMODULE library = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&StartupWorker),
                            &library)) {
        return nullptr;
    }
    HANDLE thread =
        CreateThread(nullptr, 0, &StartupWorker, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(run)), 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(library);
    }
    return thread;
}
