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

// "NORVALE" and the letter of one of the host's modules.
bool IsHostModuleName(const std::string& name) {
    return name.size() == 8 && name.compare(0, 7, "NORVALE") == 0 &&
           std::string(hostmodel::kModuleLetters).find(name[7]) != std::string::npos;
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
    threadsBefore_ = ThreadsOfThisProcess();
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
    threadsBefore_ = ThreadsOfThisProcess();
    library_.emplace(libraryName);
    return library_->Startup(host.MakeRecord(version_.major, version_.minor));
}

bool DaemonSession::StartAndWaitForMenu() {
    if ((Start() & 0xFF) != 1) {
        ADD_FAILURE() << "no Display control menu: STARTUP refused the start";
        return false;
    }
    return WaitForMenu();
}

// What the worker does (the menu, the scan line) is done by its thread
// before it ends, so what is not done once that thread is seen gone never is.
bool DaemonSession::WaitForWorker(const char* what, const std::function<bool()>& done) {
    std::string why;
    hostmodel::PumpUntil([&] { return done() || !(why = NothingMoreToCome()).empty(); }, kWaitMs);
    if (done()) {
        return true;
    }
    ADD_FAILURE() << "no " << what << ": " << (why.empty() ? "not within the wait" : why);
    return false;
}

bool DaemonSession::WaitForMenu() {
    return WaitForWorker("Display control menu", [this] { return MenuAttached(); });
}

bool DaemonSession::WaitForWorkerEnd() {
    return WaitForWorker("scan line from the start-up worker", [this] { return WorkerThread(host) != 0; }) &&
           WaitForThreadEnd(WorkerThread(host));
}

std::string DaemonSession::NothingMoreToCome() const {
    for (const hostmodel::HostCall& call : host.CallsOf(hostmodel::Op::ModuleState)) {
        if (!IsHostModuleName(call.text)) {
            return "the daemon asked the host for module \"" + call.text + "\", which no host has";
        }
    }
    for (DWORD thread : ThreadsOfThisProcess()) {
        if (threadsBefore_.count(thread) == 0) {
            return std::string();
        }
    }
    return "no thread begun since the start is left (the start-up worker ended, or never began)";
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
