// Linked only into benchmark builds (the bench's counting build of the
// daemon, orbwick_counting_new.dll, and the benchmark program itself), never
// into orbwick.dll: replaces the global allocation functions of the module it
// is linked into with ones that count the bytes asked for and still held, and
// the highest that figure reached since the last reset. Each module counts
// only its own allocations: the DLL and the program have a counter each.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "counting_allocations.h"

namespace {

// Each block carries the size asked for in front of it; 8 bytes keep the
// block behind it aligned as malloc aligns.
constexpr std::size_t kHeader = 8;

std::atomic<long long> g_liveBytes{0};
std::atomic<long long> g_peakBytes{0};
std::atomic<long> g_liveBlocks{0};
std::atomic<long> g_peakBlocks{0};

template <typename Value>
void RaisePeak(std::atomic<Value>& peak, Value value) {
    Value seen = peak.load();
    while (value > seen && !peak.compare_exchange_weak(seen, value)) {
    }
}

void* Allocate(std::size_t size) noexcept {
    auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
    if (block == nullptr)
        return nullptr;
    *reinterpret_cast<std::size_t*>(block) = size;
    RaisePeak(g_peakBytes, g_liveBytes.fetch_add(static_cast<long long>(size)) + static_cast<long long>(size));
    RaisePeak(g_peakBlocks, g_liveBlocks.fetch_add(1) + 1);
    return block + kHeader;
}

void* AllocateOrThrow(std::size_t size) {
    void* memory = Allocate(size);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void Release(void* memory) noexcept {
    if (memory == nullptr)
        return;
    auto* block = static_cast<unsigned char*>(memory) - kHeader;
    g_liveBytes -= static_cast<long long>(*reinterpret_cast<std::size_t*>(block));
    --g_liveBlocks;
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Release(memory); }

extern "C" void __cdecl ResetAllocationPeak() {
    g_peakBytes = g_liveBytes.load();
    g_peakBlocks = g_liveBlocks.load();
}

extern "C" void __cdecl ReadAllocationCounts(AllocationCounts* counts) {
    counts->LiveBytes = g_liveBytes.load();
    counts->PeakBytes = g_peakBytes.load();
    counts->LiveBlocks = g_liveBlocks.load();
    counts->PeakBlocks = g_peakBlocks.load();
}
