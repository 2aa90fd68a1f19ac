// NorvLib: the two wrappers through which the daemon calls the host, instead of
// calling the record's raw function pointers. Both take the daemon's own copy
// of the host interface record.
#pragma once

#include <functional>

#include "host_record.h"

// Asks the host whether module "NORVALE" + letter is present. Returns -1 when
// the host has no such module (yet); otherwise, from the low 16 bits of the
// host's answer: 0 when bit 0 is clear, 1 when bit 0 is set and bit 1 clear,
// 2 when both are set.
int QueryModuleState(const HostRecord& host, char moduleLetter);

// Asks the host to write the lines of "IniUpdate.tmp" (in the current
// directory) into the section "[HiddenWindows]" of its configuration file.
// When the host refuses (answers 0), writes the log line of a refused merge
// (level 15) and then shows the save failure message box. The caller cannot
// tell success from failure. goesOn, when given, is asked after each call to
// the host: once it answers false (the host called an export of the daemon's
// from inside that call), nothing more is done.
void MergeHiddenWindowsSection(const HostRecord& host, const std::function<bool()>& goesOn = nullptr);

// The message box "Failed to save settings", caption "Orbwick", plain OK,
// owned by the window the host names for QueryValue index 6 at this moment,
// or by none when that window does not exist.
// Returns when the operator has closed it. goesOn, when given, is asked after
// the owner has been asked for: false shows nothing.
void ShowSaveFailedMessage(const HostRecord& host, const std::function<bool()>& goesOn = nullptr);

// Writes one line to the host's log (first argument 10), the text converted to
// the system's default code page and zero-terminated. A short ASCII text
// (every line of the daemon's own) is written without allocating or
// converting, so it is written even when memory has run out; a text whose
// conversion fails is not written at all.
void WriteHostLog(const HostRecord& host, int32_t level, const wchar_t* text);
