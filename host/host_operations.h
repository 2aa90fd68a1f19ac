// The host interface record handed to every daemon's STARTUP, with the host's
// four operations (the host model's, answering from the host's state).
// QueryValue, ModuleState and WriteLog may be called from any thread;
// MergeSection is called on the user-interface thread.
#pragma once

#include "host_record.h"

// The record, filled with the version from the options and the four
// operations. Valid for the life of the process; call once the frame exists.
const HostRecord& HostInterfaceRecord();

// From now on ModuleState reports module `index` as running (3).
void ReportModuleRunning(int index);
// From now on ModuleState reports module `index` as not started (-1), as
// while the host restarts it.
void ReportModuleStopped(int index);
