// The Windows half of SysutilsMini: the user's locale does the upper-casing
// and the system's default ANSI code page (CP_ACP) the conversions.
#include "sysutils_mini.h"

#include <windows.h>

#include <climits>

namespace {

// The Win32 text functions count in int / DWORD. Texts of the daemon are a
// few kilobytes at most; a longer one is converted up to this limit rather
// than have its length wrap around.
int ClampedLength(std::size_t length) {
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // namespace

Utf16Text UpperCaseText(Utf16Text text) {
    if (!text.empty())
        CharUpperBuffW(&text[0], static_cast<DWORD>(ClampedLength(text.size())));
    return text;
}

Utf16Text AnsiToUtf16(std::string_view text) {
    const int length = ClampedLength(text.size());
    if (length == 0)
        return Utf16Text();
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return Utf16Text();
    Utf16Text result(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, &result[0], needed);
    result.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return result;
}

bool AppendAnsiAsUtf16(Utf16Text& text, std::string_view ansi) {
    const int length = ClampedLength(ansi.size());
    if (length == 0)
        return true;
    const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (needed <= 0)
        return false;
    const std::size_t old = text.size();
    text.resize(old + static_cast<std::size_t>(needed));
    const int written = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &text[old], needed);
    text.resize(old + (written > 0 ? static_cast<std::size_t>(written) : 0));
    return written == needed;
}

std::string Utf16ToAnsi(Utf16View text) {
    const int length = ClampedLength(text.size());
    if (length == 0)
        return std::string();
    // No explicit default character: the code page's own is used for every
    // character it cannot represent.
    const int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::string();
    std::string result(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, text.data(), length, &result[0], needed, nullptr, nullptr);
    result.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return result;
}
