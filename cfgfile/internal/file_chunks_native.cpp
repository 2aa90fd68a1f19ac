// Native stand-in for the file seam (see file_chunks.h): C stdio, which knows
// no sharing modes.
#include "internal/file_chunks.h"

#include <cstdio>

namespace {
constexpr std::size_t kChunkSize = std::size_t{16} * 1024;

// Closes the file on every way out, a consumer that throws included.
struct StdioFile {
    std::FILE* file;
    ~StdioFile() { std::fclose(file); }
};
}  // namespace

bool ReadFileChunks(const std::string& fileName, const std::function<bool(std::string_view)>& consume) {
    std::FILE* opened = std::fopen(fileName.c_str(), "rb");
    if (opened == nullptr)
        return false;
    const StdioFile file{opened};
    char buffer[kChunkSize];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.file);
        if (count > 0 && !consume(std::string_view(buffer, count)))
            break;
        // A short read is the end of the file or an error (a directory, a
        // vanished medium); either way what was read so far stands, and an
        // error makes the answer false.
        if (count < sizeof buffer)
            return std::ferror(file.file) == 0;
    }
    return true;
}
