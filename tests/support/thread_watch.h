// Waiting for the daemon's threads from the host's thread: the bound for
// anything asynchronous, the end of a thread (pumping this thread's messages
// meanwhile, since a worker may wait for an answer from it), and the threads
// the platform lists for this process.
#pragma once

#include <windows.h>

#include <set>
#include <string>

#include "host_model.h"

namespace fixture {

// A generous bound for anything asynchronous, for a loaded machine; waits
// that reach it are failures, not part of any test's timing.
constexpr DWORD kWaitMs = 20000;

// Pumps until the thread with this identifier has ended (bounded). True when
// it has, or when it is already gone.
bool WaitForThreadEnd(DWORD threadId, DWORD timeoutMs = kWaitMs);

// The thread that wrote the first log line with this text, 0 if none did.
// The daemon's worker is found this way, through the thread identifiers the
// recording host notes for each call.
DWORD ThreadOfLogLine(const hostmodel::RecordingHost& host, const std::string& text);

// The identifiers of this process's threads right now (Toolhelp snapshot);
// empty when no snapshot could be taken.
std::set<DWORD> ThreadsOfThisProcess();
// How many threads this process has right now, -1 when no snapshot could be
// taken.
int ThreadCount();

}  // namespace fixture
