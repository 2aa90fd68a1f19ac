// The ways of reading the daemon's settings that the reading benchmarks
// compare, each returning the number of lines it gathered (or split), so
// that a benchmark can check that the readers it compares agree:
// - ReadLikeTheDaemon: what LoadSettings does, ReadConfigSections for
//   "Protocols" and "HiddenWindows" in whole-line mode ("#");
// - ReadWithList: the general reader, every entry of the file in a list
//   (whole-line mode, "#"), then CollectSection for "Protocols" and
//   "HiddenWindows", then the list freed;
// - SplitLines: the floor, the same file read in the same pieces and split at
//   each LF with memchr, nothing else.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "cfgfile.h"
#include "internal/file_chunks.h"

namespace bench {

inline int CountLines(const Utf16Text& text) {
    int lines = 0;
    for (const Utf16Char c : text) lines += c == u'\n';
    return lines;
}

inline int ReadWithList(const std::string& path) {
    ConfigList list = ListNew();
    LoadConfigFile(path, list, '#');
    const Utf16Text protocols = CollectSection("Protocols", list, false);
    const Utf16Text hidden = CollectSection("HiddenWindows", list, false);
    ListClear(list);
    return CountLines(protocols) + CountLines(hidden);
}

inline int ReadLikeTheDaemon(const std::string& path) {
    SectionRequest sections[] = {{"Protocols", {}}, {"HiddenWindows", {}}};
    ReadConfigSections(path, '#', false, sections, 2);
    return CountLines(sections[0].Text) + CountLines(sections[1].Text);
}

inline int SplitLines(const std::string& path) {
    int lines = 0;
    ReadFileChunks(path, [&lines](std::string_view chunk) {
        const char* at = chunk.data();
        const char* const end = at + chunk.size();
        while (const void* lineEnd = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
            at = static_cast<const char*>(lineEnd) + 1;
            ++lines;
        }
        return true;
    });
    return lines;
}

}  // namespace bench
