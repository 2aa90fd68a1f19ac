#include "settings.h"

#include <windows.h>

#include <functional>
#include <iterator>
#include <string>

#include "account_only_security.h"
#include "cfgfile.h"
#include "daemon_state.h"
#include "norvlib.h"
#include "sysutils_mini.h"
#include "texts.h"

namespace {

// Whole-line mode: every line of a section is one key, with or without "=",
// so the bare module names the host merged in are read back.
constexpr char kWholeLineSeparator = '#';

// A host module name in UTF-16. The names are ASCII, so each byte is its
// character: no conversion that could fail (an empty name would be found in
// any text).
Utf16Text WideModuleName(int index) {
    Utf16Text wide;
    for (const char c : HostModuleName(index)) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return wide;
}

// The modules whose host module name occurs anywhere in the upper-cased text.
ModuleSet ModulesNamedIn(const Utf16Text& upperCasedSection) {
    ModuleSet set = 0;
    for (int i = 0; i < kModuleCount; ++i) {
        if (upperCasedSection.find(WideModuleName(i)) != Utf16Text::npos) {
            set = static_cast<ModuleSet>(set | (1u << i));
        }
    }
    return set;
}

ModuleSet ModulesListedInSection(const SectionRequest& section) { return ModulesNamedIn(UpperCaseText(section.Text)); }

// One line, name + CR LF, per enabled module whose found window is hidden now.
// A window that no longer exists (its module restarted, and no new window
// was found for it) is not visible either, but nobody hid it: it is left out.
std::string HiddenModuleLines() {
    std::string lines;
    for (int i = 0; i < kModuleCount; ++i) {
        HWND slot = SlotWindow(i);
        if (InModuleSet(g_daemon.enabledSet, i) && slot != nullptr && IsWindow(slot) && !IsWindowVisible(slot)) {
            lines += HostModuleName(i);
            lines += "\r\n";
        }
    }
    return lines;
}

// How a step of writing the update file came out: a link at its name is told
// apart from every other failure. NotRead: no file is written at all, since
// the configuration was not read completely at start, and a save from a
// partial view of the host's modules would erase the choice saved for the
// others.
enum class FileStep { Done, Failed, LinkLeftAlone, NotRead };

// What may stand at the update file's name before a save.
enum class FileKind { PlainWithOneName, Link, Other };

// A save removes only a plain file with one name: its own left from an
// earlier save, or one that someone who may create files in the current
// folder planted there. A hard link to another file, a symbolic link or a
// junction is a link: clearing its read-only attribute would clear that of
// the file it leads to (a hard link shares it with its other names), and
// removing it would hide the plant from the operator, so it is left as it is
// and reported. A directory or device is left alone too.
FileKind KindOf(HANDLE file, DWORD* attributes) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) {
        return FileKind::Other;
    }
    *attributes = information.dwFileAttributes;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || information.nNumberOfLinks > 1) {
        return FileKind::Link;
    }
    constexpr DWORD kNotPlainFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    return (information.dwFileAttributes & kNotPlainFile) == 0 ? FileKind::PlainWithOneName : FileKind::Other;
}

// Frees the update file's name for a fresh file. Whatever holds it is opened
// as it is (never what a reparse point names; a directory too) and checked
// through that handle. The handle reads data, so its sharing counts, and it
// shares no deleting: while it is open nobody can rename or delete the name
// and put another file in its place, so a read-only attribute is cleared on
// the file checked, never on a link swapped in. The file is then deleted by
// name: a name swapped after the check loses only that name, and nothing is
// ever written to what stood there. Done: the name is free now.
FileStep FreeUpdateFileName() {
    HANDLE checked = CreateFileA(kUpdateFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (checked == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? FileStep::Done : FileStep::Failed;
    }
    DWORD attributes = 0;
    const FileKind kind = KindOf(checked, &attributes);
    if (kind == FileKind::PlainWithOneName && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesA(kUpdateFileName, FILE_ATTRIBUTE_NORMAL);
    }
    CloseHandle(checked);
    if (kind != FileKind::PlainWithOneName) {
        return kind == FileKind::Link ? FileStep::LinkLeftAlone : FileStep::Failed;
    }
    return DeleteFileA(kUpdateFileName) ? FileStep::Done : FileStep::Failed;
}

// Creates the update file anew, for writing by this handle alone. CREATE_NEW
// never opens a file someone else made, with its owner and permissions: a
// name taken again since it was freed fails the creation. Only the server's
// account may open the new file, so nobody else can change its lines between
// its close and the host's merge.
HANDLE CreateFreshUpdateFile() {
    AccountOnlySecurity security;
    if (!BuildAccountOnlySecurity(&security)) {
        return INVALID_HANDLE_VALUE;
    }
    // A symbolic link planted at the name after it was freed is not followed:
    // the creation then fails instead of making the file the link names.
    return CreateFileA(kUpdateFileName, GENERIC_WRITE, FILE_SHARE_READ, &security.attributes, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Writes a fresh update file with exactly these bytes, flushed and closed. On
// a failure after its creation the daemon's own file is removed again;
// anything else at the name is left alone.
FileStep WriteUpdateFile(const std::string& bytes) {
    const FileStep name = FreeUpdateFileName();
    if (name != FileStep::Done) {
        return name;
    }
    HANDLE file = CreateFreshUpdateFile();
    if (file == INVALID_HANDLE_VALUE) {
        return FileStep::Failed;
    }
    DWORD written = 0;
    bool complete =
        bytes.empty() ||
        (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
    complete = complete && FlushFileBuffers(file);
    complete = CloseHandle(file) && complete;
    if (!complete) {
        DeleteFileA(kUpdateFileName);
        return FileStep::Failed;
    }
    return FileStep::Done;
}

const wchar_t* SaveFailureLine(FileStep step) {
    switch (step) {
    case FileStep::LinkLeftAlone:
        return kLogSaveLinkLeftAlone;
    case FileStep::NotRead:
        return kLogSaveNotRead;
    default:
        return kLogSaveNotWritten;
    }
}

}  // namespace

// The two sections are read in one pass that keeps nothing of the others, so
// the memory STARTUP needs does not grow with the rest of the host's file.
// A file name that cannot be converted is not read at all.
void LoadSettings() {
    const Utf16Text wideName = g_daemon.baseDirectory + kConfigFileName;
    const std::string fileName = Utf16ToAnsi(wideName);
    SectionRequest sections[] = {{kProtocolsSection, {}}, {kHiddenWindowsSection, {}}};
    g_daemon.settingsRead =
        !fileName.empty() && ReadConfigSections(fileName, kWholeLineSeparator, false, sections, std::size(sections));
    g_daemon.enabledSet = ModulesListedInSection(sections[0]);
    g_daemon.hiddenSet = ModulesListedInSection(sections[1]);
}

// Each step after a call to the host is taken only while the host has called
// no export from inside one: a save during which the daemon was closed down
// (or started afresh) asks, shows and sends nothing more. Its own update
// file is still deleted.
void SaveSettings(const std::function<bool()>& goesOn) {
    const FileStep file = g_daemon.settingsRead ? WriteUpdateFile(HiddenModuleLines()) : FileStep::NotRead;
    if (file != FileStep::Done) {
        WriteHostLog(g_daemon.host, kLogLevelOutcome, SaveFailureLine(file));
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
