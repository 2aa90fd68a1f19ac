#include "config_file.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "host_modules.h"
#include "host_options.h"
#include "host_state.h"
#include "section_merge.h"

namespace {

const wchar_t kConfigFileName[] = L"norvale.ini";
const wchar_t kNewFileSuffix[] = L".new";
const char kModuleNamePrefix[] = "NORVALE";

std::string UpperAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return text;
}

bool WriteAndFlush(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return FlushFileBuffers(file) != 0;
}

}  // namespace

std::wstring ConfigFilePath() { return Host().baseDir + kConfigFileName; }

bool ReadWholeFile(const std::wstring& path, std::string& bytes, bool missingIsEmpty) {
    bytes.clear();
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return missingIsEmpty && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    bool ok = true;
    char buffer[8192];
    while (true) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return ok;
}

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
    const std::wstring newPath = path + kNewFileSuffix;
    const HANDLE file =
        CreateFileW(newPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool written = WriteAndFlush(file, bytes);
    const bool closed = CloseHandle(file) != 0;
    if (!written || !closed ||
        !MoveFileExW(newPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(newPath.c_str());
        return false;
    }
    return true;
}

std::string ModulesListedIn(const std::string& configText, const char* sectionName) {
    const std::string section = UpperAscii(SectionBodyText(configText, sectionName));
    std::string letters;
    for (const char* letter = hostmodel::kModuleLetters; *letter != '\0'; ++letter) {
        if (section.find(std::string(kModuleNamePrefix) + *letter) != std::string::npos) {
            letters += *letter;
        }
    }
    return letters;
}
