// The counters of counting_allocations.cpp, for the module they are linked
// into (called directly) or for the counting build of the daemon (through
// GetProcAddress: the same two exports).
#pragma once

struct AllocationCounts {
    long long LiveBytes;  // asked for and not yet freed
    long long PeakBytes;  // the highest LiveBytes since the last reset
    long LiveBlocks;
    long PeakBlocks;
};

// The peak starts again from what is held now.
extern "C" void __cdecl ResetAllocationPeak();
extern "C" void __cdecl ReadAllocationCounts(AllocationCounts* counts);

using ResetAllocationPeakProc = void(__cdecl*)();
using ReadAllocationCountsProc = void(__cdecl*)(AllocationCounts*);
