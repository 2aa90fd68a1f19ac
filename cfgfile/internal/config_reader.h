// The byte-stream side of LoadConfigFile, for callers that already hold the
// bytes of a configuration file (tests, the fuzzer) or receive them in pieces
// (the file reader). Everything LoadConfigFile promises about lines, sections,
// comments and separators holds here too; only opening the file is left out.
//
// Usage: StartConfigRead, then FeedConfigBytes for each piece of the file in
// order (the pieces may split a line, or a CR LF, anywhere), then
// FinishConfigRead, which hands over the last line if it had no line end.
// Entries are appended to the list as their lines end, so the list is whole
// and owned by the caller at every point, also when the feeding stops early.
#pragma once

#include <cstddef>
#include <string_view>

#include "cfgfile.h"
#include "internal/bounded_text.h"
#include "internal/line_rules.h"

// The state of one load in progress. Its fields belong to the functions below.
struct ConfigReader {
    ConfigList* List;
    ConfigEntry* Tail;            // the entry appended last, null before the first
    char Separator;               // never 0: the caller's 0 was turned into "="
    BoundedText Section;          // the current section
    line_rules::LineBuffer Line;  // the line so far
    bool Ended;                   // Ctrl-Z, or no memory for another entry
};

void StartConfigRead(ConfigReader& reader, ConfigList& list, char separator);

// Reads the bytes in order. Returns false once the file has ended (Ctrl-Z);
// further bytes are then ignored, and the caller may stop reading.
bool FeedConfigBytes(ConfigReader& reader, std::string_view bytes);

void FinishConfigRead(ConfigReader& reader);

// The whole file at once: start, feed, finish.
void LoadConfigText(std::string_view bytes, ConfigList& list, char separator);
