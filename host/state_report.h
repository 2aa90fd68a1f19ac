// The report written at exit for tests: one line per MDI child of class
// "NVLMDICHILD" and the items of the "Display control" menu, UTF-8, fields
// separated by tabs:
//   window<TAB><title><TAB>visible|hidden
//   menu<TAB>Display control<TAB>present|absent
//   count<TAB>Display control<TAB><items of the host menu with that text>
//   item<TAB><command id><TAB>checked|unchecked<TAB><text>
//   separator
#pragma once

#include <windows.h>

#include <string>

// The "Display control" popup: the first item of the frame's third top-level
// menu that is a popup with that text; otherwise null.
HMENU FindDisplayControlMenu();

bool WriteStateReport(const std::wstring& path);
