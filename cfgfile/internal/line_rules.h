// The rules by which a configuration line is taken apart, in one place for
// both readers of cfgfile/: the general reader (cfgfile.cpp), which keeps
// every entry in a list, and the section reader (section_reader.cpp), which
// keeps only the entries of the sections asked for. Both see every line they
// handle through these functions, so they cannot read one differently.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "cfgfile.h"
#include "sysutils_mini.h"

namespace line_rules {

constexpr char kLF = '\n';
constexpr char kCR = '\r';
constexpr char kCtrlZ = 26;  // the old end-of-file mark of text files
constexpr char kDefaultSeparator = '=';
constexpr char kHeaderOpen = '[';
constexpr char kHeaderClose = ']';
constexpr char kCommentHash = '#';
constexpr char kCommentSemicolon = ';';

// The three bytes that end or shape a line; every other byte is line text.
// Codes above Ctrl-Z are settled by one comparison.
inline bool IsLineControl(char c) {
    return static_cast<unsigned char>(c) <= static_cast<unsigned char>(kCtrlZ) && (c == kLF || c == kCR || c == kCtrlZ);
}

// With a comment character as separator no line could be split at all, so
// each entry line is kept whole, as a key.
inline bool IsWholeLineMode(char separator) { return separator == kCommentHash || separator == kCommentSemicolon; }

// The current line as the two line handlers see it: its first 128 bytes after
// the leading codes 0 to 32, without the CRs that did not end it.
struct LineBuffer {
    char Bytes[kConfigTextMaxLength];
    std::size_t Length;
    bool GoesOn;  // a byte above code 32 came after the 128 bytes kept

    // Takes a run of bytes of the line, none of them LF, CR or Ctrl-Z.
    // Leading codes 0 to 32 are dropped and only the first 128 bytes after
    // them are kept: that is all the handlers look at. Of the rest only one
    // thing matters, whether a non-blank follows, because then the kept part
    // is not the end of the line and must not be trimmed at its end. Runs are
    // taken whole rather than byte by byte: most lines are one run, copied at
    // once.
    void Add(const char* bytes, std::size_t count) {
        std::size_t at = 0;
        if (Length == 0) {
            while (at < count && IsBlankOrControl(bytes[at])) ++at;
        }
        const std::size_t room = kConfigTextMaxLength - Length;
        const std::size_t taken = count - at < room ? count - at : room;
        if (taken > 0) {
            std::memcpy(Bytes + Length, bytes + at, taken);
            Length += taken;
            at += taken;
        }
        for (; at < count && !GoesOn; ++at) {
            if (!IsBlankOrControl(bytes[at]))
                GoesOn = true;
        }
    }

    // The line, trimmed; the buffer is empty again afterwards. The view stays
    // valid until the next Add: the line is handled completely before that.
    std::string_view Take() {
        const std::string_view kept(Bytes, Length);
        const std::string_view trimmed = GoesOn ? kept : TrimmedView(kept);
        Length = 0;
        GoesOn = false;
        return trimmed;
    }
};

// line is a trimmed line that starts with "[". The section it names: the
// text between "[" and the first "]", trimmed. A header without "]" names
// none (false): the current section stays what it was. Whatever follows the
// "]" is ignored; "#" and ";" are plain characters here.
inline bool HeaderSectionName(std::string_view line, std::string_view& name) {
    const std::size_t close = line.find(kHeaderClose);
    if (close == std::string_view::npos)
        return false;
    name = TrimmedView(line.substr(1, close - 1));
    return true;
}

// Cuts line just before the first `comment`. Returns false when the comment
// starts the line, which makes the whole line a comment.
inline bool CutAtComment(std::string_view& line, char comment) {
    const std::size_t at = line.find(comment);
    if (at == 0)
        return false;
    if (at != std::string_view::npos)
        line = line.substr(0, at);
    return true;
}

// line is a trimmed, non-empty line that is not a header; separator is never
// 0. Its key and value, trimmed, or false when the line gives no entry: a
// comment line, or (outside whole-line mode) a line without the separator.
inline bool SplitEntryLine(std::string_view line, char separator, std::string_view& key, std::string_view& value) {
    if (!CutAtComment(line, kCommentHash) || !CutAtComment(line, kCommentSemicolon))
        return false;
    key = line;
    value = std::string_view();
    if (!IsWholeLineMode(separator)) {
        const std::size_t at = line.find(separator);
        if (at == std::string_view::npos)
            return false;
        key = line.substr(0, at);
        value = line.substr(at + 1);
    }
    key = TrimmedView(key);
    value = TrimmedView(value);
    return true;
}

}  // namespace line_rules
