// How the reader turns bytes into entries: line ends, trimming, the 128
// character cut, headers, comments and separators.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "internal/config_reader.h"
#include "internal/section_reader.h"
#include "entry_rows.h"

namespace {

using namespace std::string_literals;

std::vector<EntryRow> Load(const std::string& bytes, char separator) {
    ConfigList list = ListNew();
    LoadConfigText(bytes, list, separator);
    std::vector<EntryRow> rows = RowsOf(list);
    ListClear(list);
    return rows;
}

struct LineCase {
    const char* Name;
    std::string Bytes;
    char Separator;
    std::vector<EntryRow> Expected;
};

const std::string k126(126, 'x');
const std::string k127(127, 'k');
const std::string kBlanks200(200, ' ');

const std::vector<LineCase> kLineCases = {
    {"key, blanks, value and trailing comment", "key  =  value  # note\n", '=', {{"", "key", "value"}}},
    {"separator 0 stands for =", "key  =  value  # note\n", '\0', {{"", "key", "value"}}},
    {"# selects whole-line mode, = kept", "[S]\nNORVALES = smtp.dll ; x\n", '#', {{"S", "NORVALES = smtp.dll", ""}}},
    {"; selects whole-line mode", "[S]\nNORVALES = smtp.dll # x\n", ';', {{"S", "NORVALES = smtp.dll", ""}}},
    {"comment lines after leading blanks", "   # a=1\n\t; b=2\nc=3\n", '=', {{"", "c", "3"}}},
    {"# is cut before ; is looked for", "a=b;c#d\n;x#y\n", '=', {{"", "a", "b"}}},
    {"line without separator dropped", "novalue\n", '=', {}},
    {"separator first gives empty key", "=v\n", '=', {{"", "", "v"}}},
    {"later separators belong to the value", "a = b = c\n", '=', {{"", "a", "b = c"}}},
    {"other separator, = is plain", "a : b=c\n", ':', {{"", "a", "b=c"}}},
    {"tab as separator", "a\tb\n", '\t', {{"", "a", "b"}}},
    {"CR LF ends a line", "a=1\r\nb=2\r\n", '=', {{"", "a", "1"}, {"", "b", "2"}}},
    {"LF alone ends a line; last line needs no end", "a=1\nb=2", '=', {{"", "a", "1"}, {"", "b", "2"}}},
    {"lone CR dropped, line goes on", "abc\rdef=1\n", '=', {{"", "abcdef", "1"}}},
    {"CR CR LF is one line end", "a=1\r\r\nb=2\n", '=', {{"", "a", "1"}, {"", "b", "2"}}},
    {"CR at the very end", "a=1\r", '=', {{"", "a", "1"}}},
    {"Ctrl-Z ends the file",
     "a=1\n\x1a"
     "b=2\n",
     '=',
     {{"", "a", "1"}}},
    {"line before Ctrl-Z counts",
     "a=1\x1a"
     "b=2\n",
     '=',
     {{"", "a", "1"}}},
    {"Ctrl-Z directly after CR", "a=1\r\x1a\nb=2\n", '=', {{"", "a", "1"}}},
    {"header name trimmed, rest ignored", "[  My Sec\t] k=v # x\nk=v\n", '=', {{"My Sec", "k", "v"}}},
    {"# and ; plain in a header", "[a#b;c]\nk=v\n", '=', {{"a#b;c", "k", "v"}}},
    {"header without ] keeps the section", "[S]\n[T\nk=v\n", '=', {{"S", "k", "v"}}},
    {"blank header empties the section", "[S]\n[   ]\nk=v\n", '=', {{"", "k", "v"}}},
    {"entries before the first header", "k=v\n[S]\nl=w\n", '=', {{"", "k", "v"}, {"S", "l", "w"}}},
    {"] at character 128 ends a header", "[" + k126 + "]\nk=v\n", '=', {{k126, "k", "v"}}},
    {"] at character 129 is not seen", "[S]\n[" + k126 + "x]\nk=v\n", '=', {{"S", "k", "v"}}},
    {"separator at character 128", k127 + "=value\n", '=', {{"", k127, ""}}},
    {"separator at character 129 is not seen", k127 + "k=v\n", '=', {}},
    {"longest entry: 126-character section, 128-character line",
     "[" + k126 + "]\n" + k127 + "k#x\n",
     '#',
     {{k126, k127 + "k", ""}}},
    {"value cut with the line", "k=" + std::string(200, 'v') + "\n", '=', {{"", "k", std::string(126, 'v')}}},
    {"leading blanks do not count to 128", "          " + k127 + "=v\n", '=', {{"", k127, ""}}},
    {"blank separator inside the kept part", "key" + std::string(125, ' ') + "x\n", ' ', {{"", "key", ""}}},
    {"trailing blanks are not a separator", "key" + kBlanks200 + "\n", ' ', {}},
    {"tabs and controls trimmed", "\t k \t=\t v \x01\n", '=', {{"", "k", "v"}}},
    {"bytes from 0x80 are never trimmed", "\xA0k\xE9 = \xFFv\xA0\n", '=', {{"", "\xA0k\xE9", "\xFFv\xA0"}}},
    {"NUL trimmed at the ends, kept inside", "\0k\0x=v\0\n"s, '=', {{"", "k\0x"s, "v"}}},
    {"BOM: first line is no header", "\xEF\xBB\xBF[S]\nk=v\n", '=', {{"", "k", "v"}}},
    {"BOM: first line taken whole", "\xEF\xBB\xBF[S]\nk=v\n", '#', {{"", "\xEF\xBB\xBF[S]", ""}, {"", "k=v", ""}}},
    {"repeated section", "[A]\na=1\n[B]\nb=2\n[A]\nc=3\n", '=', {{"A", "a", "1"}, {"B", "b", "2"}, {"A", "c", "3"}}},
    {"empty file", "", '=', {}},
    {"blank lines only", "\r\n \t\n\r\n", '#', {}},
    {"comments only", "# one\n; two\n  #three\n", '#', {}},
};

TEST(ConfigLines, RulesByTable) {
    for (const LineCase& row : kLineCases) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(Load(row.Bytes, row.Separator), row.Expected);
    }
}

// Appending goes to the end of the caller's list, in file order.
TEST(ConfigLines, AppendsBehindExistingEntries) {
    ConfigList list = ListNew();
    LoadConfigText("[A]\na=1\nb=2\n", list, '=');
    LoadConfigText("c=3\n[B]\nd=4\n", list, '=');
    const std::vector<EntryRow> expected = {{"A", "a", "1"}, {"A", "b", "2"}, {"", "c", "3"}, {"B", "d", "4"}};
    EXPECT_EQ(RowsOf(list), expected);
    ListClear(list);
    EXPECT_EQ(list, nullptr);
}

// Random files fed in random pieces must give what the whole file gives:
// a CR LF, a Ctrl-Z or a 128th character may fall on any piece boundary.
TEST(ConfigLines, PiecesGiveWhatTheWholeGives) {
    const unsigned seed = std::random_device()();
    std::printf("PiecesGiveWhatTheWholeGives seed %u\n", seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const std::string alphabet =
        "[]=#;:\r\n\r\n \t\x1a\xE9\xFF"
        "abcXYZ"s +
        '\0';
    const char separators[] = {'\0', '=', ':', '#', ';', ' '};
    for (int round = 0; round < 300; ++round) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(0, 600)(random), '\0');
        for (char& c : bytes) {
            // Mostly letters, so that lines grow past 128 characters too.
            const bool letter = std::uniform_int_distribution<int>(0, 3)(random) != 0;
            c = letter ? 'a' : alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
        }
        const char separator = separators[round % sizeof separators];
        SCOPED_TRACE("round " + std::to_string(round));

        ConfigList whole = ListNew();
        LoadConfigText(bytes, whole, separator);

        ConfigList pieces = ListNew();
        ConfigReader reader;
        StartConfigRead(reader, pieces, separator);
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 7)(random);
            FeedConfigBytes(reader, std::string_view(bytes).substr(at, size));
            at += size;
        }
        FinishConfigRead(reader);

        EXPECT_EQ(RowsOf(pieces), RowsOf(whole));
        ListClear(whole);
        ListClear(pieces);
    }
}

TEST(ConfigLines, FeedingStopsAtCtrlZ) {
    ConfigList list = ListNew();
    ConfigReader reader;
    StartConfigRead(reader, list, '=');
    EXPECT_TRUE(FeedConfigBytes(reader, "a=1\r"));
    EXPECT_FALSE(FeedConfigBytes(reader,
                                 "\x1a"
                                 "b=2\n"));
    EXPECT_FALSE(FeedConfigBytes(reader, "c=3\n"));
    FinishConfigRead(reader);
    const std::vector<EntryRow> expected = {{"", "a", "1"}};
    EXPECT_EQ(RowsOf(list), expected);
    ListClear(list);
}

// What the section reader gives for these names, bytes fed in pieces of
// pieceSize (0: all at once), against CollectSection on the general reader's
// list of the same bytes.
void ExpectSectionsAsCollected(const std::string& bytes, char separator, const std::vector<std::string>& names,
                               std::size_t pieceSize) {
    ConfigList list = ListNew();
    LoadConfigText(bytes, list, separator);
    for (const bool includeValues : {false, true}) {
        std::vector<SectionRequest> requests(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) requests[i].Name = names[i];
        SectionReader reader;
        StartSectionRead(reader, separator, includeValues, requests.data(), requests.size());
        const std::size_t step = pieceSize == 0 ? bytes.size() + 1 : pieceSize;
        for (std::size_t at = 0; at < bytes.size(); at += step)
            FeedSectionBytes(reader, std::string_view(bytes).substr(at, step));
        FinishSectionRead(reader);
        for (const SectionRequest& request : requests)
            EXPECT_EQ(request.Text, CollectSection(request.Name, list, includeValues)) << "[" << request.Name << "]";
    }
    ListClear(list);
}

// Every row read by the section reader, asked for the sections of its
// entries and for one that is not there.
TEST(ConfigLines, SectionReaderReadsTheTableAlike) {
    for (const LineCase& row : kLineCases) {
        SCOPED_TRACE(row.Name);
        std::vector<std::string> names = {"Protocols"};
        for (const EntryRow& entry : row.Expected) names.push_back(entry.Section);
        ExpectSectionsAsCollected(row.Bytes, row.Separator, names, 0);
        ExpectSectionsAsCollected(row.Bytes, row.Separator, names, 1);
    }
}

// Random files of headers in changing letter case, comments and line ends,
// fed in random pieces: the sections asked for come out as collected.
TEST(ConfigLines, SectionReaderOnRandomFiles) {
    const unsigned seed = std::random_device()();
    std::printf("SectionReaderOnRandomFiles seed %u\n", seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<std::string> tokens = {"[Protocols]", "[PROTOCOLS",  "[ protocols ]x",
                                       "[R\xE9seau]", "[R\xC9SEAU]", "[]",
                                       "NORVALES",    "a=b",         "#c",
                                       ";d",          " ",           "\t",
                                       "\r",          "\n",          "\r\n",
                                       "\x1a"};
    tokens.emplace_back(130, 'k');
    const char separators[] = {'\0', '=', '#', ' '};
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string bytes;
        const int count = std::uniform_int_distribution<int>(0, 40)(random);
        for (int i = 0; i < count; ++i)
            bytes += tokens[std::uniform_int_distribution<std::size_t>(0, tokens.size() - 1)(random)];
        const std::size_t pieceSize = std::uniform_int_distribution<std::size_t>(1, 9)(random);
        ExpectSectionsAsCollected(bytes, separators[round % sizeof separators],
                                  {"Protocols", "r\xE9SEAU", "", std::string(126, 'k')}, pieceSize);
    }
}

}  // namespace

// A record keeps no byte of an earlier, longer text behind its end: equal
// texts are equal records.
TEST(ConfigLines, AShorterTextLeavesNothingOfALongerOneBehind) {
    BoundedText reused{}, fresh{};
    reused.Assign("HiddenWindows");
    reused.Assign("Pro");
    fresh.Assign("Pro");
    EXPECT_EQ(std::memcmp(&reused, &fresh, sizeof reused), 0);
}
