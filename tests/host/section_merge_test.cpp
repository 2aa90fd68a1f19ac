// The configuration file merge of the stand-in host: the named section gets the
// new lines, every other byte of the file stays as it was.

#include <gtest/gtest.h>

#include <string>

#include "section_merge.h"

namespace {

struct MergeRow {
    const char* name;
    std::string ini;
    std::string section;
    std::string update;
    std::string expected;
};

TEST(SectionMerge, ReplacesTheSectionAndKeepsEveryOtherByte) {
    const MergeRow rows[] = {
        {"middle section, CR LF",
         "; top\r\n[Protocols]\r\nNORVALES\r\n[HiddenWindows]\r\nNORVALEP\r\n[Other]\r\nA=1\r\n", "HiddenWindows",
         "NORVALES\r\nNORVALED\r\n",
         "; top\r\n[Protocols]\r\nNORVALES\r\n[HiddenWindows]\r\nNORVALES\r\nNORVALED\r\n[Other]\r\nA=1\r\n"},
        {"last section without final line end", "[A]\r\nx\r\n[HiddenWindows]\r\nNORVALEP", "HiddenWindows",
         "NORVALEE\r\n", "[A]\r\nx\r\n[HiddenWindows]\r\nNORVALEE\r\n"},
        {"empty update empties the body", "[HiddenWindows]\r\nNORVALEP\r\nNORVALEE\r\n[B]\r\n", "HiddenWindows", "",
         "[HiddenWindows]\r\n[B]\r\n"},
        {"header in other case, kept as written", "[ hiddenWINDOWS ]  \r\nNORVALEP\r\n", "HiddenWindows",
         "NORVALEX\r\n", "[ hiddenWINDOWS ]  \r\nNORVALEX\r\n"},
        {"LF file gets LF lines", "[A]\nk=v\n[HiddenWindows]\nNORVALEP\n", "HiddenWindows", "NORVALES\r\nNORVALEB\r\n",
         "[A]\nk=v\n[HiddenWindows]\nNORVALES\nNORVALEB\n"},
        {"missing section appended", "[A]\r\nk=v\r\n", "HiddenWindows", "NORVALEP\r\n",
         "[A]\r\nk=v\r\n[HiddenWindows]\r\nNORVALEP\r\n"},
        {"missing section, file without final line end", "[A]\r\nk=v", "HiddenWindows", "NORVALEP\r\n",
         "[A]\r\nk=v\r\n[HiddenWindows]\r\nNORVALEP\r\n"},
        {"empty file", "", "HiddenWindows", "NORVALEP\r\n", "[HiddenWindows]\r\nNORVALEP\r\n"},
        {"empty file, empty update", "", "HiddenWindows", "", "[HiddenWindows]\r\n"},
        {"blank and comment lines before the next header stay", "[HiddenWindows]\r\nNORVALEP\r\n\r\n; next\r\n[B]\r\n",
         "HiddenWindows", "NORVALEC\r\n", "[HiddenWindows]\r\nNORVALEC\r\n\r\n; next\r\n[B]\r\n"},
        {"later duplicates removed",
         "[HiddenWindows]\r\nNORVALEP\r\n[B]\r\nb\r\n[HIDDENWINDOWS]\r\nNORVALEE\r\n[C]\r\n", "HiddenWindows",
         "NORVALES\r\n", "[HiddenWindows]\r\nNORVALES\r\n[B]\r\nb\r\n[C]\r\n"},
        {"name inside another section name does not match", "[HiddenWindowsOld]\r\nNORVALEP\r\n", "HiddenWindows",
         "NORVALES\r\n", "[HiddenWindowsOld]\r\nNORVALEP\r\n[HiddenWindows]\r\nNORVALES\r\n"},
        {"header as last line without line end", "[A]\r\n[HiddenWindows]", "HiddenWindows", "NORVALES\r\n",
         "[A]\r\n[HiddenWindows]\r\nNORVALES\r\n"},
        {"update lines without final line end, LF and CR", "[HiddenWindows]\r\n", "HiddenWindows", "A\nB\rC",
         "[HiddenWindows]\r\nA\r\nB\r\nC\r\n"},
        {"8-bit bytes elsewhere untouched", "[A]\r\nk=\xe9\xff\x01\r\n[HiddenWindows]\r\nX\r\n", "HiddenWindows",
         "Y\r\n", "[A]\r\nk=\xe9\xff\x01\r\n[HiddenWindows]\r\nY\r\n"},
        {"bracket line without close is not a header", "[HiddenWindows]\r\nNORVALEP\r\n[broken\r\nNORVALEE\r\n[B]\r\n",
         "HiddenWindows", "", "[HiddenWindows]\r\n[B]\r\n"},
    };
    for (const MergeRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(MergeSectionText(row.ini, row.section, row.update), row.expected);
    }
}

TEST(SectionMerge, HeaderTextGivesTheSectionName) {
    const struct {
        const char* header;
        const char* name;  // nullptr: not a header
    } rows[] = {
        {"[HiddenWindows]", "HiddenWindows"},
        {"  [ Hidden Windows ] ", "Hidden Windows"},
        {"HiddenWindows", nullptr},
        {"[]", nullptr},
        {"[  ]", nullptr},
        {"[a]b]", nullptr},
        {"[HiddenWindows", nullptr},
        {"", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.header);
        const auto name = SectionNameFromHeader(row.header);
        ASSERT_EQ(name.has_value(), row.name != nullptr);
        if (row.name != nullptr) {
            EXPECT_EQ(*name, row.name);
        }
    }
}

TEST(SectionMerge, BodyTextJoinsOccurrencesWithoutComments) {
    const std::string ini =
        "[Protocols]\r\nNORVALES=a.dll ; SMTP\r\n; NORVALEB\r\n\r\n[Other]\r\nNORVALEX\r\n[protocols]\r\nNORVALEP\r\n";
    EXPECT_EQ(SectionBodyText(ini, "Protocols"), "NORVALES=a.dll\nNORVALEP\n");
    EXPECT_EQ(SectionBodyText(ini, "Missing"), "");
}

}  // namespace
