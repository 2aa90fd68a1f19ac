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

bool IsCurrentRun(unsigned run) { return g_daemon.workerRun.load() == run; }

bool SleepWhileCurrent(DWORD milliseconds, unsigned run) {
    Sleep(milliseconds);
    return IsCurrentRun(run);
}

// True when the host knows every enabled module. Asks from the highest index
// down and stops at the first module the host does not know (-1); any other
// answer counts as present.
bool AllModulesPresent() {
    for (int i = kModuleCount - 1; i >= 0; --i) {
        if (InModuleSet(g_daemon.enabledSet, i) && QueryModuleState(g_daemon.host, ModuleLetter(i)) == kModuleAbsent) {
            return false;
        }
    }
    return true;
}

// The click goes to control 201 of module 4's slot window itself, not of its
// MDI child; SendDlgItemMessageW waits until the host's thread has handled it.
void ClickStartupButton() {
    HWND slotWindow = SlotWindow(kStartupClickModule);
    if (slotWindow != nullptr) {
        SendDlgItemMessageW(slotWindow, kStartupButtonId, BM_CLICK, 0, 0);
    }
}

// The first and only pass over the host's windows. Returns early when
// CLOSEDOWN has ended this run: the hook is gone by then, so a menu added
// afterwards could never be used.
void RunFirstPass(unsigned run) {
    if (!SleepWhileCurrent(kInitialDelayMs, run)) {
        return;
    }
    while (!AllModulesPresent()) {
        if (!SleepWhileCurrent(kPollIntervalMs, run)) {
            return;
        }
    }
    if (!SleepWhileCurrent(kDelayAfterWaitMs, run)) {
        return;
    }
    ScanWindows();
    if (!IsCurrentRun(run)) {
        return;
    }
    HideListedWindows();
    if (!IsCurrentRun(run)) {
        return;
    }
    BuildDisplayMenu(g_daemon.menu);
    if (IsCurrentRun(run) && InModuleSet(g_daemon.enabledSet, kStartupClickModule)) {
        ClickStartupButton();
    }
}

HMODULE ThisLibrary() {
    HMODULE library = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisLibrary), &library);
    return library;
}

// The thread procedure; its parameter is the number of the run it belongs
// to. It leaves through FreeLibraryAndExitThread, which drops the reference
// taken for it and ends the thread without returning into this library: if
// that was the last reference, the code is unmapped only once nothing of it
// runs any more.
DWORD WINAPI StartupWorker(LPVOID parameter) {
    RunFirstPass(static_cast<unsigned>(reinterpret_cast<uintptr_t>(parameter)));
    FreeLibraryAndExitThread(ThisLibrary(), 0);
}

}  // namespace

HANDLE StartStartupWorker() {
    const unsigned run = g_daemon.workerRun.fetch_add(1) + 1;
    // The reference is taken here, on the host's thread, before the thread
    // exists: taken by the thread itself, it could come after the host has
    // already called CLOSEDOWN and FreeLibrary.
    HMODULE library = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&StartupWorker),
                            &library)) {
        return nullptr;
    }
    HANDLE thread = CreateThread(nullptr, 0, &StartupWorker, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(run)), 0,
                                 nullptr);
    if (thread == nullptr) {
        FreeLibrary(library);
    }
    return thread;
}

void StopStartupWorker() { g_daemon.workerRun.fetch_add(1); }
