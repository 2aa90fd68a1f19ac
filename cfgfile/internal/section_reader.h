// The byte-stream side of ReadConfigSections, for callers that already hold
// the bytes of a configuration file (tests, the fuzzer) or receive them in
// pieces (the file reader). Usage as for the general reader's ConfigReader:
// StartSectionRead, FeedSectionBytes for each piece in order (the pieces may
// split a line, or a CR LF, anywhere), FinishSectionRead. The requests' texts
// grow as their lines end.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "cfgfile.h"
#include "internal/line_rules.h"

// One requested section during a read.
struct WantedSection {
    SectionRequest* Request;
    std::string_view Name;  // the request's name, its first 128 characters
    Utf16Text UpperName;    // Name in UTF-16, upper-cased: what CollectSection compares with
    bool AsciiName;         // Name has no byte from 0x80
    bool Current;           // the current section is this one
};

// The state of one read in progress. Its fields belong to the functions below.
struct SectionReader {
    // Where the reader stands in the current line.
    enum class Place : unsigned char {
        LineStart,  // no byte above code 32 yet
        SkipLine,   // a line that gives nothing: to its LF
        KeepLine,   // a header, or an entry line of a requested section: kept in Line
    };

    std::vector<WantedSection> Wanted;
    char Separator;  // never 0: the caller's 0 was turned into "="
    bool IncludeValues;
    bool InWanted;  // the current section is one of the requested
    Place At;
    line_rules::LineBuffer Line;
    bool Ended;     // Ctrl-Z seen, or finished
    bool Complete;  // every text converted so far (false once a conversion failed)
};

// Empties the requests' texts; they must outlive the read.
void StartSectionRead(SectionReader& reader, char separator, bool includeValues, SectionRequest* sections,
                      std::size_t count);

// Reads the bytes in order. Returns false once the file has ended (Ctrl-Z);
// further bytes are then ignored, and the caller may stop reading.
bool FeedSectionBytes(SectionReader& reader, std::string_view bytes);

void FinishSectionRead(SectionReader& reader);

// The whole file at once: start, feed, finish.
void ReadSectionsOfText(std::string_view bytes, char separator, bool includeValues, SectionRequest* sections,
                        std::size_t count);
