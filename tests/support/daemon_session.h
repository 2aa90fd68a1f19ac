// A daemon started inside the test host: a temporary base directory that is
// also the current directory (where norvale.ini is looked for when the base
// directory is empty, and where "IniUpdate.tmp" goes), the recording host
// with every module present (ModuleState 1), a real MDI frame as its main
// window and the built orbwick.dll. The destructor calls CLOSEDOWN, unloads
// the library and pumps until the start-up worker has let go of it, so the
// next test loads the library afresh and no worker outlives the host.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "temp_directory.h"
#include "host_model.h"
#include "thread_watch.h"

namespace fixture {

// The modules in index order (the host model's table: hostmodel::ModuleLetter,
// hostmodel::ModuleDialogClass), and the core window after them in tables indexed by module.
constexpr int kModules = hostmodel::kHostModuleCount;
constexpr int kCore = kModules;

// The norvale.ini text enabling the modules of the letters in `enabled` and
// hiding those in `hidden`.
std::string ConfigText(const std::string& enabled, const std::string& hidden);

// Host versions for each value of the new-host flag.
struct HostVersion {
    uint8_t major, minor;
};
constexpr HostVersion kOldHost{3, 0};
constexpr HostVersion kNewHost{4, 61};

// True while orbwick.dll (or the named library) is mapped in this process.
bool LibraryLoaded(const wchar_t* name = L"orbwick.dll");

class DaemonSession {
public:
    // Without norvale.ini: the test writes its own into directory().
    explicit DaemonSession(HostVersion version = kOldHost, hostmodel::FrameLayout layout = {});
    // With a norvale.ini made by ConfigText(enabled, hidden).
    DaemonSession(const std::string& enabled, const std::string& hidden, HostVersion version = kOldHost,
                  hostmodel::FrameLayout layout = {});
    ~DaemonSession();
    DaemonSession(const DaemonSession&) = delete;
    DaemonSession& operator=(const DaemonSession&) = delete;

    hostmodel::RecordingHost host;
    hostmodel::HostFrame frame;
    const wchar_t* libraryName = L"orbwick.dll";  // the daemon build Start() loads
    const TempDirectory& directory() const { return directory_; }

    // The module window (an MDI child titled "Norvale <letter> module")
    // holding the slot window of module index; returns the slot window.
    HWND AddModule(int index);
    // The core window ("Norvale Core Process" with an "mdlg_core" inside);
    // returns the "mdlg_core" window.
    HWND AddCore();
    // An MDI child built with an exact style (the client allows every child
    // style meanwhile), so a child can lack a system menu.
    HWND AddMdiChildWithStyle(const std::wstring& title, DWORD style);

    // Loads the library and calls STARTUP with the session's host version;
    // returns its result.
    int32_t Start();
    // Start(), then pumps until the Display control menu is attached; false
    // when STARTUP failed or the menu never appeared.
    bool StartAndWaitForMenu();
    // Pumps until done(), something the start-up worker brings about, is true;
    // false, with a failure naming `what` and why, when the wait ran out or
    // ended early because nothing more can come (see NothingMoreToCome).
    bool WaitForWorker(const char* what, const std::function<bool()>& done);
    // WaitForWorker for the Display control menu.
    bool WaitForMenu();
    // WaitForWorker for the worker's scan line (or its line that it found no
    // main window), then pumps until its thread has ended (bounded).
    bool WaitForWorkerEnd();
    // Why the daemon can no longer bring anything about, empty while it still
    // may: every thread begun since the session was made (or since Start())
    // has ended, or the worker asked the host for a module under a name no
    // host has, which it would wait for for ever.
    std::string NothingMoreToCome() const;
    // CLOSEDOWN, FreeLibrary, then pumps until the library is unmapped;
    // false when it was still loaded after the wait.
    bool CloseAndUnload();

    // The host menu (third popup of the frame's menu bar, 0 if none) and the
    // popup "Display control" in it (0 until the menu is attached).
    HMENU HostMenu() const;
    HMENU DisplayMenu() const;
    bool MenuAttached() const;

    // Empty before Start() and after CloseAndUnload().
    std::optional<hostmodel::DaemonLibrary>& library() { return library_; }

private:
    TempDirectory directory_;
    HostVersion version_;
    std::optional<hostmodel::DaemonLibrary> library_;
    std::wstring previousDirectory_;
    std::set<DWORD> threadsBefore_;  // the process's threads before the daemon's
};

}  // namespace fixture
