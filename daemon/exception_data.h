// The per-thread data the C++ runtime needs to throw and catch, kept by the
// library itself in a fixed table instead of the runtime's emulated
// thread-local storage. The runtime's own version allocates that data on a
// thread's first throw and ends the process (abort) when the allocation
// fails, so the first std::bad_alloc on a thread that runs out of memory
// would end the host; from the table, a throw needs no allocation for it.
#pragma once

// Gives the calling thread's entry back to the table. Called by a thread of
// the library's own (the start-up worker) as its last step, outside every
// try block, so the entry is free for the next thread; the host's thread keeps
// its entry while the library is loaded.
void ReleaseThreadExceptionData();
