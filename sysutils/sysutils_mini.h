// SysutilsMini: the text helpers of the configuration reader and the settings,
// and the small platform seam behind them.
//
// On Windows, UTF-16 texts are std::wstring and the platform does the work
// (CharUpperBuffW, the system's default ANSI code page). The native build,
// used for fast tests, sanitizers, fuzzing and benchmarks, has a documented
// stand-in: 8-bit texts are taken as Latin-1 (each byte one code unit), and
// upper-casing maps a-z and the Latin-1 letters a-grave to thorn (but not the
// division sign), plus y-diaeresis to U+0178; every other code unit is kept.
#pragma once

#include <string>
#include <string_view>

#ifdef _WIN32
using Utf16Char = wchar_t;
#else
using Utf16Char = char16_t;
#endif
using Utf16Text = std::basic_string<Utf16Char>;
using Utf16View = std::basic_string_view<Utf16Char>;

// Returns a copy of text upper-cased over its whole length by the user's
// locale rules (Windows: CharUpperBuffW). An empty text stays empty.
Utf16Text UpperCaseText(Utf16Text text);

// Removes from both ends every character whose code is 0 to 32 (blank, tab,
// CR, LF and the other control characters). Bytes are compared as unsigned:
// 0x80 and above are characters and are never trimmed.
std::string TrimText(std::string_view text);

// TrimText's rule as a view into the same bytes, for callers that trim many
// texts and keep few of them (the configuration reader).
std::string_view TrimmedView(std::string_view text);

// True for codes 0 to 32, the blank and the control characters; the byte is
// taken as unsigned, so 0x80 and above (letters in most code pages) never are.
inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// Conversions between 8-bit texts in the system's default code page and
// UTF-16. A character without a mapping becomes the code page's default
// character. When the platform refuses a conversion (out of memory, say) the
// result is empty: a caller that must tell an empty text from a lost one
// uses AppendAnsiAsUtf16.
Utf16Text AnsiToUtf16(std::string_view text);
// text += AnsiToUtf16(ansi), without a text of its own in between (for
// callers that join many short texts, like the section reader). Returns
// false when the conversion failed; text then holds nothing of ansi.
bool AppendAnsiAsUtf16(Utf16Text& text, std::string_view ansi);
std::string Utf16ToAnsi(Utf16View text);
