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
// lines, alternately, medians of 9 rounds; linear growth gives the same time
// per line at both sizes.
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

std::string MakeBaseDirectory(const std::string& name, const std::string& config) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string directory = std::string(temp) + name + "\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    std::ofstream(directory + "norvale.ini", std::ios::binary) << config;
    return directory;
}

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
// recorded.
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
            const std::string base = MakeBaseDirectory("orbwick_bench_memory", text);
            const HostRecord record = RecordFor(base);
            const PeakExtra startup = PeakOfStartup(daemon, record);
            const PeakExtra list = PeakOfListReading(base + "norvale.ini");
            const double bytes = static_cast<double>(text.size());
            std::printf("%-6s %10zu %8d %14lld %9ld %8.3f %14lld %9ld %8.3f\n", nameLength == 0 ? "short" : "long",
                        text.size(), CountFileLines(text), startup.Bytes, startup.Blocks, startup.Bytes / bytes,
                        list.Bytes, list.Blocks, list.Bytes / bytes);
            RemoveBaseDirectory(base);
        }
    }
}

double TimeStartupMs(const HostRecord& record) {
    const hostmodel::DaemonLibrary library;
    const double start = bench::NowMs();
    library.Startup(record);
    const double elapsed = bench::NowMs() - start;
    library.Closedown();
    return elapsed;
}

void BenchGrowth(std::size_t nameLength, int rounds) {
    const int small = 10000, large = 100000;
    const std::string smallBase = MakeBaseDirectory(
        "orbwick_bench_10k",
        bench::MakeHostConfigWhile(nameLength, [](const std::string&, int n) { return n < small - 5; }));
    const std::string largeBase = MakeBaseDirectory(
        "orbwick_bench_100k",
        bench::MakeHostConfigWhile(nameLength, [](const std::string&, int n) { return n < large - 5; }));
    std::vector<double> smallMs, largeMs, ratios;
    for (int round = 0; round < rounds; ++round) {
        double s = 0, l = 0;
        if (round % 2 == 0)
            s = TimeStartupMs(RecordFor(smallBase));
        l = TimeStartupMs(RecordFor(largeBase));
        if (round % 2 == 1)
            s = TimeStartupMs(RecordFor(smallBase));
        smallMs.push_back(s);
        largeMs.push_back(l);
        ratios.push_back((l / large) / (s / small));
    }
    std::printf("%-6s %14.3f %14.3f %16.1f %16.1f %12.3f\n", nameLength == 0 ? "short" : "long", bench::Median(smallMs),
                bench::Median(largeMs), bench::Median(smallMs) * 1e6 / small, bench::Median(largeMs) * 1e6 / large,
                bench::Median(ratios));
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
    std::printf("\nSTARTUP time, orbwick.dll, 10,000 and 100,000 lines (medians of 9 alternating rounds)\n");
    std::printf("%-6s %14s %14s %16s %16s %12s\n", "names", "10k ms", "100k ms", "10k ns/line", "100k ns/line",
                "100k/10k");
    BenchGrowth(bench::kShortNames, 9);
    BenchGrowth(bench::kLongNameLength, 9);
    return 0;
}
