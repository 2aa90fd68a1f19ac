// The message-filter hook that carries out the Display control menu's
// commands, and the visibility actions behind them.
#pragma once

#include <windows.h>

#include "worker_gate.h"

// The WH_MSGFILTER hook procedure STARTUP installs for the host's
// user-interface thread. For a non-negative code and a WM_COMMAND addressed
// to the host's main window it acts on the daemon's identifiers: 1000 + i
// toggles module i's MDI child, 1090 the core window's, 1097 hides all, 1098
// shows all, 1099 saves the settings once the Display control menu exists
// (before, no window is known and a save would erase the saved choice);
// every other identifier is ignored. Before one of its commands acts, the
// windows of the slots it may use that hold no existing window (a module the
// host restarted, or one not found at the scan) are looked for again by the
// scan's rule; a window found anew gets its item's check mark from what it
// shows. A command that runs out of memory (in that search included) acts on
// nothing it found: it changes no window and no mark, logs "Orbwick: command
// not carried out (out of memory)", and a save shows the save failure box;
// nothing thrown leaves the procedure. Then,
// for every code, it calls the next hook and returns that hook's answer: the
// message is never consumed here, so the host's window still receives it.
// The hook is a HostThreadFrame for every code and message, so a host (or a
// hook further down the chain) that closes the daemon down and unloads it
// from inside does not unmap the code the hook returns through. A command
// during which the host called an export (CLOSEDOWN, STARTUP) makes no
// further change: it then shows, hides, checks, asks and sends nothing more.
LRESULT CALLBACK MessageFilterProc(int code, WPARAM wParam, LPARAM lParam);

// Hides the MDI child of every module in the hidden set whose window was
// found; the enabled set is not consulted, no check mark is set and the core
// window is never hidden. Run once by the start-up worker before the menu
// exists, with the slots its own scan found; each hiding passes the worker's
// gate. Returns false once the run has ended.
bool HideListedWindows(WorkerGate& gate);
