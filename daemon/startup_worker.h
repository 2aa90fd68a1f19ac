// The start-up worker: the daemon's one thread of its own. It waits until the
// host reports every enabled module as present, then finds the module
// windows, hides the listed ones, builds the Display control menu and, when
// module 4 is enabled and its window was found, clicks control 201 in it.
#pragma once

#include <windows.h>

#include "daemon_state.h"

// Starts the worker for the run STARTUP has just begun and returns its thread
// handle (0 when no worker could be started; the daemon then simply has no
// menu). The worker holds its own reference to this library from before the
// thread exists until the thread has ended, so the host may unload the
// library at any moment. A worker stops on its own once its run has ended
// (EndWorkerRun): while waiting for modules within one poll interval, while
// at work before its next call into the host or its next change of a window
// or menu. Called by STARTUP on the host's thread after the settings are
// loaded and the hook is installed.
HANDLE StartStartupWorker(WorkerRun run);
