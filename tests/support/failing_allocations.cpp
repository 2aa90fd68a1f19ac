// Linked only into the out-of-memory test build of the daemon
// (orbwick_failing_new.dll), never into orbwick.dll: replaces the global
// allocation functions so that the N-th allocation after arming fails, as
// it would when the host's process runs out of memory.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> g_failAt{0};  // 0: never fail
std::atomic<long> g_count{0};
std::atomic<bool> g_failed{false};

void* Allocate(std::size_t size) noexcept {
    const long failAt = g_failAt.load();
    if (failAt != 0 && g_count.fetch_add(1) + 1 == failAt) {
        g_failed = true;
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
    void* memory = Allocate(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

// From now on, allocation number n fails (n = 0: none does).
extern "C" void __cdecl FailAllocation(long n) {
    g_count = 0;
    g_failed = false;
    g_failAt = n;
}

// Whether the armed allocation was reached (and failed).
extern "C" int __cdecl AllocationFailed() { return g_failed.load() ? 1 : 0; }
