#include "section_merge.h"

#include <vector>

namespace {

// One line of a text: [begin, contentEnd) is its content, [contentEnd, end)
// its line end (empty for a last line without one).
struct Line {
    size_t begin;
    size_t contentEnd;
    size_t end;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t begin = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            continue;
        }
        size_t end = i + 1;
        if (text[i] == '\r' && end < text.size() && text[end] == '\n') {
            ++end;
        }
        lines.push_back({begin, i, end});
        begin = end;
        i = end - 1;
    }
    if (begin < text.size()) {
        lines.push_back({begin, text.size(), text.size()});
    }
    return lines;
}

bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlankByte(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankByte(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

unsigned char AsciiUpper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Content(std::string_view text, const Line& line) {
    return text.substr(line.begin, line.contentEnd - line.begin);
}

std::optional<std::string_view> HeaderName(std::string_view lineContent) {
    const std::string_view trimmed = Trim(lineContent);
    if (trimmed.empty() || trimmed.front() != '[') {
        return std::nullopt;
    }
    const size_t close = trimmed.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(trimmed.substr(1, close - 1));
}

bool IsHeader(std::string_view text, const Line& line) { return HeaderName(Content(text, line)).has_value(); }

bool IsBlankOrComment(std::string_view text, const Line& line) {
    const std::string_view trimmed = Trim(Content(text, line));
    return trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#';
}

// One occurrence of a section: its header line and the end of its body (the
// index of the first line after the body).
struct Occurrence {
    size_t header;
    size_t bodyEnd;
};

std::vector<Occurrence> FindOccurrences(std::string_view text, const std::vector<Line>& lines, std::string_view name) {
    std::vector<Occurrence> found;
    for (size_t h = 0; h < lines.size(); ++h) {
        const auto header = HeaderName(Content(text, lines[h]));
        if (!header || !SameNameIgnoringCase(*header, name)) {
            continue;
        }
        size_t next = h + 1;
        while (next < lines.size() && !IsHeader(text, lines[next])) {
            ++next;
        }
        size_t bodyEnd = next;
        while (bodyEnd > h + 1 && IsBlankOrComment(text, lines[bodyEnd - 1])) {
            --bodyEnd;
        }
        found.push_back({h, bodyEnd});
        h = next - 1;
    }
    return found;
}

std::string_view LineEndOf(std::string_view text, const Line& line) {
    return text.substr(line.contentEnd, line.end - line.contentEnd);
}

std::string FileLineEnd(std::string_view text, const std::vector<Line>& lines, const std::vector<Occurrence>& found) {
    if (!found.empty() && !LineEndOf(text, lines[found.front().header]).empty()) {
        return std::string(LineEndOf(text, lines[found.front().header]));
    }
    for (const Line& line : lines) {
        if (line.end > line.contentEnd) {
            return std::string(LineEndOf(text, line));
        }
    }
    return "\r\n";
}

std::string NewBody(std::string_view updateText, const std::string& lineEnd) {
    std::string body;
    for (const Line& line : SplitLines(updateText)) {
        body.append(Content(updateText, line));
        body.append(lineEnd);
    }
    return body;
}

bool EndsWithLineEnd(std::string_view text) { return !text.empty() && (text.back() == '\n' || text.back() == '\r'); }

}  // namespace

std::optional<std::string> SectionNameFromHeader(std::string_view header) {
    const std::string_view trimmed = Trim(header);
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') {
        return std::nullopt;
    }
    const std::string_view name = Trim(trimmed.substr(1, trimmed.size() - 2));
    if (name.empty() || name.find_first_of("[]") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(name);
}

std::string MergeSectionText(std::string_view iniText, std::string_view name, std::string_view updateText) {
    const std::vector<Line> lines = SplitLines(iniText);
    const std::vector<Occurrence> found = FindOccurrences(iniText, lines, name);
    const std::string lineEnd = FileLineEnd(iniText, lines, found);
    const std::string body = NewBody(updateText, lineEnd);

    std::string merged;
    if (found.empty()) {
        merged.assign(iniText);
        if (!iniText.empty() && !EndsWithLineEnd(iniText)) {
            merged += lineEnd;
        }
        merged.append("[").append(name).append("]").append(lineEnd).append(body);
        return merged;
    }
    auto offsetOfLine = [&](size_t index) { return index < lines.size() ? lines[index].begin : iniText.size(); };
    size_t copied = 0;
    for (size_t k = 0; k < found.size(); ++k) {
        const Line& header = lines[found[k].header];
        if (k == 0) {
            merged.append(iniText.substr(0, header.end));
            if (header.end == header.contentEnd && !body.empty()) {
                merged += lineEnd;  // the header was the file's last line, without a line end
            }
            merged += body;
        } else {
            merged.append(iniText.substr(copied, header.begin - copied));
        }
        copied = offsetOfLine(found[k].bodyEnd);
    }
    merged.append(iniText.substr(copied));
    return merged;
}

std::string SectionBodyText(std::string_view iniText, std::string_view name) {
    const std::vector<Line> lines = SplitLines(iniText);
    std::string result;
    for (const Occurrence& occurrence : FindOccurrences(iniText, lines, name)) {
        for (size_t i = occurrence.header + 1; i < occurrence.bodyEnd; ++i) {
            if (IsBlankOrComment(iniText, lines[i])) {
                continue;
            }
            const std::string_view content = Content(iniText, lines[i]);
            result.append(Trim(content.substr(0, content.find_first_of("#;")))).append("\n");
        }
    }
    return result;
}
