// The stand-in host's PNG encoder: check values of its checksums and the
// layout of the stream it writes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "png_writer.h"

namespace {

uint32_t BigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) | (uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

TEST(PngWriter, ChecksumsMatchTheirCheckValues) {
    const char* check = "123456789";
    const auto* bytes = reinterpret_cast<const uint8_t*>(check);
    EXPECT_EQ(Crc32(bytes, 9), 0xCBF43926u);
    EXPECT_EQ(Adler32(bytes, 9), 0x091E01DEu);
    EXPECT_EQ(Adler32(nullptr, 0), 1u);
}

// Stored blocks carry the data unchanged, at most 65535 bytes each, with the
// length's complement; the last block alone has BFINAL set.
TEST(PngWriter, ZlibStoredBlocksCarryTheData) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{200000}}) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::vector<uint8_t> data(size);
        for (size_t i = 0; i < size; ++i) {
            data[i] = static_cast<uint8_t>(i * 7 + 3);
        }
        const std::vector<uint8_t> stream = ZlibStored(data);
        ASSERT_GE(stream.size(), 2u + 5u + 4u);
        EXPECT_EQ(((stream[0] << 8) | stream[1]) % 31, 0);
        std::vector<uint8_t> payload;
        size_t at = 2;
        bool final = false;
        while (!final) {
            ASSERT_LE(at + 5, stream.size());
            final = (stream[at] & 1) != 0;
            EXPECT_EQ(stream[at] & 6, 0);  // BTYPE 00
            const unsigned length = stream[at + 1] | (stream[at + 2] << 8);
            const unsigned complement = stream[at + 3] | (stream[at + 4] << 8);
            EXPECT_EQ(length ^ 0xFFFFu, complement);
            ASSERT_LE(at + 5 + length, stream.size());
            payload.insert(payload.end(), stream.begin() + static_cast<std::ptrdiff_t>(at + 5),
                           stream.begin() + static_cast<std::ptrdiff_t>(at + 5 + length));
            at += 5 + length;
        }
        EXPECT_EQ(payload, data);
        ASSERT_EQ(at + 4, stream.size());
        EXPECT_EQ(BigEndian32(stream, at), Adler32(data.data(), data.size()));
    }
}

TEST(PngWriter, FileHasSignatureAndCheckedChunks) {
    const std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9, 1, 2, 3, 4, 5, 6};  // 3 x 2
    const std::vector<uint8_t> png = EncodePng(3, 2, rgb);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    std::vector<std::string> types;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = BigEndian32(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        types.emplace_back(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           png.begin() + static_cast<std::ptrdiff_t>(at + 8));
        EXPECT_EQ(BigEndian32(png, at + 8 + length), Crc32(png.data() + at + 4, length + 4)) << types.back();
        if (types.back() == "IHDR") {
            EXPECT_EQ(BigEndian32(png, at + 8), 3u);
            EXPECT_EQ(BigEndian32(png, at + 12), 2u);
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

TEST(PngWriter, RefusesPixelsThatDoNotFitTheSize) {
    EXPECT_TRUE(EncodePng(2, 2, std::vector<uint8_t>(11)).empty());
    EXPECT_TRUE(EncodePng(0, 2, {}).empty());
}

}  // namespace
