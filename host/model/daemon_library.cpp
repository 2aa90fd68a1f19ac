#include "daemon_library.h"

#include <stdexcept>
#include <string>

#include "call_watch.h"

namespace hostmodel {

namespace {

template <typename Fn>
void BindExport(HMODULE module, const char* name, Fn& function) {
    function = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool BindDaemonExports(HMODULE module, DaemonExports& exports) {
    BindExport(module, "STARTUP", exports.startup);
    BindExport(module, "DAEMON", exports.daemon);
    BindExport(module, "CLOSEDOWN", exports.closedown);
    return exports.startup != nullptr && exports.daemon != nullptr && exports.closedown != nullptr;
}

// The test programs run from the build tree and from the unpacked test kit
// alike, and no other orbwick.dll on the search path can stand in for the
// one beside them.
std::wstring DaemonLibraryPath(const wchar_t* name) {
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 1);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1) + name;
}

DaemonLibrary::DaemonLibrary(const wchar_t* name) {
    {
        const WatchedStep step(StepKind::DaemonCall, "LoadLibrary of the daemon library");
        module_ = LoadLibraryW(DaemonLibraryPath(name).c_str());
    }
    if (module_ == nullptr) {
        throw std::runtime_error("the daemon library could not be loaded");
    }
    if (!BindDaemonExports(module_, exports_)) {
        throw std::runtime_error("the daemon library lacks an export");
    }
}

DaemonLibrary::~DaemonLibrary() { Unload(); }

int32_t DaemonLibrary::Startup(const HostRecord& record) const {
    const WatchedStep step(StepKind::DaemonCall, "STARTUP");
    return exports_.startup(&record);
}

int32_t DaemonLibrary::Daemon() const {
    const WatchedStep step(StepKind::DaemonCall, "DAEMON");
    return exports_.daemon();
}

int32_t DaemonLibrary::Closedown() const {
    const WatchedStep step(StepKind::DaemonCall, "CLOSEDOWN");
    return exports_.closedown();
}

void DaemonLibrary::Unload() {
    if (module_ != nullptr) {
        const WatchedStep step(StepKind::DaemonCall, "FreeLibrary of the daemon library");
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

}  // namespace hostmodel
