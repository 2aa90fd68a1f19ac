// A daemon library loaded for the lifetime of an object, with its three
// exports bound.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "host_record.h"

namespace hostmodel {

// The three exports of a daemon library, called as the host calls them:
// arguments on the stack, removed by the caller.
struct DaemonExports {
    int32_t(__cdecl* startup)(const HostRecord*) = nullptr;
    int32_t(__cdecl* daemon)() = nullptr;
    int32_t(__cdecl* closedown)() = nullptr;
};

// The full path of the daemon library of this name beside the program.
std::wstring DaemonLibraryPath(const wchar_t* name = L"orbwick.dll");

// Looks up STARTUP, DAEMON and CLOSEDOWN by name in a loaded library. False
// when one of them is missing (the others may then be set).
bool BindDaemonExports(HMODULE module, DaemonExports& exports);

// The built orbwick.dll (or a test build of the daemon by another name) beside
// the program, loaded for the lifetime of this object; throws
// std::runtime_error when it cannot be loaded or lacks an export.
class DaemonLibrary {
public:
    explicit DaemonLibrary(const wchar_t* name = L"orbwick.dll");
    ~DaemonLibrary();
    DaemonLibrary(const DaemonLibrary&) = delete;
    DaemonLibrary& operator=(const DaemonLibrary&) = delete;

    HMODULE module() const { return module_; }
    int32_t Startup(const HostRecord& record) const;
    int32_t Daemon() const;
    int32_t Closedown() const;
    void Unload();  // FreeLibrary now instead of at destruction

private:
    HMODULE module_ = nullptr;
    DaemonExports exports_;
};

}  // namespace hostmodel
