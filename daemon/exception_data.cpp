// The C++ ABI's per-thread exception data (__cxa_get_globals) from a static
// table. Defined here, these two functions keep the runtime's own object, with
// its emulated thread-local variable, out of the link: nothing in the library
// then allocates on a thread's first throw, and nothing aborts when that
// allocation would fail.
//
// The table's entries are claimed by thread identifier, without a lock: the
// daemon's code runs on the host's thread and the start-up worker (a worker
// CLOSEDOWN could not wait for beside the next one), far fewer than the
// table holds. A thread's entry stays its own until it gives it back
// (ReleaseThreadExceptionData); a thread that has ended without giving it back
// leaves it to a later thread with the same identifier, which finds it idle:
// no exception is in flight on a thread that has ended. Should the table
// ever be full, the threads beyond it share one last entry, which is still
// better than ending the host.
#include "exception_data.h"

#include <windows.h>

#include <atomic>

namespace {

// The layout the C++ ABI gives __cxa_eh_globals.
struct ExceptionGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

struct ThreadEntry {
    std::atomic<DWORD> thread;  // 0: free
    ExceptionGlobals globals;
};

constexpr int kThreadEntries = 16;
ThreadEntry g_entries[kThreadEntries];
ExceptionGlobals g_shared;

ExceptionGlobals* EntryOfThisThread() {
    const DWORD self = GetCurrentThreadId();
    for (ThreadEntry& entry : g_entries) {
        if (entry.thread.load() == self) {
            return &entry.globals;
        }
    }
    for (ThreadEntry& entry : g_entries) {
        DWORD expected = 0;
        if (entry.thread.compare_exchange_strong(expected, self)) {
            entry.globals = ExceptionGlobals{};
            return &entry.globals;
        }
    }
    return &g_shared;
}

}  // namespace

// The C++ ABI's own names, defined here in place of the runtime's.
extern "C" ExceptionGlobals* __cxa_get_globals() noexcept {  // NOLINT(bugprone-reserved-identifier)
    return EntryOfThisThread();
}
extern "C" ExceptionGlobals* __cxa_get_globals_fast() noexcept {  // NOLINT(bugprone-reserved-identifier)
    return EntryOfThisThread();
}

void ReleaseThreadExceptionData() {
    const DWORD self = GetCurrentThreadId();
    for (ThreadEntry& entry : g_entries) {
        if (entry.thread.load() == self) {
            entry.thread.store(0);
            return;
        }
    }
}
