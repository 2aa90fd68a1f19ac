// The configuration files the reading benchmarks share, native and under
// Wine: the same bytes for every reader compared.
//
// A host configuration of about `lines` lines: "[Protocols]" first with the
// eleven module names, then "[Domain<n>]" sections of key=value lines, comment
// lines and blank lines, and "[HiddenWindows]" last with four names. Every
// section name occurs once and the two sections the daemon reads hold only
// "NAME=1" lines without comments, so each reader compared, whatever its rules
// for bare names, repeated sections and inline comments, gathers the same 15
// lines. Lines end in CR LF.
#pragma once

#include <string>

namespace bench {

constexpr int kGatheredLines = 15;  // 11 in Protocols, 4 in HiddenWindows
constexpr int kLinesPerDomain = 20;

inline std::string MakeHostConfig(int lines) {
    static const char kLetters[] = "SPECDHFWXIB";
    std::string text = "[Protocols]\r\n";
    for (int i = 0; i < 11; ++i) text += std::string("NORVALE") + kLetters[i] + "=1\r\n";
    int written = 12;
    const int hiddenPart = 5;
    for (int n = 0; written < lines - hiddenPart; ++n) {
        text += "\r\n[Domain" + std::to_string(n) + "]\r\n";
        written += 2;
        for (int k = 0; k < kLinesPerDomain - 2 && written < lines - hiddenPart; ++k, ++written) {
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

}  // namespace bench
