#include "daemon_library.h"

#include <stdexcept>
#include <string>

namespace hostmodel {

// The DLL beside the test program, by its full path: the test programs run
// from the build tree and from the unpacked test kit alike, and no other
// orbwick.dll on the search path can stand in for it.
namespace {
std::wstring DaemonLibraryPath(const wchar_t* name) {
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 1);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1) + name;
}
}  // namespace

DaemonLibrary::DaemonLibrary(const wchar_t* name) {
    module_ = LoadLibraryW(DaemonLibraryPath(name).c_str());
    if (module_ == nullptr) {
        throw std::runtime_error("the daemon library could not be loaded");
    }
    startup_ = reinterpret_cast<StartupFn>(reinterpret_cast<void*>(GetProcAddress(module_, "STARTUP")));
    daemon_ = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DAEMON")));
    closedown_ = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(module_, "CLOSEDOWN")));
    if (startup_ == nullptr || daemon_ == nullptr || closedown_ == nullptr) {
        throw std::runtime_error("orbwick.dll lacks an export");
    }
}

DaemonLibrary::~DaemonLibrary() { Unload(); }

int32_t DaemonLibrary::Startup(const HostRecord& record) const { return startup_(&record); }
int32_t DaemonLibrary::Daemon() const { return daemon_(); }
int32_t DaemonLibrary::Closedown() const { return closedown_(); }

void DaemonLibrary::Unload() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

}  // namespace hostmodel
