// The configuration files the reading benchmarks share, native and under
// Wine: the same bytes for every reader compared.
//
// A host configuration: "[Protocols]" first with the eleven module names,
// then "[Domain<n>]" sections of key=value lines, comment lines and blank
// lines, and "[HiddenWindows]" last with four names. Every section name occurs
// once and the two sections the daemon reads hold only "NAME=1" lines without
// comments, so each reader compared, whatever its rules for bare names,
// repeated sections and inline comments, gathers the same 15 lines. Lines end
// in CR LF. The domain sections' names are short ("Domain12") or padded to a
// given length ("Domain12-" followed by letters), the two things besides the
// number of lines that decide what a reader keeping every entry costs.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

constexpr int kGatheredLines = 15;  // 11 in Protocols, 4 in HiddenWindows
constexpr int kLinesPerDomain = 20;
constexpr std::size_t kShortNames = 0;
constexpr std::size_t kLongNameLength = 120;

inline std::string DomainName(int n, std::size_t nameLength) {
    std::string name = "Domain" + std::to_string(n);
    if (name.size() < nameLength) {
        name += '-';
        for (std::size_t i = 0; name.size() < nameLength; ++i) name += static_cast<char>('a' + i % 26);
    }
    return name;
}

// Domain sections are added while more(text, lines written) holds; the
// hidden part (5 lines, 59 bytes) comes last.
template <typename More>
std::string MakeHostConfigWhile(std::size_t nameLength, More more) {
    static const char kLetters[] = "SPECDHFWXIB";
    std::string text = "[Protocols]\r\n";
    for (int i = 0; i < 11; ++i) text += std::string("NORVALE") + kLetters[i] + "=1\r\n";
    int written = 12;
    for (int n = 0; more(text, written); ++n) {
        text += "\r\n[" + DomainName(n, nameLength) + "]\r\n";
        written += 2;
        for (int k = 0; k < kLinesPerDomain - 2 && more(text, written); ++k, ++written) {
            if (k == 0)
                text += "; mailboxes of this domain, written by the host\r\n";
            else
                text += "Mailbox" + std::to_string(k) + " = D:\\Norvale\\Mail\\domain" + std::to_string(n) + "\\box" +
                        std::to_string(k) + ".mbx\r\n";
        }
    }
    text += "[HiddenWindows]\r\nNORVALEP=1\r\nNORVALEE=1\r\nNORVALEX=1\r\nNORVALEB=1\r\n";
    return text;
}

// About `lines` lines, short section names.
inline std::string MakeHostConfig(int lines) {
    const int hiddenPart = 5;
    return MakeHostConfigWhile(kShortNames,
                               [lines](const std::string&, int written) { return written < lines - hiddenPart; });
}

// About `bytes` bytes (a line more at most).
inline std::string MakeHostConfigOfSize(std::size_t bytes, std::size_t nameLength) {
    const std::size_t hiddenPart = 59;
    return MakeHostConfigWhile(nameLength,
                               [bytes](const std::string& text, int) { return text.size() + hiddenPart < bytes; });
}

}  // namespace bench
