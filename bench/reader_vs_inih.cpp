// reader_vs_inih: the daemon's way of reading its settings against the inih
// library, on the same generated files of 1,000, 10,000 and 100,000 lines.
//
// Ours: LoadConfigFile in whole-line mode ("#") into the entry list, then
// CollectSection for "Protocols" and "HiddenWindows" (upper-cased UTF-16
// text of the keys), then the list freed: exactly what LoadSettings does.
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
    std::printf("Configuration reading, native (ours: LoadConfigFile + 2 x CollectSection; inih: ini_parse)\n");
    std::printf("%8s %10s %12s %12s %10s %8s %8s\n", "lines", "bytes", "ours ns/ln", "inih ns/ln", "ours/inih",
                "ours n", "inih n");
    bool agree = true;
    for (int lines : {1000, 10000, 100000}) {
        const std::string text = bench::MakeHostConfig(lines);
        const std::string path = (directory / ("host" + std::to_string(lines) + ".ini")).string();
        std::ofstream(path, std::ios::binary) << text;
        const int oursLines = bench::ReadLikeTheDaemon(path);
        const int inihLines = ReadWithInih(path);
        agree = agree && oursLines == bench::kGatheredLines && inihLines == bench::kGatheredLines;
        // About 20 ms per timed block, 21 alternating rounds.
        const int repeats = std::max(1, 2000000 / lines);
        const bench::PairTiming t =
            bench::TimePair([&] { bench::ReadLikeTheDaemon(path); }, [&] { ReadWithInih(path); }, 21, repeats);
        std::printf("%8d %10zu %12.1f %12.1f %10.3f %8d %8d\n", lines, text.size(), t.MedianA / lines,
                    t.MedianB / lines, t.MedianRatio, oursLines, inihLines);
    }
    std::error_code ignored;
    fs::remove_all(directory, ignored);
    if (!agree) {
        std::printf("the readers did not gather the same %d lines\n", bench::kGatheredLines);
        return 1;
    }
    return 0;
}
