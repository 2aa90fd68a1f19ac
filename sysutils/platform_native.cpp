// Native stand-in for the Windows text services, used by the host-compiled
// tests, the fuzzer and the benchmarks. 8-bit texts are Latin-1: each byte is
// the code unit of the same value, which is also what code page 1252 gives for
// every letter the upper-casing below knows.
#include "sysutils_mini.h"

namespace {

constexpr Utf16Char kDefaultAnsiChar = u'?';
constexpr Utf16Char kLatin1Last = 0xFF;
constexpr Utf16Char kSmallYDiaeresis = 0xFF;
constexpr Utf16Char kCapitalYDiaeresis = 0x178;
constexpr Utf16Char kDivisionSign = 0xF7;
// Distance between a small letter and its capital in ASCII and in Latin-1.
constexpr Utf16Char kCaseOffset = 0x20;

Utf16Char UpperCaseChar(Utf16Char c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<Utf16Char>(c - kCaseOffset);
    // a-grave (0xE0) to thorn (0xFE): the capitals stand 0x20 lower.
    if (c >= 0xE0 && c <= 0xFE && c != kDivisionSign)
        return static_cast<Utf16Char>(c - kCaseOffset);
    if (c == kSmallYDiaeresis)
        return kCapitalYDiaeresis;
    return c;
}

}  // namespace

Utf16Text UpperCaseText(Utf16Text text) {
    for (Utf16Char& c : text) c = UpperCaseChar(c);
    return text;
}

Utf16Text AnsiToUtf16(std::string_view text) {
    Utf16Text result;
    result.reserve(text.size());
    for (char c : text) result.push_back(static_cast<unsigned char>(c));
    return result;
}

bool AppendAnsiAsUtf16(Utf16Text& text, std::string_view ansi) {
    for (char c : ansi) text.push_back(static_cast<unsigned char>(c));
    return true;
}

std::string Utf16ToAnsi(Utf16View text) {
    std::string result;
    result.reserve(text.size());
    for (Utf16Char c : text) result.push_back(static_cast<char>(c <= kLatin1Last ? c : kDefaultAnsiChar));
    return result;
}
