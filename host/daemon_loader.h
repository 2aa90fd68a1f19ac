// The daemons: libraries with the exports STARTUP, DAEMON and CLOSEDOWN
// (cdecl). The host loads each, calls STARTUP with its interface record,
// DAEMON on a timer, and CLOSEDOWN before it unloads them. User-interface
// thread only.
#pragma once

#include <string>
#include <vector>

#include "host_record.h"

// Loads every library of the list and calls its STARTUP. A library that
// cannot be loaded, lacks an export or refuses (low byte of STARTUP's result
// 0) is logged and unloaded again. Returns the number of daemons running.
int LoadDaemons(const std::vector<std::wstring>& paths, const HostRecord& record);

// Calls DAEMON of every running daemon.
void RunDaemons();

// Calls CLOSEDOWN of every running daemon, then unloads it, in the reverse
// order of loading; each step is logged.
void UnloadDaemons();
