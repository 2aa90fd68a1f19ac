#include "settings.h"

#include <windows.h>

#include <functional>
#include <iterator>
#include <string>

#include "cfgfile.h"
#include "command_hook.h"
#include "daemon_state.h"
#include "norvlib.h"
#include "sysutils_mini.h"
#include "texts.h"

namespace {

// Whole-line mode: every line of a section is one key, with or without "=",
// so the bare module names the host merged in are read back.
constexpr char kWholeLineSeparator = '#';

// The modules whose host module name occurs anywhere in the upper-cased text.
ModuleSet ModulesNamedIn(const Utf16Text& upperCasedSection) {
    ModuleSet set = 0;
    for (int i = 0; i < kModuleCount; ++i) {
        if (upperCasedSection.find(AnsiToUtf16(HostModuleName(i))) != Utf16Text::npos) {
            set = static_cast<ModuleSet>(set | (1u << i));
        }
    }
    return set;
}

ModuleSet ModulesListedInSection(const SectionRequest& section) { return ModulesNamedIn(UpperCaseText(section.Text)); }

// One line, name + CR LF, per enabled module whose found window is hidden now.
std::string HiddenModuleLines() {
    std::string lines;
    for (int i = 0; i < kModuleCount; ++i) {
        HWND slot = SlotWindow(i);
        if (InModuleSet(g_daemon.enabledSet, i) && slot != nullptr && !IsWindowVisible(slot)) {
            lines += HostModuleName(i);
            lines += "\r\n";
        }
    }
    return lines;
}

// A save writes only to a file of its own: a plain file (no directory, device
// or reparse point) with no other name. Whoever may create files in the
// current folder could have planted "IniUpdate.tmp" as a hard link to
// another file, or as a symbolic link; writing through it, or clearing its
// read-only attribute (which a hard link shares with its other names), would
// change that other file with the host's rights.
constexpr DWORD kNotPlainFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;

// The platform refuses to replace a read-only file, and a hidden or system
// one unless the new file keeps those attributes, and to delete a read-only
// one.
constexpr DWORD kBlockingAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// True when the open file is a plain file with exactly one name; its
// attributes go to *attributes.
bool IsPlainFileWithOneName(HANDLE file, DWORD* attributes) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) {
        return false;
    }
    *attributes = information.dwFileAttributes;
    return (information.dwFileAttributes & kNotPlainFile) == 0 && information.nNumberOfLinks == 1;
}

// Opens the update file for writing, emptied, creating it when there is
// none. Its name is first opened as it is, never what a reparse point names,
// and checked through that handle. No handle here shares deleting, so while
// they are open nobody can rename or delete the name and put another file in
// its place: the attributes cleared and the file opened for writing by that
// name are the ones checked. A stale file of the daemon's own (plain, one
// name) is replaced even when read-only, hidden or system. Anything else is
// left exactly as it is, and the result is INVALID_HANDLE_VALUE, as when the
// file cannot be created; a file of the daemon's own is not left behind then.
HANDLE CreateUpdateFile() {
    HANDLE checked = CreateFileA(kUpdateFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (checked == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }
    DWORD attributes = 0;
    if (!IsPlainFileWithOneName(checked, &attributes)) {
        CloseHandle(checked);
        return INVALID_HANDLE_VALUE;
    }
    if ((attributes & kBlockingAttributes) != 0) {
        SetFileAttributesA(kUpdateFileName, FILE_ATTRIBUTE_NORMAL);
    }
    HANDLE file = CreateFileA(kUpdateFileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    CloseHandle(checked);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(kUpdateFileName);
    }
    return file;
}

// Creates (or replaces) the update file with exactly these bytes, flushed and
// closed. On any failure a file of the daemon's own is removed again, and
// anything else at the name is left alone.
bool WriteUpdateFile(const std::string& bytes) {
    HANDLE file = CreateUpdateFile();
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool complete =
        bytes.empty() ||
        (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
    complete = complete && FlushFileBuffers(file);
    complete = CloseHandle(file) && complete;
    if (!complete) {
        DeleteFileA(kUpdateFileName);
    }
    return complete;
}

}  // namespace

// The two sections are read in one pass that keeps nothing of the others, so
// the memory STARTUP needs does not grow with the rest of the host's file.
void LoadSettings() {
    const std::string fileName = Utf16ToAnsi(g_daemon.baseDirectory + kConfigFileName);
    SectionRequest sections[] = {{kProtocolsSection, {}}, {kHiddenWindowsSection, {}}};
    ReadConfigSections(fileName, kWholeLineSeparator, false, sections, std::size(sections));
    g_daemon.enabledSet = ModulesListedInSection(sections[0]);
    g_daemon.hiddenSet = ModulesListedInSection(sections[1]);
}

// Each step after a call to the host is taken only while the host has called
// no export from inside one: a save during which the daemon was closed down
// (or started afresh) asks, shows and sends nothing more. Its own update
// file is still deleted.
void SaveSettings() {
    const std::function<bool()> goesOn = [] { return !CommandInterrupted(); };
    if (!WriteUpdateFile(HiddenModuleLines())) {
        WriteHostLog(g_daemon.host, kLogLevelOutcome, kLogSaveNotWritten);
        if (goesOn()) {
            ShowSaveFailedMessage(g_daemon.host, goesOn);
        }
        return;
    }
    MergeHiddenWindowsSection(g_daemon.host, goesOn);
    DeleteFileA(kUpdateFileName);
    if (goesOn()) {
        SendMessageW(g_daemon.mainWindow, WM_COMMAND, kHostCommandReloadConfig, 0);
    }
}
