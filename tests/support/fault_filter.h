// A fault on any thread of a test program ends the program with the fault's
// code. Without it, Wine ends only the faulting thread (the daemon's worker
// running code that was unmapped under it, say) and the program can still
// exit with success.
#pragma once

namespace fixture {

// Installs the process's unhandled-exception filter: it prints the fault's
// code, address and thread to stderr and terminates the process with the
// code. Also a first vectored handler that does the same at once for an
// execute fault or an access violation outside every loaded module, which
// the platform may otherwise swallow inside a hook or a window procedure.
// Calling it again changes nothing.
void FailOnFaultOnAnyThread();

}  // namespace fixture
