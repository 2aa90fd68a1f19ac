// The daemon's module-level state: everything lives as long as the library is
// loaded and starts zeroed. STARTUP fills it on the host's user-interface
// thread; the start-up worker writes the window slots and the menu handle and
// reads the number of its run, the only fields that two threads touch after
// STARTUP, so those are atomics (no locks are taken anywhere).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "host_record.h"
#include "module_table.h"

struct DaemonState {
    HostRecord host;              // the daemon's own copy of the host interface record
    std::wstring baseDirectory;   // ends in "\" unless the host gave none
    HWND mainWindow;              // the host's frame window
    HHOOK hook;                   // the message-filter hook
    std::atomic<HMENU> menu;      // the Display control menu, 0 until built
    ModuleSet enabledSet;         // modules listed in the host's Protocols section
    ModuleSet hiddenSet;          // modules listed in the host's HiddenWindows section
    std::atomic<HWND> slots[kModuleCount + 1];  // module slots 0..10, then the core slot
    HANDLE worker;                // the start-up worker's thread handle
    // Which start-up worker may still work: every STARTUP starts a new run and
    // hands its number to its worker, CLOSEDOWN ends the run. A worker whose
    // run is no longer current stops at its next step.
    std::atomic<unsigned> workerRun;
    bool newHost;                 // host 4.61 and above within major version 4
};

extern DaemonState g_daemon;

// The window held in a module's slot (0..10) or in the core slot.
inline HWND SlotWindow(int slot) { return g_daemon.slots[slot].load(); }
