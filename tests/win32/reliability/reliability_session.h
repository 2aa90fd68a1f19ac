// A daemon started inside the test host for the reliability tests: a
// temporary directory that is also the current directory (where norvale.ini
// is looked for when the base directory is empty and where "IniUpdate.tmp"
// goes), the recording host with every module present, a real MDI frame and
// the built orbwick.dll. The destructor calls CLOSEDOWN, unloads the library
// and waits (bounded, pumping) until the start-up worker has let go of it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "test_host.h"

namespace reliability {

constexpr DWORD kWaitMs = 10000;  // generous bound for anything asynchronous

// Character i of "SPECDHFWXIB", and the class recognised for module i while
// the new-host flag is clear.
char LetterOf(int index);
const wchar_t* ModuleClassOf(int index);
constexpr int kModules = 11;
constexpr int kCore = kModules;  // index used for the core window in tables below

// The norvale.ini text enabling the modules of the letters in `enabled` and
// hiding those in `hidden`.
std::string ConfigText(const std::string& enabled, const std::string& hidden);

// A fresh directory under the temp directory, removed with its contents.
// Path() ends in "\".
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::string& Path() const { return path_; }
    // False when the file could not be written completely.
    bool WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    testhost::RecordingHost host;
    testhost::HostFrame frame;
    const TempDirectory& directory() const { return directory_; }

    // The module window (an MDI child titled "Norvale <letter> module")
    // holding the slot window of module index; returns the slot window.
    HWND AddModule(int index);
    // The core window ("Norvale Core Process" with an "mdlg_core" inside).
    HWND AddCore();

    // Loads the library and calls STARTUP with a host of this version.
    int32_t Start(uint8_t major = 3, uint8_t minor = 0);
    // Pumps until the Display control menu is attached; false on time-out.
    bool WaitForMenu();
    // Pumps until the worker has scanned (or found no main window) and its
    // thread has ended; false on time-out.
    bool WaitForWorkerEnd();
    // CLOSEDOWN, FreeLibrary, then pumps until the library is unmapped.
    bool CloseAndUnload();

    HMENU HostMenu() const;     // third popup of the frame's menu bar, 0 if none
    HMENU DisplayMenu() const;  // the popup "Display control", 0 until attached

private:
    TempDirectory directory_;
    std::optional<testhost::DaemonLibrary> library_;
    std::wstring previousDirectory_;
};

// Posts a WM_COMMAND to window and dispatches it the host's way.
void Command(HWND window, unsigned id);

// The check state of the item with this identifier; nullopt when absent.
std::optional<bool> CheckMark(HMENU menu, UINT id);
// The text of the item with this identifier (empty when absent).
std::wstring ItemText(HMENU menu, UINT id);

// True while orbwick.dll is mapped in this process.
bool LibraryLoaded();
// Threads of this process right now (Toolhelp snapshot), -1 on failure.
int ThreadCount();
// Pumps until the thread has ended; true when it has.
bool WaitForThreadEnd(DWORD threadId, DWORD timeoutMs = kWaitMs);
bool FileExists(const std::string& name);
bool DirectoryExists(const std::string& name);

// A message box of this thread closed as soon as it is activated, through a
// CBT hook; records what it showed.
class MessageBoxCloser {
public:
    MessageBoxCloser();
    ~MessageBoxCloser();
    MessageBoxCloser(const MessageBoxCloser&) = delete;
    MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

    int count = 0;
    std::wstring text;
    std::wstring caption;
    HWND owner = nullptr;

private:
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_ = nullptr;
};

}  // namespace reliability
