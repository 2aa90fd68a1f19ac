// The Windows file seam (see file_chunks.h).
#include "internal/file_chunks.h"

#include <windows.h>

#include "sysutils_mini.h"

namespace {
constexpr DWORD kChunkSize = 16 * 1024;

// Closes the file on every way out, a consumer that throws (out of memory)
// included: a handle left open would keep every writer out of the file until
// the process ends.
struct FileHandle {
    HANDLE handle;
    ~FileHandle() { CloseHandle(handle); }
};
}  // namespace

bool ReadFileChunks(const std::string& fileName, const std::function<bool(std::string_view)>& consume) {
    // FILE_SHARE_READ alone: an open by another for writing makes this open
    // fail with a sharing violation, and while this handle is open nobody can
    // start writing, so a file is never read half-written.
    const Utf16Text wideName = AnsiToUtf16(fileName);
    HANDLE opened = CreateFileW(wideName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    const FileHandle file{opened};
    char buffer[kChunkSize];
    for (;;) {
        DWORD count = 0;
        // A read error ends the file here: what was read so far stands, and
        // the answer says the file was not read to its end.
        if (!ReadFile(file.handle, buffer, kChunkSize, &count, nullptr))
            return false;
        if (count == 0 || !consume(std::string_view(buffer, count)))
            break;
    }
    return true;
}
