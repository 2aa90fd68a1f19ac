// A minimal PNG encoder: 8-bit RGB, no interlacing, filter type 0 on every row,
// the image data in a zlib stream of uncompressed ("stored") deflate blocks.
// Free of platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The PNG file for a width x height image whose pixels are given row by row,
// top row first, three bytes (red, green, blue) per pixel. `rgb` must hold
// exactly width * height * 3 bytes; otherwise the result is empty.
std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

// The checksums the format uses: CRC-32 (ISO 3309, as in PNG chunks) and
// Adler-32 (as at the end of a zlib stream).
uint32_t Crc32(const uint8_t* data, size_t size);
uint32_t Adler32(const uint8_t* data, size_t size);

// A zlib stream holding `data` in stored deflate blocks of at most 65535 bytes.
std::vector<uint8_t> ZlibStored(const std::vector<uint8_t>& data);
