// Cfgfile: reads an ini-style text file into an entry list, and collects the
// entries of one section as text.
//
// Lines are 8-bit texts in the system's default code page. A line ends at LF
// or CR LF; a CR followed by anything else is dropped and the line goes on;
// Ctrl-Z (26) ends the file. Each line is trimmed (codes 0 to 32 at both ends)
// and only its first 128 characters are looked at. "[" starts a section
// header; "#" and ";" start comments. No byte-order mark handling: its bytes
// belong to the first line.
#pragma once

#include <string>
#include <string_view>

#include "bounded_text.h"
#include "listlib.h"
#include "sysutils_mini.h"

// One entry line of a configuration file. Created zero-filled, owned by the
// list it was appended to, freed only by ListRemoveHead / ListClear.
struct ConfigEntry {
    ConfigEntry* Next;
    BoundedText Section;  // the section current when the line was read
    BoundedText Key;      // trimmed text before the separator; whole line in whole-line mode
    BoundedText Value;    // trimmed text after the separator; empty in whole-line mode
};

using ConfigList = ConfigEntry*;

// Appends one entry per entry line of fileName to the end of list. The
// separator splits a line into key and value; 0 stands for "="; "#" and ";"
// select whole-line mode (no split, each line a key with an empty value).
// A file that cannot be opened leaves the list as it was, silently; a read
// error after opening keeps the entries read so far. Runs in time linear in
// the file's size plus the length of the list it appends to.
void LoadConfigFile(const std::string& fileName, ConfigList& list, char separator);

// The entries of the section sectionName (compared without regard to case,
// whole name), in file order, each as Key, then " " + Value when values are
// included, then CR LF. Empty when the list or the name is empty. Only the
// first 128 characters of sectionName count. The list is not changed.
Utf16Text CollectSection(std::string_view sectionName, ConfigList list, bool includeValues);
