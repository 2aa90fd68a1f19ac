// A lock over the platform's critical section, for state the host shares
// between threads. The host, the test programs and the benchmarks are built
// with mingw-w64's win32 thread model, as orbwick.dll is, so that they run on
// Windows XP SP3 and Server 2003: that model has no std::mutex. Works with
// std::lock_guard.
#pragma once

#include <windows.h>

namespace hostmodel {

class HostLock {
public:
    HostLock() { InitializeCriticalSection(&section_); }
    ~HostLock() { DeleteCriticalSection(&section_); }
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;

    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

}  // namespace hostmodel
