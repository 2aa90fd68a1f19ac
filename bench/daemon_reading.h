// The daemon's way of reading its settings, as every reading benchmark times
// it: the whole file loaded in whole-line mode ("#"), "Protocols" and
// "HiddenWindows" collected, the list freed. Returns the number of lines the
// two sections gave, so that each benchmark can check that the readers it
// compares gathered the same lines.
#pragma once

#include <string>

#include "cfgfile.h"

namespace bench {

inline int CountLines(const Utf16Text& text) {
    int lines = 0;
    for (const Utf16Char c : text) lines += c == u'\n';
    return lines;
}

inline int ReadLikeTheDaemon(const std::string& path) {
    ConfigList list = ListNew();
    LoadConfigFile(path, list, '#');
    const Utf16Text protocols = CollectSection("Protocols", list, false);
    const Utf16Text hidden = CollectSection("HiddenWindows", list, false);
    ListClear(list);
    return CountLines(protocols) + CountLines(hidden);
}

}  // namespace bench
