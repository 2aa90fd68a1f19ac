// The host side of the Win32 benchmarks: a host interface record whose
// operations cost next to nothing (no recording, no locks), so that what is
// timed is the daemon; and the host's own message loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "host_record.h"

namespace bench {

// QueryValue answers the frame (6) and the base directory (8); ModuleState
// answers 3 for the modules marked present and -1 for the others; WriteLog
// and MergeSection do nothing (MergeSection answers 1). Version 4.70 unless
// changed: the new-host flag is set.
HostRecord MakeBenchRecord(HWND frame, const std::string& baseDirectory);

// Marks a module ("SPECDHFWXIB" letter) present or absent for ModuleState.
void SetModulePresent(char letter, bool present);

// The moment (QueryPerformanceCounter) ModuleState first answered "present"
// for a module after ResetFirstPresentAnswer; 0 while it has not.
void ResetFirstPresentAnswer(char letter);
LONGLONG FirstPresentAnswer();

// QueryPerformanceCounter in milliseconds.
double NowMs();

// Pumps count messages WM_USER + 0x100 posted to frame, in batches of 1,000,
// through exactly the loop norvhost runs: GetMessageW, CallMsgFilterW (a
// nonzero answer consumes the message), TranslateMDISysAccel, TranslateMessage,
// DispatchMessageW. Returns the elapsed milliseconds.
double PumpThroughHostLoop(HWND frame, HWND client, int count);

// Dispatches this thread's messages until handle is signalled (bounded waits).
void PumpUntilSignalled(HANDLE handle);

// Dispatches this thread's messages until done() or timeoutMs; returns done().
template <typename Done>
bool PumpUntilDone(Done done, DWORD timeoutMs)
{
    const double start = NowMs();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!CallMsgFilterW(&msg, 0)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (done())
            return true;
        if (NowMs() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

// Whether the frame's third menu holds the "Display control" popup.
bool HasDisplayControlMenu(HWND frame);

}  // namespace bench
