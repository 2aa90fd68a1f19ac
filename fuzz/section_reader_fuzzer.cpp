// Differential fuzzing of the section reader: the same bytes go through the
// general reader (every entry into a list, then CollectSection for each name)
// and through the section reader (ReadConfigSections' byte-stream side), as a
// whole and in pieces, with the separator the input chooses, values included
// or not. The texts must be the same to the byte, and so must the module sets
// the daemon would make of them; anything else aborts.
//
// The names asked for: the two the daemon reads, in two letter cases, an
// empty, a blank and an overlong one, and the sections of a few entries of the input
// itself, as written and with their letter case swapped, so that matches are
// found on most inputs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "internal/config_reader.h"
#include "internal/section_reader.h"

namespace {

const char kSeparators[] = {'\0', '=', ':', '#', ';', ' '};
const char* const kFixedNames[] = {"Protocols", "HiddenWindows", "HIDDENwindows", "", " "};
const char kModuleLetters[] = "SPECDHFWXIB";

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// ASCII and Latin-1 letters to the other case, every other byte as it is.
std::string SwapCase(std::string_view text) {
    std::string swapped(text);
    for (char& c : swapped) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool lower = (u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7);
        const bool upper = (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7);
        if (lower)
            c = static_cast<char>(u - 0x20);
        else if (upper)
            c = static_cast<char>(u + 0x20);
    }
    return swapped;
}

std::vector<std::string> NamesFor(ConfigList list) {
    std::vector<std::string> names(std::begin(kFixedNames), std::end(kFixedNames));
    // Only its first 128 characters count, on both sides.
    names.emplace_back(200, 'x');
    std::size_t index = 0;
    for (const ConfigEntry* entry = list; entry != nullptr; entry = entry->Next, ++index) {
        // The first entry, then every seventh: a few sections of most files.
        if (index % 7 != 0 || names.size() >= 12)
            continue;
        names.emplace_back(entry->Section.View());
        names.push_back(SwapCase(entry->Section.View()));
    }
    return names;
}

// As the daemon decides membership: a host module name anywhere in the
// upper-cased text.
unsigned ModulesNamedIn(const Utf16Text& text) {
    const Utf16Text upper = UpperCaseText(text);
    unsigned set = 0;
    for (int i = 0; kModuleLetters[i] != '\0'; ++i) {
        const Utf16Text name = AnsiToUtf16(std::string("NORVALE") + kModuleLetters[i]);
        if (upper.find(name) != Utf16Text::npos)
            set |= 1u << i;
    }
    return set;
}

std::vector<SectionRequest> RequestsFor(const std::vector<std::string>& names) {
    std::vector<SectionRequest> requests;
    requests.reserve(names.size());
    for (const std::string& name : names) requests.push_back({name, AnsiToUtf16("stale text")});
    return requests;
}

void CheckSameTexts(const std::vector<Utf16Text>& expected, const std::vector<SectionRequest>& requests) {
    Check(expected.size() == requests.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Check(requests[i].Text == expected[i]);
        Check(ModulesNamedIn(requests[i].Text) == ModulesNamedIn(expected[i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte chooses the separator and the piece size, so that the
    // fuzzer explores them as it mutates; the byte is part of the file too.
    const unsigned choice = size == 0 ? 0 : data[0];
    const char separator = kSeparators[choice / 16 % sizeof kSeparators];
    const std::size_t pieceSize = 1 + choice % 16;

    ConfigList list = ListNew();
    LoadConfigText(bytes, list, separator);
    const std::vector<std::string> names = NamesFor(list);
    for (const bool includeValues : {false, true}) {
        std::vector<Utf16Text> expected;
        expected.reserve(names.size());
        for (const std::string& name : names) expected.push_back(CollectSection(name, list, includeValues));

        std::vector<SectionRequest> whole = RequestsFor(names);
        ReadSectionsOfText(bytes, separator, includeValues, whole.data(), whole.size());
        CheckSameTexts(expected, whole);

        std::vector<SectionRequest> pieces = RequestsFor(names);
        SectionReader reader;
        StartSectionRead(reader, separator, includeValues, pieces.data(), pieces.size());
        for (std::size_t at = 0; at < size; at += pieceSize) {
            if (!FeedSectionBytes(reader, bytes.substr(at, pieceSize)))
                Check(bytes.substr(0, at + pieceSize).find('\x1a') != std::string_view::npos);
        }
        FinishSectionRead(reader);
        CheckSameTexts(expected, pieces);
    }
    ListClear(list);
    return 0;
}
