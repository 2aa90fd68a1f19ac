#include "fault_filter.h"

#include <windows.h>

#include <cstdio>

namespace fixture {

namespace {

LONG WINAPI EndProcessOnUnhandledFault(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    std::fprintf(stderr, "Unhandled exception 0x%08lx at %p on thread %lu\n", static_cast<unsigned long>(code),
                 info->ExceptionRecord->ExceptionAddress, static_cast<unsigned long>(GetCurrentThreadId()));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool InSomeModule(const void* address) {
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module) != FALSE;
}

constexpr ULONG_PTR kExecuteFault = 8;  // the access violation's first parameter for an execute fault

// Seen first, before the platform can swallow the fault inside a hook or a
// window procedure (as Wine does, and 64-bit Windows for 32-bit programs in
// some callbacks): an execute fault, or an access violation at an address in
// no loaded module, is what running code of an unloaded library looks like.
// On 32-bit Windows that ends the host, so it ends the test program too.
LONG WINAPI EndProcessOnExecuteFault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
        ((record.NumberParameters > 0 && record.ExceptionInformation[0] == kExecuteFault) ||
         !InSomeModule(record.ExceptionAddress))) {
        return EndProcessOnUnhandledFault(info);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void FailOnFaultOnAnyThread() {
    SetUnhandledExceptionFilter(&EndProcessOnUnhandledFault);
    static PVOID handler = AddVectoredExceptionHandler(1, &EndProcessOnExecuteFault);
    (void)handler;
}

}  // namespace fixture
