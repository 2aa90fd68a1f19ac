// The host's MDI frame window: menu bar ("File", "Configuration", "Window",
// "Help"; daemons add to the third), MDI client, and the frame's reactions to
// commands and timers. User-interface thread only.
#pragma once

#include <windows.h>

#include "host_frame.h"

// Creates the frame (shown) with its menu bar and MDI client, the MDI client
// with "Window" as its window menu under --window-menu; fills Host().frame and
// Host().client. False on failure.
bool CreateFrameWindow();

// The host model's window tree of this host; after CreateFrameWindow.
hostmodel::HostFrame& HostWindows();

// Re-reads norvale.ini and logs what its two daemon-facing sections hold.
void ReloadConfiguration();
