// The daemon's module-level state: everything lives as long as the library is
// loaded and starts zeroed. STARTUP fills it on the host's user-interface
// thread; the start-up worker takes its own copy of what it reads when it is
// started (see WorkerGate), writes the window slots and the menu handle and
// reads the number of its run. The one lock, the run lock, is held only
// around the worker's stores of its results and the host thread's change of
// run, never across a call that waits for another thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "host_record.h"
#include "module_table.h"

struct DaemonState {
    HostRecord host;                            // the daemon's own copy of the host interface record
    std::wstring baseDirectory;                 // ends in "\" unless the host gave none
    std::atomic<HWND> mainWindow;               // the host's frame window
    HHOOK hook;                                 // the message-filter hook
    std::atomic<HMENU> menu;                    // the Display control menu, 0 until built
    HMENU unattachedMenu;                       // that menu while in no host menu (run lock)
    std::atomic<ModuleSet> enabledSet;          // modules listed in the host's Protocols section
    std::atomic<ModuleSet> hiddenSet;           // modules listed in the host's HiddenWindows section
    std::atomic<HWND> slots[kModuleCount + 1];  // module slots 0..10, then the core slot
    HANDLE worker;                              // the start-up worker's thread handle
    DWORD workerId;                             // and its thread identifier
    HANDLE stopWorker;                          // set by CLOSEDOWN: ends the worker's waits
    unsigned entries;                           // calls of STARTUP and CLOSEDOWN so far (host's thread only)
    std::atomic<unsigned> workerRun;            // see WorkerRun below
    std::atomic<bool> newHost;                  // host 4.61 and above within major version 4
    std::atomic<bool> settingsRead;             // norvale.ini was read completely at the last STARTUP
};

extern DaemonState g_daemon;

// The window held in a module's slot (0..10) or in the core slot.
inline HWND SlotWindow(int slot) { return g_daemon.slots[slot].load(); }

// Runs of the start-up worker. Every STARTUP begins a run and hands its number
// to the worker it starts; CLOSEDOWN ends it. A worker whose run is no longer
// current calls nothing more of the host and changes no window and no menu
// (its gate asks before each such step), and it stores its results (slots,
// menu handle, the menu's place in the host menu) only under the run lock, so
// nothing of an earlier run lands in a later one. CLOSEDOWN normally waits
// until the worker has gone; these checks are what keeps a worker it could
// not wait for harmless.
using WorkerRun = unsigned;

// The count of STARTUP and CLOSEDOWN calls so far. Code of the host's thread
// that calls out to the host notes it before and compares after: a change
// means the host called an export from inside, and what the code was doing
// belongs to a daemon that has been closed down or started afresh.
inline unsigned EntryMark() { return g_daemon.entries; }

// STARTUP: begins a new run, clearing the module slots (the core slot too)
// and the menu handle together with it. Returns the new run's number.
// CLOSEDOWN: the current run ends; no run is current until the next STARTUP.
// Both destroy a Display control popup that never reached a host menu: it
// belongs to nobody else.
WorkerRun BeginWorkerRun();
void EndWorkerRun();
bool IsCurrentRun(WorkerRun run);

// Under the run lock: the menu handle no longer names popup, a Display
// control popup that reached no host menu; the caller destroys it.
void ForgetMenu(std::atomic<HMENU>& menu, HMENU popup);

// Holds the run lock for its scope. Never held across a call that waits for
// the host's thread (SendMessageW, ShowWindow of its windows, host calls).
class RunLock {
public:
    RunLock();
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
};

// Runs store() under the run lock when run is still current. Returns whether
// it ran.
template <typename Store>
bool StoreForRun(WorkerRun run, Store store) {
    RunLock lock;
    if (!IsCurrentRun(run)) {
        return false;
    }
    store();
    return true;
}
