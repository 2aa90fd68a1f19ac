// Keeping the library mapped while its code is on the host thread's stack.
//
// The host may close the daemon down and unload it from inside any call-out
// of the daemon's code on its user-interface thread: inside the hook (a
// command's merge, message box, 499 or shown window, or another plug-in's
// hook further down the chain), inside STARTUP's own host calls, or inside a
// message that CLOSEDOWN answers while it waits for the worker. Each such
// piece of code is a HostThreadFrame; an export called while one is on the
// stack takes a reference to the library (HoldLibraryWhileOnStack), and the
// outermost frame lets it go once it has left, so the code it returns
// through stays mapped.
#pragma once

// Daemon code running on the host's thread that may call out to the host.
// Counts how deep such code is; the outermost frame's destructor releases a
// reference taken meanwhile. Host's user-interface thread only.
class HostThreadFrame {
public:
    HostThreadFrame();
    ~HostThreadFrame();
    HostThreadFrame(const HostThreadFrame&) = delete;
    HostThreadFrame& operator=(const HostThreadFrame&) = delete;
};

// True while a HostThreadFrame is on the host thread's stack.
bool DaemonCodeOnHostStack();

// Called by STARTUP and CLOSEDOWN when DaemonCodeOnHostStack(): takes one
// reference to the library unless one is held already. The outermost frame
// drops it when it ends, through a short thread of the library that first
// waits for the host's thread to answer a message (it answers only outside
// the daemon's code) and then leaves through FreeLibraryAndExitThread: ours
// may be the last reference. With no window of the host's thread to send to,
// the reference is kept for good: the library then stays mapped, which is
// safe. No loader call is made while no export is called from inside.
void HoldLibraryWhileOnStack();
