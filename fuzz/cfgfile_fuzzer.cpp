// Feeds arbitrary bytes to the configuration reader as a whole file and in
// pieces, with every kind of separator, collects a few sections, and aborts
// when a promise of the reader is broken. Leaks are found by ASan at exit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "internal/config_reader.h"

namespace {

const char kSeparators[] = {'\0', '=', ':', '#', ';', ' '};
const char* const kSectionNames[] = {"Protocols", "HiddenWindows", "s", "[", " "};

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// At most 128 characters, nothing of codes 0 to 32 at either end.
void CheckTrimmedText(const EntryText& text) {
    const std::string_view view = text.View();
    Check(view.size() <= BoundedText::kMaxLength);
    Check(view.empty() || (!IsBlankOrControl(view.front()) && !IsBlankOrControl(view.back())));
}

void CheckEntries(ConfigList list, char separator) {
    const bool wholeLine = separator == '#' || separator == ';';
    for (const ConfigEntry* entry = list; entry != nullptr; entry = entry->Next) {
        CheckTrimmedText(entry->Section);
        CheckTrimmedText(entry->Key);
        CheckTrimmedText(entry->Value);
        for (const EntryText* text : {&entry->Key, &entry->Value}) {
            const std::string_view view = text->View();
            // Line ends and comments never survive into an entry.
            Check(view.find_first_of("\r\n\x1a#;") == std::string_view::npos);
        }
        if (wholeLine)
            Check(entry->Value.View().empty() && !entry->Key.View().empty());
    }
}

bool SameEntries(ConfigList a, ConfigList b) {
    for (; a != nullptr && b != nullptr; a = a->Next, b = b->Next) {
        if (a->Section.View() != b->Section.View() || a->Key.View() != b->Key.View() ||
            a->Value.View() != b->Value.View())
            return false;
    }
    return a == nullptr && b == nullptr;
}

// Every collected entry is one line ending in CR LF; keys and values hold no
// CR or LF, so each CR is followed by LF and each LF preceded by CR.
void CheckSectionText(const Utf16Text& text, std::size_t entryCount) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == 0x0D)
            Check(i + 1 < text.size() && text[i + 1] == 0x0A);
        if (text[i] == 0x0A) {
            Check(i > 0 && text[i - 1] == 0x0D);
            ++lines;
        }
    }
    Check(text.empty() || (text.size() >= 2 && text.back() == 0x0A));
    Check(lines <= entryCount);
}

std::size_t CountEntries(ConfigList list) {
    std::size_t count = 0;
    for (; list != nullptr; list = list->Next) ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The piece size comes from the input, so the fuzzer also explores where
    // reads split a line.
    const std::size_t pieceSize = size == 0 ? 1 : 1 + data[0] % 16;
    for (const char separator : kSeparators) {
        ConfigList whole = ListNew();
        LoadConfigText(bytes, whole, separator);
        CheckEntries(whole, separator);

        ConfigList pieces = ListNew();
        ConfigReader reader;
        StartConfigRead(reader, pieces, separator);
        for (std::size_t at = 0; at < size; at += pieceSize) FeedConfigBytes(reader, bytes.substr(at, pieceSize));
        FinishConfigRead(reader);
        Check(SameEntries(whole, pieces));
        ListClear(pieces);
        Check(pieces == nullptr);

        const std::size_t count = CountEntries(whole);
        for (const char* name : kSectionNames) {
            for (const bool includeValues : {false, true})
                CheckSectionText(CollectSection(name, whole, includeValues), count);
        }
        if (whole != nullptr) {
            // The section of the first entry: an actual match on every input.
            const std::string name(whole->Section.View());
            const Utf16Text text = CollectSection(name, whole, true);
            CheckSectionText(text, count);
            Check(name.empty() == text.empty());
        }
        ListClear(whole);
        Check(whole == nullptr);
    }
    return 0;
}
