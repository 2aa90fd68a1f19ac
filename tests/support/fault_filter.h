// A fault on any thread of a test program ends the program with the fault's
// code. Without it, Wine ends only the faulting thread (the daemon's worker
// running code that was unmapped under it, say) and the program can still
// exit with success.
#pragma once

namespace fixture {

// Installs the process's unhandled-exception filter: it prints the fault's
// code, address and thread to stderr and terminates the process with the
// code. Calling it again changes nothing.
void FailOnFaultOnAnyThread();

}  // namespace fixture
