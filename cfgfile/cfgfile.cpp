// Cfgfile: the line reader, its two line handlers and the section collector.
// Only file_chunks_*.cpp touches the platform's files; everything here is the
// same in the DLL, the native tests and the fuzzer.
#include "cfgfile.h"

#include <cstring>
#include <new>

#include "internal/config_reader.h"
#include "internal/file_chunks.h"
#include "internal/line_rules.h"

namespace {

using namespace line_rules;

constexpr Utf16Char kBlank = 0x20;
constexpr Utf16Char kLineEnd[] = {0x0D, 0x0A, 0};

// An entry text keeps the first kMaxLength characters, like a BoundedText.
std::size_t CutLength(std::string_view text) {
    return text.size() < BoundedText::kMaxLength ? text.size() : BoundedText::kMaxLength;
}

// Copies the kept part of text to the entry's bytes at `at`, which then
// points behind it.
EntryText CopyEntryText(char*& at, std::string_view text) {
    const std::size_t length = CutLength(text);
    if (length > 0)
        std::memcpy(at, text.data(), length);
    const EntryText stored = {at, static_cast<unsigned char>(length)};
    at += length;
    return stored;
}

// One allocation for the record and the bytes of its three texts, freed as a
// whole by ConfigEntry's operator delete. Null when there is no memory.
ConfigEntry* NewConfigEntry(std::string_view section, std::string_view key, std::string_view value) {
    const std::size_t textBytes = CutLength(section) + CutLength(key) + CutLength(value);
    void* const memory = ConfigEntry::operator new(sizeof(ConfigEntry) + textBytes, std::nothrow);
    if (memory == nullptr)
        return nullptr;
    ConfigEntry* const entry = ::new (memory) ConfigEntry;
    char* at = static_cast<char*>(memory) + sizeof(ConfigEntry);
    entry->Next = nullptr;
    entry->Section = CopyEntryText(at, section);
    entry->Key = CopyEntryText(at, key);
    entry->Value = CopyEntryText(at, value);
    return entry;
}

// line starts with "[". A header without "]" leaves the section as it was.
void ParseSectionHeader(std::string_view line, BoundedText& section) {
    std::string_view name;
    if (HeaderSectionName(line, name))
        section.Assign(name);
}

// Appends the entry of one trimmed, non-empty line that is not a header.
// tail is the entry appended last by this load (null before the first): new
// entries are linked behind it, so a load stays linear however long the list
// grows. Returns false only when there is no memory for the entry.
bool ParseEntryLine(std::string_view line, ConfigList& list, ConfigEntry*& tail, char separator,
                    const BoundedText& section) {
    std::string_view key;
    std::string_view value;
    if (!SplitEntryLine(line, separator, key, value))
        return true;
    ConfigEntry* const entry = NewConfigEntry(section.View(), key, value);
    if (entry == nullptr)
        return false;
    // The list behind the last entry is empty, so ListAppend links there at
    // once; only the first append of a load walks the caller's list.
    ListAppend(tail == nullptr ? list : tail->Next, entry);
    tail = entry;
    return true;
}

void EndLine(ConfigReader& reader) {
    const std::string_view trimmed = reader.Line.Take();
    if (trimmed.empty())
        return;
    if (trimmed[0] == kHeaderOpen)
        ParseSectionHeader(trimmed, reader.Section);
    else if (!ParseEntryLine(trimmed, *reader.List, reader.Tail, reader.Separator, reader.Section))
        reader.Ended = true;
}

}  // namespace

void StartConfigRead(ConfigReader& reader, ConfigList& list, char separator) {
    reader = ConfigReader();
    reader.List = &list;
    reader.Separator = separator == '\0' ? kDefaultSeparator : separator;
}

bool FeedConfigBytes(ConfigReader& reader, std::string_view bytes) {
    const char* next = bytes.data();
    const char* const end = next + bytes.size();
    while (next != end && !reader.Ended) {
        const char* const run = next;
        while (next != end && !IsLineControl(*next)) ++next;
        if (next != run)
            reader.Line.Add(run, static_cast<std::size_t>(next - run));
        if (next == end)
            break;
        switch (*next++) {
        case kCtrlZ:
            EndLine(reader);
            reader.Ended = true;
            break;
        case kLF:
            EndLine(reader);
            break;
        default:
            // A CR before LF ends the line together with the LF; any other CR
            // is dropped and the line goes on. Either way the CR itself is
            // dropped, and the next byte decides alone.
            break;
        }
    }
    return !reader.Ended;
}

void FinishConfigRead(ConfigReader& reader) {
    if (!reader.Ended)
        EndLine(reader);
    reader.Ended = true;
}

void LoadConfigText(std::string_view bytes, ConfigList& list, char separator) {
    ConfigReader reader;
    StartConfigRead(reader, list, separator);
    FeedConfigBytes(reader, bytes);
    FinishConfigRead(reader);
}

void LoadConfigFile(const std::string& fileName, ConfigList& list, char separator) {
    ConfigReader reader;
    StartConfigRead(reader, list, separator);
    // A file that cannot be opened feeds nothing, and finishing an empty read
    // adds nothing: the list stays as it was.
    ReadFileChunks(fileName, [&reader](std::string_view chunk) { return FeedConfigBytes(reader, chunk); });
    FinishConfigRead(reader);
}

Utf16Text CollectSection(std::string_view sectionName, ConfigList list, bool includeValues) {
    Utf16Text result;
    if (list == nullptr || sectionName.empty())
        return result;
    const Utf16Text wanted = UpperCaseText(AnsiToUtf16(sectionName.substr(0, BoundedText::kMaxLength)));
    // Entries of one section stand together, so the upper-cased comparison
    // is done once per run of equal section texts.
    std::string_view lastSection;
    bool lastMatched = false;
    for (const ConfigEntry* entry = list; entry != nullptr; entry = entry->Next) {
        const std::string_view section = entry->Section.View();
        if (entry == list || section != lastSection) {
            lastSection = section;
            lastMatched = !section.empty() && UpperCaseText(AnsiToUtf16(section)) == wanted;
        }
        if (!lastMatched)
            continue;
        result += AnsiToUtf16(entry->Key.View());
        if (includeValues) {
            result += kBlank;
            result += AnsiToUtf16(entry->Value.View());
        }
        result += kLineEnd;
    }
    return result;
}
