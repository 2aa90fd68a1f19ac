// A PNG picture of the host as it is on screen: the frame window together with
// any popup menu of the host that is open, read back from the screen.
#pragma once

#include <string>

// Captures and writes the PNG file; logs the outcome. Returns false when the
// picture could not be taken or written.
bool SaveScreenshot(const std::wstring& path);
