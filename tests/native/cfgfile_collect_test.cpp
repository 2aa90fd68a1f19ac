// CollectSection: which entries a section name selects and how they are joined.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "internal/config_reader.h"
#include "internal/section_reader.h"

namespace {

const char kFile[] =
    "k0=before\n"
    "[Protocols]\n"
    "NORVALES=smtp.dll\n"
    "NORVALEP = pop.dll\n"
    "[ hiddenwindows ]\n"
    "NORVALEE=\n"
    "[Other]\n"
    "x=1\n"
    "[PROTOCOLS]\n"
    "NORVALEX=late\n"
    "[Protocolsx]\n"
    "y=2\n"
    "[R\xE9seau]\n"
    "z=3\n";

struct CollectCase {
    const char* Name;
    std::string SectionName;
    bool IncludeValues;
    std::string Expected;  // 8-bit; every character here converts one to one
};

const std::vector<CollectCase> kCollectCases = {
    {"keys of all parts, in file order", "Protocols", false, "NORVALES\r\nNORVALEP\r\nNORVALEX\r\n"},
    {"with values", "protocols", true, "NORVALES smtp.dll\r\nNORVALEP pop.dll\r\nNORVALEX late\r\n"},
    {"empty value still adds the blank", "HiddenWindows", true, "NORVALEE \r\n"},
    {"no prefix match", "Proto", false, ""},
    {"no match of a longer name", "Protocolsxy", false, ""},
    {"the longer section on its own", "PROTOCOLSX", false, "y\r\n"},
    {"8-bit letters matched without case", "R\xC9SEAU", true, "z 3\r\n"},
    {"blanks are part of the name", " Other", false, ""},
    {"absent section", "Missing", true, ""},
    {"empty name, even with entries outside sections", "", true, ""},
};

TEST(CollectSection, SelectsByTable) {
    ConfigList list = ListNew();
    LoadConfigText(kFile, list, '=');
    ASSERT_NE(list, nullptr);
    for (const CollectCase& row : kCollectCases) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(CollectSection(row.SectionName, list, row.IncludeValues), AnsiToUtf16(row.Expected));
    }
    ListClear(list);
}

TEST(CollectSection, EmptyListGivesEmptyText) { EXPECT_TRUE(CollectSection("Protocols", ListNew(), true).empty()); }

// Whole-line mode as the settings use it: bare names read back, comments gone.
TEST(CollectSection, WholeLineModeKeepsLinesWithoutValues) {
    ConfigList list = ListNew();
    LoadConfigText("[HiddenWindows]\r\nNORVALEP\r\nnorvaleS=1 # NORVALEX\r\n; NORVALEW\r\n", list, '#');
    EXPECT_EQ(CollectSection("HIDDENWINDOWS", list, true), AnsiToUtf16("NORVALEP \r\nnorvaleS=1 \r\n"));
    EXPECT_EQ(UpperCaseText(CollectSection("HIDDENWINDOWS", list, false)), AnsiToUtf16("NORVALEP\r\nNORVALES=1\r\n"));
    ListClear(list);
}

}  // namespace

// The section reader gives the same texts straight from the bytes, each row
// alone and all rows of one kind in one read.
TEST(CollectSection, SectionReaderSelectsByTheSameTable) {
    std::vector<SectionRequest> together[2];
    std::vector<std::string> expected[2];
    for (const CollectCase& row : kCollectCases) {
        SCOPED_TRACE(row.Name);
        SectionRequest alone[] = {{row.SectionName, AnsiToUtf16("stale")}};
        ReadSectionsOfText(kFile, '=', row.IncludeValues, alone, 1);
        EXPECT_EQ(alone[0].Text, AnsiToUtf16(row.Expected));
        together[row.IncludeValues].push_back({row.SectionName, {}});
        expected[row.IncludeValues].push_back(row.Expected);
    }
    for (const bool includeValues : {false, true}) {
        std::vector<SectionRequest>& requests = together[includeValues];
        ReadSectionsOfText(kFile, '=', includeValues, requests.data(), requests.size());
        for (std::size_t i = 0; i < requests.size(); ++i)
            EXPECT_EQ(requests[i].Text, AnsiToUtf16(expected[includeValues][i])) << requests[i].Name;
    }
}
