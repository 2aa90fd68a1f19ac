// reader_vs_inih: the daemon's way of reading its settings against the inih
// library, on the same generated files of 1,000, 10,000 and 100,000 lines.
//
// Daemon: what LoadSettings does. List: the general reader, LoadConfigFile in
// whole-line mode ("#") into the entry list, then CollectSection for
// "Protocols" and "HiddenWindows", then the list freed. Split: the floor, the
// same file read in the same pieces and split at each LF with memchr.
// inih: ini_parse of the file with a handler that appends "name=value" CR LF
// for every pair of those two sections (names compared without case) and
// ignores the rest; inih keeps nothing else.
#include <ini.h>
#include <strings.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_config.h"
#include "daemon_reading.h"
#include "cfgfile.h"
#include "side_by_side.h"

namespace {

namespace fs = std::filesystem;

struct Gathered {
    std::string Text;
    int Lines = 0;
};

int GatherTwoSections(void* user, const char* section, const char* name, const char* value) {
    if (strcasecmp(section, "Protocols") == 0 || strcasecmp(section, "HiddenWindows") == 0) {
        Gathered& gathered = *static_cast<Gathered*>(user);
        gathered.Text += name;
        gathered.Text += '=';
        gathered.Text += value;
        gathered.Text += "\r\n";
        ++gathered.Lines;
    }
    return 1;
}

int ReadWithInih(const std::string& path) {
    Gathered gathered;
    ini_parse(path.c_str(), &GatherTwoSections, &gathered);
    return gathered.Lines;
}

}  // namespace

int main() {
    const fs::path directory = fs::temp_directory_path() / "reader_vs_inih";
    fs::create_directories(directory);
    std::printf(
        "Configuration reading, native, ns per line (daemon: as LoadSettings reads; list: LoadConfigFile + 2 x "
        "CollectSection; inih: ini_parse; split: the same reads, memchr for each LF)\n");
    std::printf("%8s %10s %9s %9s %9s %9s %12s %12s %12s %12s %4s %4s %4s\n", "lines", "bytes", "daemon", "list",
                "inih", "split", "daemon/split", "daemon/inih", "list/split", "list/inih", "n", "n", "n");
    bool agree = true;
    for (int lines : {1000, 10000, 100000}) {
        const std::string text = bench::MakeHostConfig(lines);
        const std::string path = (directory / ("host" + std::to_string(lines) + ".ini")).string();
        std::ofstream(path, std::ios::binary) << text;
        const int daemonLines = bench::ReadLikeTheDaemon(path);
        const int listLines = bench::ReadWithList(path);
        const int inihLines = ReadWithInih(path);
        const int splitLines = bench::SplitLines(path);
        agree = agree && daemonLines == bench::kGatheredLines && listLines == bench::kGatheredLines &&
                inihLines == bench::kGatheredLines && splitLines == lines;
        // About 20 ms per timed block, 21 rotating rounds.
        const int repeats = std::max(1, 2000000 / lines);
        const bench::RoundTimings t =
            bench::TimeRotating({[&] { bench::ReadLikeTheDaemon(path); }, [&] { bench::ReadWithList(path); },
                                 [&] { ReadWithInih(path); }, [&] { bench::SplitLines(path); }},
                                21, repeats);
        enum { kDaemon, kList, kInih, kSplit };
        std::printf("%8d %10zu %9.1f %9.1f %9.1f %9.1f %12.3f %12.3f %12.3f %12.3f %4d %4d %4d\n", lines, text.size(),
                    t.MedianOf(kDaemon) / lines, t.MedianOf(kList) / lines, t.MedianOf(kInih) / lines,
                    t.MedianOf(kSplit) / lines, t.MedianRatio(kDaemon, kSplit), t.MedianRatio(kDaemon, kInih),
                    t.MedianRatio(kList, kSplit), t.MedianRatio(kList, kInih), daemonLines, listLines, inihLines);
    }
    std::error_code ignored;
    fs::remove_all(directory, ignored);
    if (!agree) {
        std::printf("the readers did not gather the same %d lines, or the split did not count every line\n",
                    bench::kGatheredLines);
        return 1;
    }
    return 0;
}
