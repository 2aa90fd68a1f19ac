#include "daemon_session.h"

#include <gtest/gtest.h>

#include "menu_reader.h"

namespace fixture {

namespace {

const char kScanComplete[] = "Orbwick: window scan complete";
const char kNoMainWindow[] = "Orbwick daemon could not find main window";

// The thread of the worker, known from the log line it writes when its scan
// is over; 0 until then.
DWORD WorkerThread(const hostmodel::RecordingHost& host) {
    const DWORD scanner = ThreadOfLogLine(host, kScanComplete);
    return scanner != 0 ? scanner : ThreadOfLogLine(host, kNoMainWindow);
}

}  // namespace

std::string ConfigText(const std::string& enabled, const std::string& hidden) {
    std::string text = "[Protocols]\r\n";
    for (char letter : enabled) {
        text += std::string("NORVALE") + letter + "\r\n";
    }
    text += "[HiddenWindows]\r\n";
    for (char letter : hidden) {
        text += std::string("NORVALE") + letter + "\r\n";
    }
    return text;
}

bool LibraryLoaded(const wchar_t* name) { return GetModuleHandleW(name) != nullptr; }

DaemonSession::DaemonSession(HostVersion version, hostmodel::FrameLayout layout)
    : frame(std::move(layout)), version_(version) {
    host.SetBaseDirectory(directory_.Path());
    host.SetMainWindow(frame.frame());
    for (const char* letter = hostmodel::kModuleLetters; *letter != '\0'; ++letter) {
        host.SetModuleState(*letter, 1);
    }
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    previousDirectory_ = current;
    SetCurrentDirectoryA(directory_.Path().c_str());
}

DaemonSession::DaemonSession(const std::string& enabled, const std::string& hidden, HostVersion version,
                             hostmodel::FrameLayout layout)
    : DaemonSession(version, std::move(layout)) {
    EXPECT_TRUE(directory_.WriteFile("norvale.ini", ConfigText(enabled, hidden))) << "norvale.ini";
}

DaemonSession::~DaemonSession() {
    if (library_) {
        EXPECT_TRUE(CloseAndUnload()) << "the start-up worker kept orbwick.dll loaded";
    }
    SetCurrentDirectoryW(previousDirectory_.c_str());
}

HWND DaemonSession::AddModule(int index) {
    const std::wstring title =
        std::wstring(L"Norvale ") + static_cast<wchar_t>(hostmodel::ModuleLetter(index)) + L" module";
    return frame.AddModuleWindow(title, hostmodel::ModuleDialogClass(index));
}

HWND DaemonSession::AddCore() { return frame.AddModuleWindow(hostmodel::kCoreTitle, hostmodel::kCoreDialogClass); }

HWND DaemonSession::AddMdiChildWithStyle(const std::wstring& title, DWORD style) {
    HWND client = frame.client();
    const LONG clientStyle = GetWindowLongW(client, GWL_STYLE);
    SetWindowLongW(client, GWL_STYLE, clientStyle | MDIS_ALLCHILDSTYLES);
    HWND child = frame.AddMdiChild(title, nullptr, style);
    SetWindowLongW(client, GWL_STYLE, clientStyle);
    return child;
}

int32_t DaemonSession::Start() {
    library_.emplace(libraryName);
    return library_->Startup(host.MakeRecord(version_.major, version_.minor));
}

bool DaemonSession::StartAndWaitForMenu() { return (Start() & 0xFF) == 1 && WaitForMenu(); }

bool DaemonSession::WaitForMenu() {
    return hostmodel::PumpUntil([this] { return MenuAttached(); }, kWaitMs);
}

bool DaemonSession::WaitForWorkerEnd() {
    if (!hostmodel::PumpUntil([this] { return WorkerThread(host) != 0; }, kWaitMs)) {
        return false;
    }
    return WaitForThreadEnd(WorkerThread(host));
}

bool DaemonSession::CloseAndUnload() {
    if (!library_) {
        return !LibraryLoaded(libraryName);
    }
    library_->Closedown();
    library_.reset();
    // The worker may still be waiting for this thread to answer a message;
    // it lets go of the library only after that.
    return hostmodel::PumpUntil([this] { return !LibraryLoaded(libraryName); }, kWaitMs);
}

HMENU DaemonSession::HostMenu() const { return GetSubMenu(GetMenu(frame.frame()), 2); }

// Found by its text rather than by position: the host menu is also the MDI
// client's window menu, in which the platform keeps its own list of the MDI
// children and changes it as they come and go.
HMENU DaemonSession::DisplayMenu() const { return FindPopup(HostMenu(), L"Display control"); }

bool DaemonSession::MenuAttached() const { return DisplayMenu() != nullptr; }

}  // namespace fixture
