// Cfgfile: the line reader, its two line handlers and the section collector.
// Only file_chunks_*.cpp touches the platform's files; everything here is the
// same in the DLL, the native tests and the fuzzer.
#include "cfgfile.h"

#include <new>

#include "config_reader.h"
#include "file_chunks.h"

namespace {

constexpr char kLF = '\n';
constexpr char kCR = '\r';
constexpr char kCtrlZ = 26;  // the old end-of-file mark of text files
constexpr char kDefaultSeparator = '=';
constexpr char kHeaderOpen = '[';
constexpr char kHeaderClose = ']';
constexpr char kCommentHash = '#';
constexpr char kCommentSemicolon = ';';
constexpr Utf16Char kBlank = 0x20;
constexpr Utf16Char kLineEnd[] = {0x0D, 0x0A, 0};

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// With a comment character as separator no line could be split at all, so
// each entry line is kept whole, as a key.
bool IsWholeLineMode(char separator)
{
    return separator == kCommentHash || separator == kCommentSemicolon;
}

// Cuts line just before the first `comment`. Returns false when the comment
// starts the line, which makes the whole line a comment.
bool CutAtComment(std::string_view& line, char comment)
{
    const std::size_t at = line.find(comment);
    if (at == 0)
        return false;
    if (at != std::string_view::npos)
        line = line.substr(0, at);
    return true;
}

// line starts with "[". A header without "]" leaves the section as it was.
void ParseSectionHeader(std::string_view line, BoundedText& section)
{
    const std::size_t close = line.find(kHeaderClose);
    if (close == std::string_view::npos)
        return;
    section.Assign(TrimText(line.substr(1, close - 1)));
}

// Appends the entry of one trimmed, non-empty line that is not a header.
// tail is the entry appended last by this load (null before the first): new
// entries are linked behind it, so a load stays linear however long the list
// grows. Returns false only when there is no memory for the entry.
bool ParseEntryLine(std::string_view line, ConfigList& list, ConfigEntry*& tail, char separator,
                    const BoundedText& section)
{
    if (!CutAtComment(line, kCommentHash) || !CutAtComment(line, kCommentSemicolon))
        return true;
    std::string_view key = line;
    std::string_view value;
    if (!IsWholeLineMode(separator)) {
        const std::size_t at = line.find(separator);
        if (at == std::string_view::npos)
            return true;
        key = line.substr(0, at);
        value = line.substr(at + 1);
    }
    ConfigEntry* entry = new (std::nothrow) ConfigEntry();
    if (entry == nullptr)
        return false;
    entry->Section = section;
    entry->Key.Assign(TrimText(key));
    entry->Value.Assign(TrimText(value));
    // The list behind the last entry is empty, so ListAppend links there at
    // once; only the first append of a load walks the caller's list.
    ListAppend(tail == nullptr ? list : tail->Next, entry);
    tail = entry;
    return true;
}

// Takes one byte of the current line. Leading codes 0 to 32 are dropped at
// once and only the first 128 bytes after them are kept: that is all the
// handlers look at. Of the rest only one thing matters, whether a non-blank
// follows, because then the kept part is not the end of the line and must
// not be trimmed at its end.
void AddLineByte(ConfigReader& reader, char c)
{
    if (reader.LineLength == 0 && IsBlankOrControl(c))
        return;
    if (reader.LineLength < BoundedText::kMaxLength)
        reader.Line[reader.LineLength++] = c;
    else if (!IsBlankOrControl(c))
        reader.LineGoesOn = true;
}

void EndLine(ConfigReader& reader)
{
    std::string_view kept(reader.Line, reader.LineLength);
    const std::string trimmed = reader.LineGoesOn ? std::string(kept) : TrimText(kept);
    reader.LineLength = 0;
    reader.LineGoesOn = false;
    if (trimmed.empty())
        return;
    if (trimmed[0] == kHeaderOpen)
        ParseSectionHeader(trimmed, reader.Section);
    else if (!ParseEntryLine(trimmed, *reader.List, reader.Tail, reader.Separator, reader.Section))
        reader.Ended = true;
}

}  // namespace

void StartConfigRead(ConfigReader& reader, ConfigList& list, char separator)
{
    reader = ConfigReader();
    reader.List = &list;
    reader.Separator = separator == '\0' ? kDefaultSeparator : separator;
}

bool FeedConfigBytes(ConfigReader& reader, std::string_view bytes)
{
    for (const char c : bytes) {
        if (reader.Ended)
            break;
        switch (c) {
        case kCtrlZ:
            EndLine(reader);
            reader.Ended = true;
            break;
        case kLF:
            EndLine(reader);
            break;
        case kCR:
            // A CR before LF ends the line together with the LF; any other CR
            // is dropped and the line goes on. Either way the CR itself is
            // dropped, and the next byte decides alone.
            break;
        default:
            AddLineByte(reader, c);
            break;
        }
    }
    return !reader.Ended;
}

void FinishConfigRead(ConfigReader& reader)
{
    if (!reader.Ended)
        EndLine(reader);
    reader.Ended = true;
}

void LoadConfigText(std::string_view bytes, ConfigList& list, char separator)
{
    ConfigReader reader;
    StartConfigRead(reader, list, separator);
    FeedConfigBytes(reader, bytes);
    FinishConfigRead(reader);
}

void LoadConfigFile(const std::string& fileName, ConfigList& list, char separator)
{
    ConfigReader reader;
    StartConfigRead(reader, list, separator);
    // A file that cannot be opened feeds nothing, and finishing an empty read
    // adds nothing: the list stays as it was.
    ReadFileChunks(fileName, [&reader](std::string_view chunk) { return FeedConfigBytes(reader, chunk); });
    FinishConfigRead(reader);
}

Utf16Text CollectSection(std::string_view sectionName, ConfigList list, bool includeValues)
{
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
