// reader_vs_profile: the daemon's way of reading its settings against the
// platform's GetPrivateProfileSectionA, under Wine, on the same generated
// files as the native comparison with inih.
//
// Daemon: what LoadSettings does. List: the general reader, LoadConfigFile in
// whole-line mode ("#"), CollectSection for "Protocols" and "HiddenWindows",
// the list freed. Split: the floor, the same file read in the same pieces
// and split at each LF with memchr. Platform: one GetPrivateProfileSectionA
// per section. The platform keeps parsed files in
// a cache that it refreshes when the file's write time changes; the daemon
// reads its file once per start, so the file's write time is moved before
// every platform read (outside the timed part) to make it read the file
// afresh. The cached figure is printed as well.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_config.h"
#include "daemon_reading.h"
#include "bench_host.h"
#include "cfgfile.h"
#include "side_by_side.h"

namespace {

constexpr DWORD kSectionBufferSize = 64 * 1024;

// Lines of a section as the platform hands them: zero-terminated texts, one
// after the other, an empty one last.
int CountSectionLines(const std::vector<char>& buffer, DWORD length) {
    int lines = 0;
    for (DWORD i = 0; i < length; ++i) lines += buffer[i] == '\0';
    return lines;
}

int ReadWithPlatform(const std::string& path) {
    std::vector<char> buffer(kSectionBufferSize);
    int lines = 0;
    for (const char* section : {"Protocols", "HiddenWindows"}) {
        const DWORD length = GetPrivateProfileSectionA(section, buffer.data(), kSectionBufferSize, path.c_str());
        lines += CountSectionLines(buffer, length);
    }
    return lines;
}

// A new write time, one second on each call, so the platform's cache sees a
// changed file.
void TouchFile(const std::string& path) {
    static ULONGLONG stamp = 0x01D9000000000000ull;
    stamp += 10000000ull;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(stamp);
    time.dwHighDateTime = static_cast<DWORD>(stamp >> 32);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

double TimeMs(int (*read)(const std::string&), const std::string& path, bool touchFirst) {
    if (touchFirst)
        TouchFile(path);
    const double start = bench::NowMs();
    read(path);
    return bench::NowMs() - start;
}

}  // namespace

int main() {
    char tempDirectory[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, tempDirectory);
    std::printf(
        "Configuration reading under Wine, us per file (daemon: as LoadSettings reads; list: LoadConfigFile + 2 x "
        "CollectSection; platform: 2 x GetPrivateProfileSectionA, file re-read each time, cached: from its cache; "
        "split: the same reads as ours, memchr for each LF)\n");
    std::printf("%7s %9s %8s %8s %9s %8s %7s %12s %11s %10s %12s %4s %4s %4s\n", "lines", "bytes", "daemon", "list",
                "platform", "cached", "split", "daemon/split", "daemon/plat", "list/plat", "daemon/cache", "n", "n",
                "n");
    bool agree = true;
    for (int lines : {1000, 10000, 100000}) {
        const std::string text = bench::MakeHostConfig(lines);
        const std::string path = std::string(tempDirectory) + "orbwick_bench_" + std::to_string(lines) + ".ini";
        std::ofstream(path, std::ios::binary) << text;
        const int daemonLines = bench::ReadLikeTheDaemon(path);
        const int listLines = bench::ReadWithList(path);
        const int platformLines = ReadWithPlatform(path);
        agree = agree && daemonLines == bench::kGatheredLines && listLines == bench::kGatheredLines &&
                platformLines == bench::kGatheredLines && bench::SplitLines(path) == lines;
        const int rounds = lines >= 100000 ? 9 : 21;
        // One call each, in rotating order; the platform's cached read comes
        // right after its re-read, which fills the cache.
        enum { kDaemon, kList, kPlatform, kSplit, kVariants };
        std::vector<double> times[kVariants + 1];
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < kVariants; ++i) {
                switch ((round + i) % kVariants) {
                case kDaemon:
                    times[kDaemon].push_back(TimeMs(&bench::ReadLikeTheDaemon, path, false));
                    break;
                case kList:
                    times[kList].push_back(TimeMs(&bench::ReadWithList, path, false));
                    break;
                case kPlatform:
                    times[kPlatform].push_back(TimeMs(&ReadWithPlatform, path, true));
                    times[kVariants].push_back(TimeMs(&ReadWithPlatform, path, false));
                    break;
                default:
                    times[kSplit].push_back(TimeMs(&bench::SplitLines, path, false));
                    break;
                }
            }
        }
        const auto ratio = [&](int a, int b) {
            std::vector<double> ratios;
            ratios.reserve(static_cast<std::size_t>(rounds));
            for (int round = 0; round < rounds; ++round) ratios.push_back(times[a][round] / times[b][round]);
            return bench::Median(ratios);
        };
        std::printf("%7d %9zu %8.0f %8.0f %9.0f %8.0f %7.0f %12.3f %11.4f %10.4f %12.3f %4d %4d %4d\n", lines,
                    text.size(), bench::Median(times[kDaemon]) * 1000, bench::Median(times[kList]) * 1000,
                    bench::Median(times[kPlatform]) * 1000, bench::Median(times[kVariants]) * 1000,
                    bench::Median(times[kSplit]) * 1000, ratio(kDaemon, kSplit), ratio(kDaemon, kPlatform),
                    ratio(kList, kPlatform), ratio(kDaemon, kVariants), daemonLines, listLines, platformLines);
        DeleteFileA(path.c_str());
    }
    if (!agree) {
        std::printf("the readers did not gather the same %d lines, or the split did not count every line\n",
                    bench::kGatheredLines);
        return 1;
    }
    return 0;
}
