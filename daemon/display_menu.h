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
// item exists, so check-mark changes made meanwhile act on the popup. Window
// items start checked unless the module is in the hidden set. The separator
// and the popup go into the host's third own menu (counting past a maximised
// MDI child's system menu), ahead of the MDI client's list of children when
// that menu is the client's window menu, else at its end. Without a host menu
// to attach to, the popup is still built and kept. Runs on the start-up
// worker; labels are read from the host's windows with SendMessageW, through
// the worker's gate like every other step. Once the run has ended it stores
// and attaches nothing and returns false; a popup it made but did not attach
// is then destroyed.
bool BuildDisplayMenu(std::atomic<HMENU>& menu, WorkerGate& gate);
