// A started daemon inside a real test host, for the window-control, start-up
// worker and save tests: a temporary base directory holding norvale.ini, the
// recording host, a real MDI frame and the built orbwick.dll. Teardown calls
// CLOSEDOWN, unloads the library and pumps until the worker is gone, so the
// next test loads the library afresh and no worker outlives the host.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "test_host.h"

namespace session {

// A fresh directory under the temp directory, removed with its files at the
// end. Path() ends in "\".
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::string& Path() const { return path_; }
    void WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// The norvale.ini text enabling the modules of the letters in `enabled` and
// hiding those in `hidden`.
std::string ConfigText(const std::string& enabled, const std::string& hidden);

// Host versions for each value of the new-host flag.
struct HostVersion {
    uint8_t major, minor;
};
constexpr HostVersion kOldHost{3, 0};
constexpr HostVersion kNewHost{4, 61};

class DaemonSession {
public:
    // Writes norvale.ini, makes every module letter present to the host
    // (ModuleState 1), makes the temporary directory the current one (where
    // "IniUpdate.tmp" goes) and builds the frame. The daemon is not started.
    DaemonSession(const std::string& enabled, const std::string& hidden, HostVersion version = kOldHost);
    ~DaemonSession();
    DaemonSession(const DaemonSession&) = delete;
    DaemonSession& operator=(const DaemonSession&) = delete;

    testhost::RecordingHost host;
    testhost::HostFrame frame;

    // Loads the library and calls STARTUP; returns its result.
    int32_t Start();
    // Calls STARTUP and pumps until the Display control menu is attached
    // (bounded); false when it never appeared.
    bool StartAndWaitForMenu();
    // CLOSEDOWN, FreeLibrary, then pumps until the library is unmapped;
    // false when it was still loaded after the wait.
    bool CloseAndUnload();

    // The host menu (third popup of the frame's menu bar) and the popup
    // "Display control" in it (0 before the menu is attached).
    HMENU HostMenu() const;
    HMENU DisplayMenu() const;
    bool MenuAttached() const;

    // An MDI child built with an exact style (the client temporarily allows
    // every child style), so a child can lack a system menu.
    HWND AddMdiChildWithStyle(const std::wstring& title, DWORD style);

    // Empty before Start() and after CloseAndUnload().
    std::optional<testhost::DaemonLibrary>& library() { return library_; }

private:
    TempDirectory directory_;
    HostVersion version_;
    std::optional<testhost::DaemonLibrary> library_;
    std::wstring previousDirectory_;
    bool closed_ = false;
};

// One item of a menu as the platform reports it.
struct MenuItem {
    std::wstring text;
    UINT id = 0;
    bool separator = false;
    bool checked = false;
    bool popup = false;
    bool operator==(const MenuItem& other) const;
};
void PrintTo(const MenuItem& item, std::ostream* out);
std::vector<MenuItem> ReadMenu(HMENU menu);
std::string Describe(const std::vector<MenuItem>& items);

// The check state of the item with this identifier; false when absent.
bool IsChecked(HMENU menu, UINT id);

constexpr DWORD kWaitMs = 20000;  // generous bound for anything asynchronous (a loaded machine)

// True while orbwick.dll is mapped in this process.
bool LibraryLoaded();

// Pumps until the thread with this identifier has ended (bounded). The
// daemon's worker is found through the thread identifiers the recording host
// notes for each call. True when the thread is gone.
bool WaitForThreadEnd(DWORD threadId, DWORD timeoutMs = kWaitMs);

// The thread that wrote the first log line with this text, 0 if none did.
DWORD ThreadOfLogLine(const testhost::RecordingHost& host, const std::string& text);

}  // namespace session
