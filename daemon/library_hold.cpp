#include "library_hold.h"

#include <windows.h>

#include <new>

#include "daemon_state.h"

namespace {

// How many HostThreadFrames are on the host thread's stack, and the
// reference taken for them (0 when none). Host's thread only.
int g_frames = 0;
HMODULE g_held = nullptr;

// A new reference to this library (0 if none could be taken).
HMODULE ReferenceThisLibrary() {
    HMODULE library = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ReferenceThisLibrary),
                       &library);
    return library;
}

struct DeferredRelease {
    HMODULE library;
    HWND hostWindow;
};

// Ends on its own thread, once the host's thread has answered a message sent
// to one of its windows: the host's thread answers only while it waits for
// messages, and no HostThreadFrame is left on its stack by then (the frame
// that started this thread has returned, and any later one holds a reference
// of its own). FreeLibraryAndExitThread does not return into the library.
DWORD WINAPI ReleaseWhenHostThreadWaits(LPVOID parameter) {
    const DeferredRelease release = *static_cast<DeferredRelease*>(parameter);
    delete static_cast<DeferredRelease*>(parameter);
    SendMessageW(release.hostWindow, WM_NULL, 0, 0);
    FreeLibraryAndExitThread(release.library, 0);
}

BOOL CALLBACK FirstWindow(HWND window, LPARAM found) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// A window of the host's thread (this one) to send to: the frame, else any.
HWND WindowOfThisThread() {
    HWND frame = g_daemon.mainWindow;
    if (IsWindow(frame) && GetWindowThreadProcessId(frame, nullptr) == GetCurrentThreadId()) {
        return frame;
    }
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FirstWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void ReleaseAfterLeaving(HMODULE library) {
    auto* release = new (std::nothrow) DeferredRelease{library, WindowOfThisThread()};
    if (release == nullptr || release->hostWindow == nullptr) {
        delete release;
        return;
    }
    HANDLE thread = CreateThread(nullptr, 0, &ReleaseWhenHostThreadWaits, release, 0, nullptr);
    if (thread == nullptr) {
        delete release;
        return;
    }
    CloseHandle(thread);
}

}  // namespace

HostThreadFrame::HostThreadFrame() { ++g_frames; }

HostThreadFrame::~HostThreadFrame() {
    if (--g_frames != 0 || g_held == nullptr) {
        return;
    }
    // Taken only because an export was called from inside the daemon's own
    // code: the host may have unloaded the library meanwhile, so ours may be
    // the last reference.
    HMODULE library = g_held;
    g_held = nullptr;
    ReleaseAfterLeaving(library);
}

bool DaemonCodeOnHostStack() { return g_frames > 0; }

void HoldLibraryWhileOnStack() {
    if (g_held == nullptr) {
        g_held = ReferenceThisLibrary();
    }
}
