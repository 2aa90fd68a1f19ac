#include "daemon_state.h"

DaemonState g_daemon;

namespace {

// Created when the library is loaded and deleted when it is unloaded, which
// is never while a worker runs: each worker holds its own reference.
struct RunCriticalSection {
    CRITICAL_SECTION section;
    RunCriticalSection() { InitializeCriticalSection(&section); }
    ~RunCriticalSection() { DeleteCriticalSection(&section); }
} g_runLock;

// Under the run lock. The hook's handle is cleared with it when it names
// that popup, so no later command checks an item of a destroyed menu.
void DestroyUnattachedMenu() {
    HMENU popup = g_daemon.unattachedMenu;
    if (popup == nullptr) {
        return;
    }
    g_daemon.unattachedMenu = nullptr;
    ForgetMenu(g_daemon.menu, popup);
    DestroyMenu(popup);
}

}  // namespace

RunLock::RunLock() { EnterCriticalSection(&g_runLock.section); }
RunLock::~RunLock() { LeaveCriticalSection(&g_runLock.section); }

WorkerRun BeginWorkerRun() {
    RunLock lock;
    // The core slot too: a start that does not find the core window must not
    // act on the window an earlier start found, nor on whatever window now
    // has that handle.
    for (int i = 0; i <= kCoreSlot; ++i) {
        g_daemon.slots[i] = nullptr;
    }
    DestroyUnattachedMenu();
    g_daemon.menu = nullptr;
    return g_daemon.workerRun.fetch_add(1) + 1;
}

void EndWorkerRun() {
    RunLock lock;
    DestroyUnattachedMenu();
    g_daemon.workerRun.fetch_add(1);
}

bool IsCurrentRun(WorkerRun run) { return g_daemon.workerRun.load() == run; }

void ForgetMenu(std::atomic<HMENU>& menu, HMENU popup) {
    HMENU expected = popup;
    menu.compare_exchange_strong(expected, nullptr);
}
