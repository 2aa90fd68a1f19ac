// The section reader: the texts CollectSection would give for a few
// sections, read straight from the file's bytes. Lines of other sections are
// only looked at up to their first byte above code 32 (which tells a header
// from an entry line) and then passed over to their LF; headers and the entry
// lines of requested sections go through the same line rules as in the
// general reader (internal/line_rules.h).
#include <cstring>
#include <utility>

#include "internal/file_chunks.h"
#include "internal/section_reader.h"

namespace {

using namespace line_rules;
using Place = SectionReader::Place;

constexpr Utf16Char kBlank = 0x20;
constexpr Utf16Char kLineEnd[] = {0x0D, 0x0A, 0};
constexpr unsigned char kFirstNonAscii = 0x80;

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= kFirstNonAscii)
            return false;
    }
    return true;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

// Whether the section now current is the wanted one, decided as
// CollectSection decides: both names in UTF-16, upper-cased, equal. When both
// are ASCII that comes down to comparing them without regard to ASCII case,
// without building texts: in every ANSI code page the bytes below 0x80 are
// ASCII, and the upper-casing maps exactly a-z to A-Z among them (on Windows,
// CharUpperBuffW does so in every locale, Turkish included, as documented).
// A name that cannot be converted is no section's: its lines are passed
// over, and the read is no longer complete.
bool IsWantedSection(SectionReader& reader, const WantedSection& wanted, std::string_view section, bool asciiSection,
                     Utf16Text& upperSection, bool& upperDone) {
    if (section.empty() || wanted.Name.empty())
        return false;
    if (asciiSection && wanted.AsciiName)
        return EqualIgnoringAsciiCase(section, wanted.Name);
    if (!upperDone) {
        reader.Complete = AppendAnsiAsUtf16(upperSection, section) && reader.Complete;
        upperSection = UpperCaseText(std::move(upperSection));
        upperDone = true;
    }
    return !upperSection.empty() && upperSection == wanted.UpperName;
}

void EnterSection(SectionReader& reader, std::string_view section) {
    const bool asciiSection = IsAscii(section);
    Utf16Text upperSection;
    bool upperDone = false;
    reader.InWanted = false;
    for (WantedSection& wanted : reader.Wanted) {
        wanted.Current = IsWantedSection(reader, wanted, section, asciiSection, upperSection, upperDone);
        reader.InWanted = reader.InWanted || wanted.Current;
    }
}

// Each piece converted on its own, as CollectSection converts them.
void AddEntry(SectionReader& reader, std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitEntryLine(line, reader.Separator, key, value))
        return;
    for (WantedSection& wanted : reader.Wanted) {
        if (!wanted.Current)
            continue;
        Utf16Text& text = wanted.Request->Text;
        bool converted = AppendAnsiAsUtf16(text, key);
        if (reader.IncludeValues) {
            text += kBlank;
            converted = AppendAnsiAsUtf16(text, value) && converted;
        }
        text += kLineEnd;
        reader.Complete = converted && reader.Complete;
    }
}

void EndLine(SectionReader& reader) {
    const std::string_view line = reader.Line.Take();
    reader.At = Place::LineStart;
    if (line.empty())
        return;
    std::string_view section;
    if (line[0] == kHeaderOpen) {
        if (HeaderSectionName(line, section))
            EnterSection(reader, section);
    } else if (reader.InWanted) {
        AddEntry(reader, line);
    }
}

// The line's first byte above code 32 decides: a header is always kept (it
// may change the section); an entry line only in a requested section, and
// not when it starts with a comment character, which drops it whole.
Place PlaceOfLine(const SectionReader& reader, char first) {
    if (first == kHeaderOpen)
        return Place::KeepLine;
    if (reader.InWanted && first != kCommentHash && first != kCommentSemicolon)
        return Place::KeepLine;
    return Place::SkipLine;
}

}  // namespace

void StartSectionRead(SectionReader& reader, char separator, bool includeValues, SectionRequest* sections,
                      std::size_t count) {
    reader.Wanted.clear();
    reader.Wanted.reserve(count);
    reader.Complete = true;
    for (std::size_t i = 0; i < count; ++i) {
        sections[i].Text.clear();
        const std::string_view name = sections[i].Name.substr(0, kConfigTextMaxLength);
        Utf16Text upperName;
        reader.Complete = AppendAnsiAsUtf16(upperName, name) && reader.Complete;
        reader.Wanted.push_back({&sections[i], name, UpperCaseText(std::move(upperName)), IsAscii(name), false});
    }
    reader.Separator = separator == '\0' ? kDefaultSeparator : separator;
    reader.IncludeValues = includeValues;
    reader.InWanted = false;
    reader.At = Place::LineStart;
    reader.Line = LineBuffer();
    reader.Ended = false;
}

bool FeedSectionBytes(SectionReader& reader, std::string_view bytes) {
    if (reader.Ended)
        return false;
    const char* next = bytes.data();
    const char* end = next + bytes.size();
    // Ctrl-Z ends the file: only the bytes before the first one count, and
    // no other byte on the way needs to be looked at for it.
    const void* const ctrlZ = bytes.empty() ? nullptr : std::memchr(next, kCtrlZ, bytes.size());
    if (ctrlZ != nullptr)
        end = static_cast<const char*>(ctrlZ);
    while (next != end) {
        switch (reader.At) {
        case Place::LineStart:
            // Leading codes 0 to 32, LF and CR among them, give nothing: an
            // LF here ends an empty line.
            while (next != end && IsBlankOrControl(*next)) ++next;
            if (next != end)
                reader.At = PlaceOfLine(reader, *next);
            break;
        case Place::SkipLine: {
            const void* const lineEnd = std::memchr(next, kLF, static_cast<std::size_t>(end - next));
            if (lineEnd == nullptr) {
                next = end;
            } else {
                next = static_cast<const char*>(lineEnd) + 1;
                reader.At = Place::LineStart;
            }
            break;
        }
        case Place::KeepLine: {
            // Up to the LF, the runs between CRs: a CR, whether before LF or
            // not, is dropped.
            const auto* const lineEnd =
                static_cast<const char*>(std::memchr(next, kLF, static_cast<std::size_t>(end - next)));
            const char* const stop = lineEnd == nullptr ? end : lineEnd;
            while (next != stop) {
                const auto* const cr =
                    static_cast<const char*>(std::memchr(next, kCR, static_cast<std::size_t>(stop - next)));
                const char* const runEnd = cr == nullptr ? stop : cr;
                if (runEnd != next)
                    reader.Line.Add(next, static_cast<std::size_t>(runEnd - next));
                next = cr == nullptr ? stop : cr + 1;
            }
            if (lineEnd != nullptr) {
                next = lineEnd + 1;
                EndLine(reader);
            }
            break;
        }
        }
    }
    if (ctrlZ == nullptr)
        return true;
    FinishSectionRead(reader);
    return false;
}

void FinishSectionRead(SectionReader& reader) {
    if (!reader.Ended && reader.At == Place::KeepLine)
        EndLine(reader);
    reader.Ended = true;
}

void ReadSectionsOfText(std::string_view bytes, char separator, bool includeValues, SectionRequest* sections,
                        std::size_t count) {
    SectionReader reader;
    StartSectionRead(reader, separator, includeValues, sections, count);
    FeedSectionBytes(reader, bytes);
    FinishSectionRead(reader);
}

bool ReadConfigSections(const std::string& fileName, char separator, bool includeValues, SectionRequest* sections,
                        std::size_t count) {
    SectionReader reader;
    StartSectionRead(reader, separator, includeValues, sections, count);
    // A file that cannot be opened feeds nothing: the texts stay empty.
    const bool readToItsEnd =
        ReadFileChunks(fileName, [&reader](std::string_view chunk) { return FeedSectionBytes(reader, chunk); });
    FinishSectionRead(reader);
    return readToItsEnd && reader.Complete;
}
