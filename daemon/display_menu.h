// The Display control menu: a popup appended, after a separator, to the third
// top-level menu of the host's frame window, with the core window's item, one
// item per enabled module and the commands Hide all, Show all and Save
// settings.
#pragma once

#include <windows.h>

#include <atomic>

#include "worker_gate.h"

// Builds the menu once: does nothing when menu already holds a handle.
// Stores the new popup's handle in menu right after creating it, before any
// item exists, so check-mark changes made meanwhile act on the popup. The
// item of a window found starts checked when the window is visible (after
// the hide pass, so the listed ones start unchecked); the item of a module
// whose window was not found starts checked unless the module is in the
// hidden set; the core item likewise, checked when no core window was found.
// The separator and the popup go into the host's third own menu (counting
// past a maximised MDI child's system menu), ahead of the MDI client's list
// of children when that menu is the client's window menu, else at its end,
// in place of a Display control an earlier start attached anywhere in the
// menu bar (the popup and the separator ahead of it). Without a host menu to
// attach to, the popup is still built and kept until the run ends (the next
// STARTUP or CLOSEDOWN destroys it), and the host's log says so once. Runs on the start-up
// worker; labels are read from the host's windows with SendMessageW, through
// the worker's gate like every other step. Once the run has ended it stores
// and attaches nothing and returns false; a popup it made but did not attach
// is then destroyed. A popup that cannot be made, whose items cannot all be
// appended, or that cannot be put into the host menu is not attached at all
// (nor its separator), and the host's log says "Orbwick: Display control
// menu could not be made"; the daemon goes on without it, and an earlier
// start's Display control is taken out of the menu bar. When an earlier
// Display control could not be read or taken out of the menu bar, no second
// one is added and the log says "Orbwick: Display control not added (an
// earlier one could not be removed)".
bool BuildDisplayMenu(std::atomic<HMENU>& menu, WorkerGate& gate);

// A pass that ends without a Display control of its own (its menu could not
// be made, or it ran out of memory) takes earlier starts' ones out of the
// menu bar while the run is current, and has the menu bar drawn again:
// their marks would follow nothing and their Save would save nothing. False
// once the run has ended.
bool RemoveEarlierDisplayControls(WorkerGate& gate);
