// The platform-free half of SysutilsMini. The other half, upper-casing and the
// code page conversions, lives in platform_win32.cpp / platform_native.cpp.
#include "sysutils_mini.h"

std::string_view TrimmedView(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlankOrControl(text[first])) ++first;
    while (last > first && IsBlankOrControl(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string TrimText(std::string_view text) { return std::string(TrimmedView(text)); }
