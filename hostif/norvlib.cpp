#include "norvlib.h"

#include <windows.h>

#include <string>

#include "sysutils_mini.h"
#include "texts.h"

namespace {

constexpr char kHostModulePrefix[] = "NORVALE";
constexpr uint32_t kStateBit0 = 1u << 0;
constexpr uint32_t kStateBit1 = 1u << 1;

// Every line the daemon writes of its own is ASCII and shorter than this: it
// is copied byte for byte, so a line saying what failed needs neither memory
// nor a conversion, which may be what failed. (ASCII is the same in every
// ANSI code page.)
constexpr size_t kAsciiLineLength = 160;
constexpr wchar_t kFirstNonAscii = 0x80;

// The copy walks the buffer itself, so it cannot write past its end.
bool CopyAsciiLine(const wchar_t* text, char (&line)[kAsciiLineLength]) {
    for (char& out : line) {
        const wchar_t c = *text++;
        if (c >= kFirstNonAscii) {
            return false;
        }
        out = static_cast<char>(c);
        if (c == L'\0') {
            return true;
        }
    }
    return false;
}

}  // namespace

int QueryModuleState(const HostRecord& host, char moduleLetter) {
    char name[sizeof kHostModulePrefix + 1];  // "NORVALE" + letter + terminating zero
    for (size_t i = 0; i + 1 < sizeof kHostModulePrefix; ++i) {
        name[i] = kHostModulePrefix[i];
    }
    name[sizeof kHostModulePrefix - 1] = moduleLetter;
    name[sizeof kHostModulePrefix] = '\0';

    const int32_t answer = host.ModuleState(name, 0, 0);
    if (answer == kModuleAbsent) {
        return kModuleAbsent;
    }
    const uint32_t flags = static_cast<uint32_t>(answer) & 0xFFFFu;
    if (!(flags & kStateBit0)) {
        return 0;
    }
    return (flags & kStateBit1) ? 2 : 1;
}

void ShowSaveFailedMessage(const HostRecord& host, const std::function<bool()>& goesOn) {
    // The owner is asked afresh: the host may have replaced its frame since
    // start-up. A window that no longer exists would make MessageBoxW fail
    // without showing anything, so the box then has no owner.
    HWND owner = reinterpret_cast<HWND>(static_cast<intptr_t>(host.QueryValue(kQueryMainWindow)));
    if (goesOn && !goesOn()) {
        return;
    }
    MessageBoxW(IsWindow(owner) ? owner : nullptr, kSaveFailedText, kMessageCaption, MB_OK);
}

void MergeHiddenWindowsSection(const HostRecord& host, const std::function<bool()>& goesOn) {
    const auto goOn = [&] { return !goesOn || goesOn(); };
    if (host.MergeSection(kHiddenWindowsHeader, kUpdateFileName) == 0 && goOn()) {
        WriteHostLog(host, kLogLevelOutcome, kLogSaveRefused);
        if (goOn()) {
            ShowSaveFailedMessage(host, goesOn);
        }
    }
}

void WriteHostLog(const HostRecord& host, int32_t level, const wchar_t* text) {
    char ascii[kAsciiLineLength];
    if (CopyAsciiLine(text, ascii)) {
        host.WriteLog(kLogSource, level, ascii);
        return;
    }
    const std::string line = Utf16ToAnsi(text);
    if (!line.empty()) {
        host.WriteLog(kLogSource, level, line.c_str());
    }
}
