// The start-up worker: the daemon's one thread of its own. It waits until the
// host reports every enabled module as present, then finds the module
// windows, hides the listed ones, builds the Display control menu and, when
// module 4 is enabled and its window was found, clicks control 201 in it.
#pragma once

#include <windows.h>

#include "daemon_state.h"

// Starts the worker for the run STARTUP has just begun, with its own copy of
// the daemon's state (see WorkerGate), and returns its thread handle and
// identifier. Starts everything or nothing: without a stop event, a duplicate
// of it, memory for the worker's state, a reference to this library or a
// thread, it returns 0 and leaves nothing behind (STARTUP then refuses the
// start). The worker waits on stopEvent (manual reset) instead of sleeping,
// so that setting it ends a wait at once; it keeps a duplicate of the handle.
// It holds its own reference to this library from before the thread exists
// until the thread has ended. Called by STARTUP on the host's thread after
// the settings are loaded and the hook is installed.
HANDLE StartStartupWorker(WorkerRun run, HANDLE stopEvent, DWORD* threadId);

// Called by CLOSEDOWN once the run has ended and the stop event is set: waits
// at most one second for the worker's thread to end, meanwhile answering only
// the messages other threads send to this thread (the worker's window texts,
// hidings and click), never a posted one. Returns true when the thread has
// ended; the library then has no thread left inside it. Does not wait at all
// (returns false) inside a message another thread sent, which may be the
// worker's own, or on the worker's own thread: the worker then ends by itself
// at its next step, still holding its reference to the library until it is
// gone.
bool StopStartupWorker(HANDLE worker, DWORD workerId);
