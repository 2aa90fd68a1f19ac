// startup_memory_bench: what STARTUP costs in memory and how its time grows
// with the size of norvale.ini.
//
// Memory: the heap bytes the daemon asks for during STARTUP, beyond what it
// held before, at their highest (peak extra bytes), counted by the counting
// build of the daemon (orbwick_counting_new.dll: the daemon's own units with
// allocation functions that count, see counting_allocations.cpp), for files of
// about 100 KB, 1 MB and 10 MB with short and with 120-character section
// names. Beside it, in the same run, the same count for the general reader
// (every entry of the file in a list, then the two sections collected), the
// way the daemon used to read its settings, counted in this program.
//
// Time: STARTUP of the shipped orbwick.dll on files of 10,000 and 100,000
// lines, in rotating order with the reading alone, medians of 21 rounds: the
// time each line adds from 10,000 to 100,000 lines against the time per line
// of the reading alone (linear: its time per line is the same at 1,000 to
// 100,000 lines in reader_vs_inih and reader_vs_profile), near 1 when
// STARTUP grows as the reading does, linearly.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_config.h"
#include "bench_host.h"
#include "counting_allocations.h"
#include "daemon_reading.h"
#include "side_by_side.h"

namespace {

void RemoveBaseDirectory(const std::string& directory) {
    DeleteFileA((directory + "norvale.ini").c_str());
    RemoveDirectoryA(directory.c_str());
}

int CountFileLines(const std::string& text) {
    int lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines;
}

// The host: every module absent, so the start-up worker only waits; nothing
// recorded. It answers the base directory set last.
hostmodel::RecordingHost g_host;

HostRecord RecordFor(const std::string& baseDirectory) {
    g_host.SetBaseDirectory(baseDirectory);
    return g_host.MakeRecord(4, 70);
}

struct CountingDaemon {
    hostmodel::DaemonLibrary library{L"orbwick_counting_new.dll"};
    ResetAllocationPeakProc reset = nullptr;
    ReadAllocationCountsProc read = nullptr;

    CountingDaemon() {
        reset = reinterpret_cast<ResetAllocationPeakProc>(
            reinterpret_cast<void*>(GetProcAddress(library.module(), "ResetAllocationPeak")));
        read = reinterpret_cast<ReadAllocationCountsProc>(
            reinterpret_cast<void*>(GetProcAddress(library.module(), "ReadAllocationCounts")));
        if (reset == nullptr || read == nullptr)
            throw std::runtime_error("orbwick_counting_new.dll lacks its counters");
    }
};

struct PeakExtra {
    long long Bytes;
    long Blocks;
};

PeakExtra PeakOfStartup(const CountingDaemon& daemon, const HostRecord& record) {
    AllocationCounts before{}, after{};
    daemon.reset();
    daemon.read(&before);
    daemon.library.Startup(record);
    daemon.read(&after);
    daemon.library.Closedown();
    return {after.PeakBytes - before.LiveBytes, after.PeakBlocks - before.LiveBlocks};
}

PeakExtra PeakOfListReading(const std::string& path) {
    AllocationCounts before{}, after{};
    ResetAllocationPeak();
    ReadAllocationCounts(&before);
    bench::ReadWithList(path);
    ReadAllocationCounts(&after);
    return {after.PeakBytes - before.LiveBytes, after.PeakBlocks - before.LiveBlocks};
}

void BenchMemory() {
    const CountingDaemon daemon;
    std::printf(
        "STARTUP's peak extra heap (bytes the daemon asks for, counted by orbwick_counting_new.dll), beside the "
        "general reader's (list + 2 x CollectSection)\n");
    std::printf("%-6s %10s %8s %14s %9s %8s %14s %9s %8s\n", "names", "file bytes", "lines", "STARTUP bytes", "blocks",
                "/ file", "list bytes", "blocks", "/ file");
    for (const std::size_t nameLength : {bench::kShortNames, bench::kLongNameLength}) {
        for (const std::size_t size : {std::size_t{100} * 1000, std::size_t{1000} * 1000, std::size_t{10000} * 1000}) {
            const std::string text = bench::MakeHostConfigOfSize(size, nameLength);
            const std::string base = bench::MakeBaseDirectory("orbwick_bench_memory", text);
            const HostRecord record = RecordFor(base);
            const PeakExtra startup = PeakOfStartup(daemon, record);
            const PeakExtra list = PeakOfListReading(base + "norvale.ini");
            const double bytes = static_cast<double>(text.size());
            std::printf("%-6s %10zu %8d %14lld %9ld %8.3f %14lld %9ld %8.3f\n", nameLength == 0 ? "short" : "long",
                        text.size(), CountFileLines(text), startup.Bytes, startup.Blocks,
                        static_cast<double>(startup.Bytes) / bytes, list.Bytes, list.Blocks,
                        static_cast<double>(list.Bytes) / bytes);
            RemoveBaseDirectory(base);
        }
    }
}

// Milliseconds that `times` STARTUPs hold the calling thread, CLOSEDOWN
// after each one left out of the time.
double TimeStartupsMs(const hostmodel::DaemonLibrary& library, const std::string& baseDirectory, int times) {
    const HostRecord record = RecordFor(baseDirectory);
    double total = 0;
    for (int i = 0; i < times; ++i) {
        const double start = bench::NowMs();
        library.Startup(record);
        total += bench::NowMs() - start;
        library.Closedown();
    }
    return total;
}

std::string MakeLinesDirectory(const char* name, std::size_t nameLength, int lines) {
    return bench::MakeBaseDirectory(
        name, bench::MakeHostConfigWhile(nameLength,
                                         [lines](const std::string&, int written) { return written < lines - 5; }));
}

// Each round, in rotating order: 10 STARTUPs on a 10,000-line file, one on
// a 100,000-line file, and the reading alone (ReadConfigSections as
// LoadSettings calls it) of the 100,000-line file. STARTUP is a fixed part
// (the worker's thread, the hook) plus the reading, so each line added from
// 10k to 100k lines should cost what a line costs the reading alone.
void BenchGrowth(const hostmodel::DaemonLibrary& library, std::size_t nameLength, int rounds) {
    const int small = 10000, large = 100000, smallTimes = large / small;
    const std::string smallBase = MakeLinesDirectory("orbwick_bench_10k", nameLength, small);
    const std::string largeBase = MakeLinesDirectory("orbwick_bench_100k", nameLength, large);
    std::vector<double> smallMs, largeMs, readMs, added, ratios;
    for (int round = 0; round < rounds; ++round) {
        double t[3] = {};
        for (int k = 0; k < 3; ++k) {
            switch ((round + k) % 3) {
            case 0:
                t[0] = TimeStartupsMs(library, smallBase, smallTimes) / smallTimes;
                break;
            case 1:
                t[1] = TimeStartupsMs(library, largeBase, 1);
                break;
            default: {
                const double start = bench::NowMs();
                bench::ReadLikeTheDaemon(largeBase + "norvale.ini");
                t[2] = bench::NowMs() - start;
                break;
            }
            }
        }
        smallMs.push_back(t[0]);
        largeMs.push_back(t[1]);
        readMs.push_back(t[2]);
        added.push_back((t[1] - t[0]) * 1e6 / (large - small));
        ratios.push_back(((t[1] - t[0]) / (large - small)) / (t[2] / large));
    }
    std::printf("%-6s %9.3f %9.3f %10.2f %15.1f %15.1f %12.3f\n", nameLength == 0 ? "short" : "long",
                bench::Median(smallMs), bench::Median(largeMs), bench::Median(largeMs) / bench::Median(smallMs),
                bench::Median(added), bench::Median(readMs) * 1e6 / large, bench::Median(ratios));
    RemoveBaseDirectory(smallBase);
    RemoveBaseDirectory(largeBase);
}

}  // namespace

int main() {
    g_host.SetRecording(false);
    for (const char* letter = hostmodel::kModuleLetters; *letter != '\0'; ++letter)
        g_host.SetModuleState(*letter, kModuleAbsent);
    try {
        BenchMemory();
    } catch (const std::exception& error) {
        std::printf("startup_memory_bench: %s\n", error.what());
        return 1;
    }
    std::printf(
        "\nSTARTUP time, orbwick.dll, 10,000 and 100,000 lines, and the reading alone at 100,000 (medians of 21 "
        "rotating rounds)\n");
    std::printf("%-6s %9s %9s %10s %15s %15s %12s\n", "names", "10k ms", "100k ms", "100k/10k", "ns/line added",
                "reading ns/ln", "added/read");
    const hostmodel::DaemonLibrary library;
    BenchGrowth(library, bench::kShortNames, 21);
    BenchGrowth(library, bench::kLongNameLength, 21);
    return 0;
}
