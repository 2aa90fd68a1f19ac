#include "object_count.h"

#include <mutex>
#include <set>
#include <utility>

#include "host_lock.h"

namespace fixture {
namespace {

hostmodel::HostLock g_lock;
template <typename T>
std::set<T> g_live;  // the kernel handles (HANDLE) or menus (HMENU) opened and not closed, under g_lock
template <int Key>
void* g_original;  // the function a replacement of OPENS stands for

// Notes an object as opened, or, when `closed`, as closed.
template <typename T>
T Note(T object, bool closed = false) {
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    if (closed) {
        g_live<T>.erase(object);
    } else if (object != nullptr && object != INVALID_HANDLE_VALUE) {
        g_live<T>.insert(object);
    }
    return object;
}

// The replacement of a function whose result is the handle or menu it opens,
// one per OPENS row (the key), whatever its signature.
template <int Key, typename R, typename... A>
R WINAPI Opening(A... args) {
    return Note(reinterpret_cast<R(WINAPI*)(A...)>(g_original<Key>)(args...));
}

using Replacement = std::pair<const char*, const void*>;  // an imported function's name, what the patch calls instead

template <int Key, typename R, typename... A>
Replacement Opens(const char* name, R(WINAPI* original)(A...)) {
    g_original<Key> = reinterpret_cast<void*>(original);
    return {name, reinterpret_cast<const void*>(&Opening<Key, R, A...>)};
}
#define OPENS(function) Opens<__COUNTER__>(#function, &::function)
#define COUNTED(function) Replacement(#function, reinterpret_cast<const void*>(&Counted##function))

// The other counted functions, by hand. A handle or menu is noted off before
// the call: once closed, its value may be handed out again at once.
BOOL WINAPI CountedCloseHandle(HANDLE handle) { return Note(handle, true), CloseHandle(handle); }
BOOL WINAPI CountedDestroyMenu(HMENU menu) { return Note(menu, true), DestroyMenu(menu); }
BOOL WINAPI CountedDuplicateHandle(HANDLE fromProcess, HANDLE from, HANDLE toProcess, HANDLE* to, DWORD access,
                                   BOOL inherit, DWORD options) {
    const BOOL done = DuplicateHandle(fromProcess, from, toProcess, to, access, inherit, options);
    Note(done && toProcess == GetCurrentProcess() ? *to : nullptr);
    return done;
}
BOOL WINAPI CountedOpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    const BOOL done = OpenProcessToken(process, access, token);
    Note(done ? *token : nullptr);
    return done;
}

}  // namespace

ObjectCount::ObjectCount(HMODULE module) {
    {
        const std::lock_guard<hostmodel::HostLock> lock(g_lock);
        g_live<HANDLE>.clear();
        g_live<HMENU>.clear();
    }
    const Replacement counted[] = {OPENS(CreateEventW),      OPENS(CreateSemaphoreW),   OPENS(CreateThread),
                                   OPENS(CreateFileA),       OPENS(CreateFileW),        OPENS(CreatePopupMenu),
                                   COUNTED(DuplicateHandle), COUNTED(OpenProcessToken), COUNTED(CloseHandle),
                                   COUNTED(DestroyMenu)};
    for (const auto& [name, by] : counted) patched_ += patches_.emplace_back(module, name, by).applied();
}

size_t ObjectCount::openHandles() const {
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    return g_live<HANDLE>.size();
}

std::vector<HMENU> ObjectCount::liveMenus() const {
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    return std::vector<HMENU>(g_live<HMENU>.begin(), g_live<HMENU>.end());
}

}  // namespace fixture
