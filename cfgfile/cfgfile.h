// Cfgfile: reads an ini-style text file into an entry list, and collects the
// entries of one section as text. This header is the reader's public face;
// internal/ holds its streaming pieces and platform seam (the fuzzer and the
// reader's own tests use them too).
//
// Lines are 8-bit texts in the system's default code page. A line ends at LF
// or CR LF; a CR followed by anything else is dropped and the line goes on;
// Ctrl-Z (26) ends the file. Each line is trimmed (codes 0 to 32 at both ends)
// and only its first 128 characters are looked at. "[" starts a section
// header; "#" and ";" start comments. No byte-order mark handling: its bytes
// belong to the first line.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "listlib.h"
#include "sysutils_mini.h"

// The longest text an entry, a section name or a line keeps: longer ones keep
// their first 128 characters and lose the rest without notice.
constexpr std::size_t kConfigTextMaxLength = 128;

// One text of an entry: at most kConfigTextMaxLength characters,
// any byte allowed, the length kept apart. The bytes belong to the entry that
// holds the text and live as long as that entry.
struct EntryText {
    const char* Chars;     // the first Length bytes are the text (null in `new ConfigEntry()`)
    unsigned char Length;  // 0 to kConfigTextMaxLength

    std::string_view View() const { return std::string_view(Chars, Length); }
};

// One entry line of a configuration file, owned by the list it was appended
// to and freed only by ListRemoveHead / ListClear. The reader allocates each
// entry together with the bytes of its three texts, right behind the record,
// sized to them, so an entry costs its texts' length rather than three times
// 128 bytes. The texts point into the entry itself: it cannot be copied, and
// `delete` frees the whole allocation. An entry made by `new ConfigEntry()`
// has three empty texts.
struct ConfigEntry {
    ConfigEntry* Next;
    EntryText Section;  // the section current when the line was read
    EntryText Key;      // trimmed text before the separator; whole line in whole-line mode
    EntryText Value;    // trimmed text after the separator; empty in whole-line mode

    ConfigEntry() = default;
    ConfigEntry(const ConfigEntry&) = delete;
    ConfigEntry& operator=(const ConfigEntry&) = delete;

    // The record's own allocation functions, so that every entry, whether
    // made by `new ConfigEntry()` or with room for its texts, is freed by the
    // same `delete`. Unsized on purpose: the allocation may be larger than
    // the record.
    static void* operator new(std::size_t size) { return ::operator new(size); }
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
        return ::operator new(size, std::nothrow);
    }
    static void operator delete(void* entry) { ::operator delete(entry); }
};

using ConfigList = ConfigEntry*;

// Appends one entry per entry line of fileName to the end of list. The
// separator splits a line into key and value; 0 stands for "="; "#" and ";"
// select whole-line mode (no split, each line a key with an empty value).
// A file that cannot be opened leaves the list as it was, silently; a read
// error after opening keeps the entries read so far. Runs in time linear in
// the file's size plus the length of the list it appends to.
void LoadConfigFile(const std::string& fileName, ConfigList& list, char separator);

// One section asked of ReadConfigSections, and its text.
struct SectionRequest {
    std::string_view Name;  // compared as CollectSection compares; must outlive the read
    Utf16Text Text;         // the section's text, as CollectSection gives it
};

// What LoadConfigFile(fileName, list, separator) followed by
// CollectSection(Name, list, includeValues) gives for each of the count
// requests, starting from an empty list, read in one pass that keeps nothing
// of the sections not asked for: besides the texts asked for, it holds one
// line of 128 bytes and one piece of the file at a time, however large the
// file and however many sections it has. A file that cannot be opened gives
// empty texts. Time linear in the file's size. Returns true when the file
// was read to its end and every text converted; false when it could not be
// opened, a read failed, or a conversion failed (the texts then hold what
// was read and converted, and a section whose name could not be converted
// counts as another section).
bool ReadConfigSections(const std::string& fileName, char separator, bool includeValues, SectionRequest* sections,
                        std::size_t count);

// The entries of the section sectionName (compared without regard to case,
// whole name), in file order, each as Key, then " " + Value when values are
// included, then CR LF. Empty when the list or the name is empty. Only the
// first 128 characters of sectionName count. The list is not changed.
Utf16Text CollectSection(std::string_view sectionName, ConfigList list, bool includeValues);
