// BoundedText: an 8-bit text of at most 128 characters, stored in place.
//
// A text longer than that keeps its first 128 characters and loses the rest
// without notice. The record is plain data: zero-filled (e.g. by value-
// initialising the record that holds it) it is the empty text. Any byte,
// code 0 included, may stand inside the text; the length is kept apart.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "cfgfile.h"

struct BoundedText {
    static constexpr std::size_t kMaxLength = kConfigTextMaxLength;

    unsigned char Length;    // 0 to kMaxLength
    char Chars[kMaxLength];  // the first Length bytes are the text

    std::string_view View() const { return std::string_view(Chars, Length); }

    // Stores the first kMaxLength characters of text; the bytes behind the
    // new end are zeroed, so equal texts are equal records.
    void Assign(std::string_view text) {
        const std::size_t length = text.size() < kMaxLength ? text.size() : kMaxLength;
        if (length > 0)
            std::memcpy(Chars, text.data(), length);
        std::memset(Chars + length, 0, kMaxLength - length);
        Length = static_cast<unsigned char>(length);
    }
};

static_assert(BoundedText::kMaxLength <= 255, "the length must fit in Length");
