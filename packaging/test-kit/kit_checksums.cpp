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

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text != L'\0'; ++text) {
        narrow += *text > 0 && *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return narrow;
}

}  // namespace

KitCheck CheckKitChecksums(const wchar_t* listPath, const wchar_t* allowedOther) {
    const std::string listName = Narrow(listPath);
    std::string bytes;
    std::vector<ListedFile> files;
    if (!ReadWholeFile(listPath, bytes) || !ParseList(bytes, files)) {
        std::printf("%s: missing or damaged, so the kit cannot tell whether its files are the release's\n",
                    listName.c_str());
        return KitCheck::NoList;
    }
    const std::string other = allowedOther != nullptr ? Narrow(allowedOther) : std::string();
    bool otherDiffers = false;
    bool anotherDiffers = false;
    unsigned checked = 0;
    for (const ListedFile& listed : files) {
        const std::wstring name = Widen(listed.name);
        if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        const std::string actual = FileSha256(name.c_str());
        if (actual == listed.expected) {
            ++checked;
            continue;
        }
        if (_stricmp(listed.name.c_str(), other.c_str()) == 0) {
            otherDiffers = true;
        } else {
            anotherDiffers = true;
        }
        std::printf("%s: SHA-256 %s, but %s has %s for it\n", listed.name.c_str(),
                    actual.empty() ? "unknown (the file cannot be read)" : actual.c_str(), listName.c_str(),
                    listed.expected.c_str());
    }
    if (anotherDiffers) {
        return KitCheck::NotRelease;
    }
    if (otherDiffers) {
        std::printf("Checked: %u files of the kit match %s; %s does not\n", checked, listName.c_str(), other.c_str());
    } else {
        std::printf("Checked: %u files of the kit match %s, the checksums of its release\n", checked, listName.c_str());
    }
    return otherDiffers ? KitCheck::OtherDll : KitCheck::Release;
}
