#include "object_count.h"

#include <mutex>
#include <set>
#include <utility>

#include "host_lock.h"

namespace fixture {
namespace {

hostmodel::HostLock g_lock;
std::set<HANDLE> g_handles;
std::set<HMENU> g_menus;

template <typename T>
T Noted(std::set<T>& objects, T object) {
    if (object != nullptr && object != INVALID_HANDLE_VALUE) {
        const std::lock_guard<hostmodel::HostLock> lock(g_lock);
        objects.insert(object);
    }
    return object;
}

template <typename T>
void NotedOff(std::set<T>& objects, T object) {
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    objects.erase(object);
}

HANDLE WINAPI CountedCreateEventW(SECURITY_ATTRIBUTES* a, BOOL manual, BOOL initial, const wchar_t* name) {
    return Noted(g_handles, CreateEventW(a, manual, initial, name));
}
HANDLE WINAPI CountedCreateSemaphoreW(SECURITY_ATTRIBUTES* a, LONG initial, LONG maximum, const wchar_t* name) {
    return Noted(g_handles, CreateSemaphoreW(a, initial, maximum, name));
}
HANDLE WINAPI CountedCreateThread(SECURITY_ATTRIBUTES* a, SIZE_T stack, LPTHREAD_START_ROUTINE start, void* parameter,
                                  DWORD flags, DWORD* id) {
    return Noted(g_handles, CreateThread(a, stack, start, parameter, flags, id));
}
HANDLE WINAPI CountedCreateFileA(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* a, DWORD how,
                                 DWORD flags, HANDLE model) {
    return Noted(g_handles, CreateFileA(name, access, share, a, how, flags, model));
}
HANDLE WINAPI CountedCreateFileW(const wchar_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* a, DWORD how,
                                 DWORD flags, HANDLE model) {
    return Noted(g_handles, CreateFileW(name, access, share, a, how, flags, model));
}
BOOL WINAPI CountedDuplicateHandle(HANDLE fromProcess, HANDLE from, HANDLE toProcess, HANDLE* to, DWORD access,
                                   BOOL inherit, DWORD options) {
    const BOOL done = DuplicateHandle(fromProcess, from, toProcess, to, access, inherit, options);
    if (done && toProcess == GetCurrentProcess()) {
        Noted(g_handles, *to);
    }
    return done;
}
BOOL WINAPI CountedOpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    const BOOL done = OpenProcessToken(process, access, token);
    if (done) {
        Noted(g_handles, *token);
    }
    return done;
}
BOOL WINAPI CountedCloseHandle(HANDLE handle) {
    NotedOff(g_handles, handle);
    return CloseHandle(handle);
}
HMENU WINAPI CountedCreatePopupMenu() { return Noted(g_menus, CreatePopupMenu()); }
BOOL WINAPI CountedDestroyMenu(HMENU menu) {
    NotedOff(g_menus, menu);
    return DestroyMenu(menu);
}

}  // namespace

ObjectCount::ObjectCount(HMODULE module) {
    {
        const std::lock_guard<hostmodel::HostLock> lock(g_lock);
        g_handles.clear();
        g_menus.clear();
    }
    const std::pair<const char*, const void*> counted[] = {
        {"CreateEventW", reinterpret_cast<const void*>(&CountedCreateEventW)},
        {"CreateSemaphoreW", reinterpret_cast<const void*>(&CountedCreateSemaphoreW)},
        {"CreateThread", reinterpret_cast<const void*>(&CountedCreateThread)},
        {"CreateFileA", reinterpret_cast<const void*>(&CountedCreateFileA)},
        {"CreateFileW", reinterpret_cast<const void*>(&CountedCreateFileW)},
        {"DuplicateHandle", reinterpret_cast<const void*>(&CountedDuplicateHandle)},
        {"OpenProcessToken", reinterpret_cast<const void*>(&CountedOpenProcessToken)},
        {"CloseHandle", reinterpret_cast<const void*>(&CountedCloseHandle)},
        {"CreatePopupMenu", reinterpret_cast<const void*>(&CountedCreatePopupMenu)},
        {"DestroyMenu", reinterpret_cast<const void*>(&CountedDestroyMenu)},
    };
    for (const auto& [name, replacement] : counted) {
        patches_.push_back(std::make_unique<ImportPatch>(module, name, replacement));
        patched_ += patches_.back()->applied() ? 1 : 0;
    }
}

ObjectCount::~ObjectCount() = default;

size_t ObjectCount::openHandles() const {
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    return g_handles.size();
}

std::vector<HMENU> ObjectCount::liveMenus() const {
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    return std::vector<HMENU>(g_menus.begin(), g_menus.end());
}

}  // namespace fixture
