// reader_vs_profile: the daemon's way of reading its settings against the
// platform's GetPrivateProfileSectionA, under Wine, on the same generated
// files as the native comparison with inih.
//
// Ours: LoadConfigFile in whole-line mode ("#"), CollectSection for
// "Protocols" and "HiddenWindows", the list freed. Platform: one
// GetPrivateProfileSectionA per section. The platform keeps parsed files in
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
        "Configuration reading under Wine (ours: LoadConfigFile + 2 x CollectSection; platform: 2 x "
        "GetPrivateProfileSectionA, file re-read each time)\n");
    std::printf("%8s %10s %12s %12s %12s %12s %12s %6s %6s\n", "lines", "bytes", "ours us", "platform us", "ours/plat",
                "cached us", "ours/cached", "ours n", "plat n");
    bool agree = true;
    for (int lines : {1000, 10000, 100000}) {
        const std::string text = bench::MakeHostConfig(lines);
        const std::string path = std::string(tempDirectory) + "orbwick_bench_" + std::to_string(lines) + ".ini";
        std::ofstream(path, std::ios::binary) << text;
        const int oursLines = bench::ReadLikeTheDaemon(path);
        const int platformLines = ReadWithPlatform(path);
        agree = agree && oursLines == bench::kGatheredLines && platformLines == bench::kGatheredLines;
        const int rounds = lines >= 100000 ? 9 : 21;
        std::vector<double> ours, platform, cached, ratios, cachedRatios;
        for (int round = 0; round < rounds; ++round) {
            const bool oursFirst = round % 2 == 0;
            const double a1 = oursFirst ? TimeMs(&bench::ReadLikeTheDaemon, path, false) : 0;
            const double p = TimeMs(&ReadWithPlatform, path, true);
            const double c = TimeMs(&ReadWithPlatform, path, false);
            const double a = oursFirst ? a1 : TimeMs(&bench::ReadLikeTheDaemon, path, false);
            ours.push_back(a);
            platform.push_back(p);
            cached.push_back(c);
            ratios.push_back(a / p);
            cachedRatios.push_back(a / c);
        }
        std::printf("%8d %10zu %12.0f %12.0f %12.4f %12.0f %12.3f %6d %6d\n", lines, text.size(),
                    bench::Median(ours) * 1000, bench::Median(platform) * 1000, bench::Median(ratios),
                    bench::Median(cached) * 1000, bench::Median(cachedRatios), oursLines, platformLines);
        DeleteFileA(path.c_str());
    }
    if (!agree) {
        std::printf("the readers did not gather the same %d lines\n", bench::kGatheredLines);
        return 1;
    }
    return 0;
}
