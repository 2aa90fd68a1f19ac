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

}  // namespace

void FailOnFaultOnAnyThread() { SetUnhandledExceptionFilter(&EndProcessOnUnhandledFault); }

}  // namespace fixture
