// Reading the names of the host's windows: class names and window texts, at
// most 143 characters each, the way the window scan and the menu labels take
// them.
#pragma once

#include <windows.h>

#include <string>

// The window's class name; empty when it cannot be read.
std::wstring ReadClassName(HWND window);

// The window's text, asked for with WM_GETTEXT; empty when the window does
// not answer. The window belongs to the host's thread: this waits until that
// thread has answered.
std::wstring ReadWindowText(HWND window);
