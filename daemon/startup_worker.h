// The start-up worker: the daemon's one thread of its own. It waits until the
// host reports every enabled module as present, then finds the module
// windows, hides the listed ones, builds the Display control menu and, when
// module 4 is enabled and its window was found, clicks control 201 in it.
#pragma once

#include <windows.h>

// Starts the worker for a new run and returns its thread handle (0 when no
// worker could be started; the daemon then simply has no menu). The worker
// holds its own reference to this library from before the thread exists until
// the thread has ended, so the host may unload the library at any moment.
// Called by STARTUP on the host's thread after the settings are loaded and
// the hook is installed.
HANDLE StartStartupWorker();

// Ends the current run without waiting: a worker still waiting for modules
// stops within one poll interval, and one already at work stops before its
// next step (scan, hiding, menu, click). Never blocks, so the host's thread
// may call it while the worker waits for that thread to answer a message.
// Called by CLOSEDOWN.
void StopStartupWorker();
