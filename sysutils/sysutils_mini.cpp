// The platform-free half of SysutilsMini. The other half, upper-casing and the
// code page conversions, lives in platform_win32.cpp / platform_native.cpp.
#include "sysutils_mini.h"

namespace {

// Codes 0 to 32 are the blank and the control characters. The byte is taken
// as unsigned so that the upper half of the code page (0x80 and above, letters
// in most code pages) is never mistaken for a control character.
bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string TrimText(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlankOrControl(text[first]))
        ++first;
    while (last > first && IsBlankOrControl(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}
