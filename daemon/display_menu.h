// The Display control menu: a popup appended, after a separator, to the third
// top-level menu of the host's frame window, with the core window's item, one
// item per enabled module and the commands Hide all, Show all and Save
// settings.
#pragma once

#include <windows.h>

#include <atomic>

// Builds the menu once: does nothing when menu already holds a handle.
// Stores the new popup's handle in menu right after creating it, before any
// item exists, so check-mark changes made meanwhile act on the popup. Window
// items start checked unless the module is in the hidden set. Without a host
// menu to attach to, the popup is still built and kept. Runs on the start-up
// worker; labels are read from the host's windows with SendMessageW.
void BuildDisplayMenu(std::atomic<HMENU>& menu);
