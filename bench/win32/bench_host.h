// The host side of the Win32 benchmarks, on the host model (host_model.h):
// the host's message loop fed with a given number of messages, waits that
// pump it, and the look-up of the daemon's menu.
#pragma once

#include <windows.h>

#include <string>

#include "host_model.h"

namespace bench {

using hostmodel::NowMs;

// Pumps count messages WM_USER + 0x100 posted to frame, in batches of 1,000,
// through the host's loop (hostmodel::DispatchLikeHost with the MDI client).
// Returns the elapsed milliseconds.
double PumpThroughHostLoop(HWND frame, HWND client, int count);

// Dispatches this thread's messages until handle is signalled (bounded waits).
void PumpUntilSignalled(HANDLE handle);

// A folder named name in the temporary folder, holding norvale.ini with
// these bytes; returns its path with a trailing backslash.
std::string MakeBaseDirectory(const std::string& name, const std::string& config);

// Whether the frame's third menu holds the "Display control" popup.
bool HasDisplayControlMenu(HWND frame);

}  // namespace bench
