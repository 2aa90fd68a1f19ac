// cfgfile_bench: where the time of reading a configuration file goes, per
// line, for files of 1,000 to 100,000 lines with the two sections the daemon
// asks for spread all over them (a third of the lines): the reads alone, the
// memchr line split of the same reads, the daemon's section reader, the
// general reader's load into the list, and the load with both collects. A
// reader linear in the file's size shows about the same nanoseconds per line
// for every size. For contrast, the cost per entry of
// building a list by ListAppend from the head every time, which grows with
// the list.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cfgfile.h"
#include "daemon_reading.h"
#include "internal/file_chunks.h"
#include "side_by_side.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kSectionNames[] = {"General", "Protocols", "Paths", "HiddenWindows", "Users", "Limits"};
constexpr int kLinesPerSection = 40;

// A plausible host configuration file of about `lines` lines: headers, blank
// lines, comments, key=value lines with trailing comments, bare names.
std::string MakeConfigText(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        const int inSection = i % kLinesPerSection;
        if (inSection == 0) {
            const int part = i / kLinesPerSection;
            text += "[" + std::string(kSectionNames[part % 6]) + "]\r\n";
        } else if (inSection % 10 == 1) {
            text += "; settings written by the host, do not edit while it runs\r\n";
        } else if (inSection % 10 == 5) {
            text += "\r\n";
        } else if (inSection % 3 == 0) {
            text += "NORVALE" + std::string(1, "SPECDHFWXIB"[i % 11]) + "\r\n";
        } else {
            text +=
                "Setting" + std::to_string(i) + " = C:\\Norvale\\data\\value" + std::to_string(i) + ".dat   # note\r\n";
        }
    }
    return text;
}

double NanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// The steps of reading, each a program of its own over the same file, from
// the bare reads up to the general reader with both collects.
std::size_t ReadOnly(const std::string& path) {
    std::size_t bytes = 0;
    ReadFileChunks(path, [&bytes](std::string_view chunk) {
        bytes += chunk.size();
        return true;
    });
    return bytes;
}

std::size_t ListLoadOnly(const std::string& path) {
    ConfigList list = ListNew();
    LoadConfigFile(path, list, '#');
    const std::size_t any = list != nullptr;
    ListClear(list);
    return any;
}

void BenchReader(const fs::path& directory) {
    std::printf(
        "ns per line, medians of 15 rotating rounds: read (the pieces alone), split (+ memchr per LF), sections "
        "(ReadConfigSections, the daemon's), load (LoadConfigFile into the list), list (load + 2 x "
        "CollectSection)\n");
    std::printf("%8s %10s %8s %8s %9s %8s %8s %14s %12s\n", "lines", "bytes", "read", "split", "sections", "load",
                "list", "sections/split", "list/split");
    for (int lines : {1000, 10000, 100000}) {
        const std::string text = MakeConfigText(lines);
        const fs::path path = directory / ("bench" + std::to_string(lines) + ".ini");
        std::ofstream(path, std::ios::binary) << text;
        const std::string file = path.string();
        const int repeats = std::max(1, 2000000 / lines);
        const bench::RoundTimings t = bench::TimeRotating(
            {[&] { ReadOnly(file); }, [&] { bench::SplitLines(file); }, [&] { bench::ReadLikeTheDaemon(file); },
             [&] { ListLoadOnly(file); }, [&] { bench::ReadWithList(file); }},
            15, repeats);
        std::printf("%8d %10zu %8.1f %8.1f %9.1f %8.1f %8.1f %14.3f %12.3f\n", lines, text.size(),
                    t.MedianOf(0) / lines, t.MedianOf(1) / lines, t.MedianOf(2) / lines, t.MedianOf(3) / lines,
                    t.MedianOf(4) / lines, t.MedianRatio(2, 1), t.MedianRatio(4, 1));
        if (bench::ReadLikeTheDaemon(file) != bench::ReadWithList(file)) {
            std::printf("the section reader and the list gathered different lines\n");
            std::exit(1);
        }
    }
}

// Each append walks the whole list: n appends cost about n*n/2 link steps.
void BenchAppendFromHead() {
    std::printf("\nbuilding a list with ListAppend from the head each time (quadratic):\n");
    std::printf("%8s %14s %14s\n", "entries", "ns/entry", "behind tail");
    for (int entries : {1000, 10000}) {
        ConfigList list = ListNew();
        Clock::time_point start = Clock::now();
        for (int i = 0; i < entries; ++i) ListAppend(list, new ConfigEntry());
        const double fromHead = NanosecondsSince(start);
        ListClear(list);

        ConfigEntry* tail = nullptr;
        start = Clock::now();
        for (int i = 0; i < entries; ++i) {
            ConfigEntry* entry = new ConfigEntry();
            ListAppend(tail == nullptr ? list : tail->Next, entry);
            tail = entry;
        }
        const double behindTail = NanosecondsSince(start);
        ListClear(list);
        std::printf("%8d %14.1f %14.1f\n", entries, fromHead / entries, behindTail / entries);
    }
}

}  // namespace

int main() {
    const fs::path directory = fs::temp_directory_path() / "cfgfile_bench";
    fs::create_directories(directory);
    BenchReader(directory);
    BenchAppendFromHead();
    std::error_code ignored;
    fs::remove_all(directory, ignored);
    return 0;
}
