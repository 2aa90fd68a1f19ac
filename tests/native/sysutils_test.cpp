// SysutilsMini: trimming, and the native stand-in of the text seam.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sysutils_mini.h"

namespace {

using namespace std::string_literals;

TEST(TrimText, RemovesCodesUpTo32AtBothEnds) {
    const struct {
        const char* Name;
        std::string Text;
        std::string Expected;
    } rows[] = {
        {"empty", "", ""},
        {"blanks only", " \t\r\n ", ""},
        {"inner blanks kept", "\t a  b \r\n", "a  b"},
        {"all controls",
         "\x01\x1f"
         "x\x1a\x7f\x1f",
         "x\x1a\x7f"},
        {"NUL at both ends", "\0 x \0"s, "x"},
        {"33 is not trimmed", "!x!", "!x!"},
        {"upper half never trimmed", "\x80\xA0x\xFF\xA0", "\x80\xA0x\xFF\xA0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(TrimText(row.Text), row.Expected);
    }
}

TEST(UpperCaseText, NativeStandInMapsLatin1Letters) {
    const struct {
        const char* Name;
        Utf16Text Text;
        Utf16Text Expected;
    } rows[] = {
        {"empty", u"", u""},
        {"ASCII", u"az AZ 09 {}`@", u"AZ AZ 09 {}`@"},
        {"a-grave to thorn", u"\u00E0\u00E9\u00FE", u"\u00C0\u00C9\u00DE"},
        {"division sign kept", u"\u00F7", u"\u00F7"},
        {"sharp s kept", u"\u00DF", u"\u00DF"},
        {"y-diaeresis", u"\u00FF", u"\u0178"},
        {"beyond Latin-1 kept", u"\u0101\u03B1", u"\u0101\u03B1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(UpperCaseText(row.Text), row.Expected);
    }
}

TEST(AnsiConversion, NativeStandInIsLatin1) {
    std::string everyByte;
    for (int code = 1; code < 256; ++code) everyByte.push_back(static_cast<char>(code));
    const Utf16Text wide = AnsiToUtf16(everyByte);
    ASSERT_EQ(wide.size(), everyByte.size());
    for (std::size_t i = 0; i < wide.size(); ++i)
        ASSERT_EQ(wide[i], static_cast<unsigned char>(everyByte[i])) << "byte " << i + 1;
    EXPECT_EQ(Utf16ToAnsi(wide), everyByte);
    EXPECT_EQ(Utf16ToAnsi(u"a\u0100\u20ACb"), "a??b");
}

TEST(AnsiConversion, AppendingConvertsAsAnsiToUtf16) {
    std::string everyByte;
    for (int code = 0; code < 256; ++code) everyByte.push_back(static_cast<char>(code));
    Utf16Text text = u"ab";
    AppendAnsiAsUtf16(text, everyByte);
    AppendAnsiAsUtf16(text, "");
    EXPECT_EQ(text, u"ab" + AnsiToUtf16(everyByte));
}

}  // namespace
