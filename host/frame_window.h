// The host's MDI frame window: menu bar ("File", "Configuration", "Window",
// "Help"; daemons add to the third), MDI client, and the frame's reactions to
// commands and timers. User-interface thread only.
#pragma once

#include <windows.h>

// Registers the frame's class and creates the frame (shown) with its menu bar
// and MDI client; fills Host().frame and Host().client. False on failure.
bool CreateFrameWindow(HINSTANCE instance);

// Re-reads norvale.ini and logs what its two daemon-facing sections hold.
void ReloadConfiguration();
