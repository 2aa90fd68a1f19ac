#include "kit_checksums.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sha256.h"

namespace {

constexpr size_t kDigits = 64;
// Far more than the kit's list takes; a longer file is not the list.
constexpr DWORD kMaxListBytes = 64 * 1024;

struct ListedFile {
    std::string expected;  // lower-case hexadecimal
    std::string name;      // a plain file name, ASCII
};

bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxListBytes;
    if (ok) {
        bytes.assign(size, '\0');
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, &bytes[0], size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    return ok;
}

bool IsLowerHex(const std::string& text) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// A name in the kit's own folder: no path, nothing outside printable ASCII.
bool IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e || c == '\\' || c == '/' || c == ':') {
            return false;
        }
    }
    return true;
}

// sha256sum's two forms: "<sum>  <name>" (text) and "<sum> *<name>" (binary).
bool ParseLine(const std::string& line, ListedFile& listed) {
    if (line.size() < kDigits + 3 || line[kDigits] != ' ' || (line[kDigits + 1] != ' ' && line[kDigits + 1] != '*')) {
        return false;
    }
    listed.expected = line.substr(0, kDigits);
    listed.name = line.substr(kDigits + 2);
    return IsLowerHex(listed.expected) && IsPlainName(listed.name);
}

bool ParseList(const std::string& bytes, std::vector<ListedFile>& files) {
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        ListedFile listed;
        if (!ParseLine(line, listed)) {
            return false;
        }
        files.push_back(listed);
    }
    return !files.empty();
}

// Whether one of the first count files of the list has this name; Windows
// file names ignore letter case.
bool IsListed(const std::vector<ListedFile>& files, size_t count, const std::string& name) {
    for (size_t i = 0; i < count; ++i) {
        if (_stricmp(files[i].name.c_str(), name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text != L'\0'; ++text) {
        narrow += *text > 0 && *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return narrow;
}

}  // namespace

KitCheck CheckKitChecksums(const wchar_t* listPath, const wchar_t* dll, const wchar_t* const* required, int count) {
    const std::string listName = Narrow(listPath);
    std::string bytes;
    std::vector<ListedFile> files;
    if (!ReadWholeFile(listPath, bytes) || !ParseList(bytes, files)) {
        std::printf("%s: missing or damaged, so the kit cannot check its files\n", listName.c_str());
        return KitCheck::NoList;
    }
    bool wrong = false;
    for (int i = 0; i < count; ++i) {
        const std::string name = Narrow(required[i]);
        if (!IsListed(files, files.size(), name)) {
            std::printf("%s: not in %s, so the kit cannot check it\n", name.c_str(), listName.c_str());
            wrong = true;
        }
    }
    const std::string dllName = Narrow(dll);
    bool dllDiffers = false;
    unsigned matching = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const ListedFile& listed = files[i];
        const std::wstring name = Widen(listed.name);
        if (IsListed(files, i, listed.name)) {
            std::printf("%s: listed twice in %s\n", listed.name.c_str(), listName.c_str());
            wrong = true;
        } else if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::printf("%s: missing from the kit's folder, but %s lists it\n", listed.name.c_str(), listName.c_str());
            wrong = true;
        } else {
            const std::string actual = FileSha256(name.c_str());
            if (actual == listed.expected) {
                ++matching;
                continue;
            }
            if (_stricmp(listed.name.c_str(), dllName.c_str()) == 0) {
                dllDiffers = true;
            } else {
                wrong = true;
            }
            std::printf("%s: SHA-256 %s, but %s has %s for it\n", listed.name.c_str(),
                        actual.empty() ? "unknown (the file cannot be read)" : actual.c_str(), listName.c_str(),
                        listed.expected.c_str());
        }
    }
    if (wrong) {
        return KitCheck::NotRelease;
    }
    if (dllDiffers) {
        std::printf("Checked: %u files of the kit match %s; %s does not\n", matching, listName.c_str(),
                    dllName.c_str());
        return KitCheck::OtherDll;
    }
    std::printf("Checked: %u files of the kit match %s\n", matching, listName.c_str());
    return KitCheck::Release;
}
