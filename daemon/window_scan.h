// Window discovery: finds the slot windows of the modules and of the core
// window among the descendants of the host's frame window.
#pragma once

#include "worker_gate.h"

// Visits every descendant of the host's main window once and stores each
// window recognised by the module table's rules (by class, or on new hosts
// the first child of a titled "NVLMDICHILD" window) in its slot; the last
// window recognised for a slot wins, and no slot is ever cleared. Removes the
// Close command and the separator ahead of it from the system menu of every
// "NVLMDICHILD" window other than the two system windows, when that menu has
// exactly nine items. Logs "Found window: " + class for each visited window
// (only while the new-host flag is clear) and "Orbwick: window scan complete";
// with no main window, logs only "Orbwick daemon could not find main window".
// Runs on the start-up worker; the host's thread must keep processing
// messages, since window texts are asked for with SendMessageW.
// Every message, log line, menu change and slot store passes the worker's
// gate. Stops between two windows once the run has ended and returns false
// then (and writes no completion line); true when the scan ran to its end or
// there was no main window. Running out of memory stops it too: it then
// throws std::bad_alloc, once the platform's enumeration has returned.
bool ScanWindows(WorkerGate& gate);

// Looks again, on the host's thread, for the slot windows of the slots marked
// in wanted (module slots 0..10, then the core slot), by the scan's rule for
// recognising them, but without a log line and without changing any window
// or menu. found[slot] gets the last window recognised for a wanted slot and
// is left as it is for the others. Asks goesOn() before each window and
// stops once it answers false: a window text is answered by the host's own
// window, which may close the daemon down meanwhile. Returns false when it
// had to stop before the last window (out of memory); what it found until
// then stands.
bool FindSlotWindows(HWND mainWindow, bool newHost, const bool (&wanted)[kModuleCount + 1],
                     HWND (&found)[kModuleCount + 1], bool (*goesOn)());
