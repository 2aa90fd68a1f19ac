// Native stand-in for the file seam (see file_chunks.h): C stdio, which knows
// no sharing modes.
#include "internal/file_chunks.h"

#include <cstdio>

namespace {
constexpr std::size_t kChunkSize = std::size_t{16} * 1024;
}

bool ReadFileChunks(const std::string& fileName, const std::function<bool(std::string_view)>& consume) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr)
        return false;
    char buffer[kChunkSize];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file);
        if (count > 0 && !consume(std::string_view(buffer, count)))
            break;
        // A short read is the end of the file or an error (a directory, a
        // vanished medium); either way what was read so far stands.
        if (count < sizeof buffer)
            break;
    }
    std::fclose(file);
    return true;
}
