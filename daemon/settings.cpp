#include "settings.h"

#include <windows.h>

#include <iterator>
#include <string>

#include "cfgfile.h"
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

// The platform refuses to replace a read-only file, and a hidden or system
// one unless the new file keeps those attributes, and to delete a read-only
// one. An update file left so (by an earlier program, or an operator) is the
// daemon's own all the same: its attributes are cleared before it is
// replaced.
HANDLE CreateUpdateFile() {
    constexpr DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesA(kUpdateFileName);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & kBlocking) != 0) {
        SetFileAttributesA(kUpdateFileName, FILE_ATTRIBUTE_NORMAL);
    }
    return CreateFileA(kUpdateFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Creates (or replaces) the update file with exactly these bytes, flushed and
// closed. On any failure a file this call created is removed again, and a file
// it could not create is left alone.
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

void SaveSettings() {
    if (!WriteUpdateFile(HiddenModuleLines())) {
        ShowSaveFailedMessage(g_daemon.host);
        return;
    }
    MergeHiddenWindowsSection(g_daemon.host);
    DeleteFileA(kUpdateFileName);
    SendMessageW(g_daemon.mainWindow, WM_COMMAND, kHostCommandReloadConfig, 0);
}
