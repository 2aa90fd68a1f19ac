// What a demo or a test scripts: late module starts, module restarts and
// WM_COMMANDs posted to the frame at given times, opening the "Display control" menu, the
// screenshot, closing by itself, and closing message boxes. Driven by the
// frame's script timer; user-interface thread only.
#pragma once

#include <windows.h>

// Starts the script timer and, with --auto-close-boxes, the message-box hook.
void StartScript();

// One tick of the script timer.
void OnScriptTimer();

// The frame saw WM_INITMENUPOPUP for this popup.
void OnMenuPopup(HMENU popup);

// The frame is closing: an open menu is ended and the hook removed.
void StopScript();
