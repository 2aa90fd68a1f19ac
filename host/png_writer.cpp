#include "png_writer.h"

#include <algorithm>
#include <array>

namespace {

constexpr size_t kMaxStoredBlock = 65535;
constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

const std::array<uint32_t, 256>& CrcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    return table;
}

void PutBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// A chunk: length, type, data, and the CRC over type and data.
void PutChunk(std::vector<uint8_t>& out, const char type[5], const std::vector<uint8_t>& data) {
    PutBigEndian32(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBigEndian32(out, Crc32(out.data() + typeAt, out.size() - typeAt));
}

std::vector<uint8_t> HeaderData(uint32_t width, uint32_t height) {
    std::vector<uint8_t> header;
    PutBigEndian32(header, width);
    PutBigEndian32(header, height);
    const uint8_t rest[] = {8, 2, 0, 0, 0};  // bit depth 8, colour type RGB, deflate, filter 0, no interlace
    header.insert(header.end(), rest, rest + sizeof rest);
    return header;
}

// Every row prefixed with its filter type byte 0 (none).
std::vector<uint8_t> FilteredRows(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> rows;
    rows.reserve((rowBytes + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        rows.push_back(0);
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * y);
        rows.insert(rows.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }
    return rows;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        c = CrcTable()[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const uint8_t* data, size_t size) {
    constexpr uint32_t kModulus = 65521;
    uint32_t a = 1;
    uint32_t b = 0;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % kModulus;
        b = (b + a) % kModulus;
    }
    return (b << 16) | a;
}

std::vector<uint8_t> ZlibStored(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out = {0x78, 0x01};  // deflate, 32 KiB window, no dictionary, check bits
    size_t done = 0;
    do {
        const size_t length = std::min(kMaxStoredBlock, data.size() - done);
        const bool last = done + length == data.size();
        out.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 (stored)
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(done),
                   data.begin() + static_cast<std::ptrdiff_t>(done + length));
        done += length;
    } while (done < data.size());
    PutBigEndian32(out, Adler32(data.data(), data.size()));
    return out;
}

std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
    if (width == 0 || height == 0 || rgb.size() != static_cast<size_t>(width) * height * 3) {
        return {};
    }
    std::vector<uint8_t> png(kSignature, kSignature + sizeof kSignature);
    PutChunk(png, "IHDR", HeaderData(width, height));
    PutChunk(png, "IDAT", ZlibStored(FilteredRows(width, height, rgb)));
    PutChunk(png, "IEND", {});
    return png;
}
