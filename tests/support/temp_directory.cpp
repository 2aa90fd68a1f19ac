#include "temp_directory.h"

#include <windows.h>

#include <sstream>
#include <stdexcept>

namespace fixture {

namespace {

// A name is taken only by a folder of this process's own counter, so a few
// failures in a row mean that the temp folder cannot be written (or cannot
// be named in the ANSI code page): the test fails instead of retrying.
constexpr int kMaxCreateTries = 100;

void RemoveDirectoryTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryTree(path + name + "\\");
            } else {
                DeleteFileA((path + name).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

}  // namespace

TempDirectory::TempDirectory() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    DWORD error = 0;
    for (int tries = 0; tries < kMaxCreateTries; ++tries) {
        std::ostringstream name;
        name << base << "orbwick-" << GetCurrentProcessId() << "-" << GetTickCount() << "-" << ++counter;
        if (CreateDirectoryA(name.str().c_str(), nullptr)) {
            path_ = name.str() + "\\";
            return;
        }
        error = GetLastError();
    }
    // GoogleTest reports the exception as the failure of the test that
    // wanted the folder, and runs the others.
    std::ostringstream why;
    why << "TempDirectory: no folder could be created in " << base << " (error " << error << ")";
    throw std::runtime_error(why.str());
}

TempDirectory::~TempDirectory() { RemoveDirectoryTree(path_); }

bool TempDirectory::WriteFile(const std::string& name, const std::string& bytes) const {
    HANDLE file =
        CreateFileA((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool FileExists(const std::string& name) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& name) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace fixture
