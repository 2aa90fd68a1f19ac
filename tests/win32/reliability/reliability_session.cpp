#include "reliability_session.h"

#include <tlhelp32.h>

#include <sstream>

namespace reliability {

namespace {

const char kLetters[] = "SPECDHFWXIB";
const wchar_t* const kModuleClasses[kModules] = {L"mdlg_msc", L"mdlg_mpp", L"mdlg_mce", L"mdlg_mcc",
                                                 L"mdlg_dpc", L"mdlg_mhc", L"mdlg_mdf", L"mdlg_mdw",
                                                 L"mdlg_xpc", L"mdlg_mis", L"mdlg_mbs"};
const char kScanComplete[] = "Orbwick: window scan complete";
const char kNoMainWindow[] = "Orbwick daemon could not find main window";

void RemoveDirectoryTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryTree(path + name + "\\");
            } else {
                DeleteFileA((path + name).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

// The thread of the worker, known from the log line it writes when its scan
// is over; 0 until then.
DWORD WorkerThread(const testhost::RecordingHost& host) {
    for (const testhost::HostCall& call : host.CallsOf(testhost::Op::WriteLog)) {
        if (call.text == kScanComplete || call.text == kNoMainWindow) {
            return call.threadId;
        }
    }
    return 0;
}

MessageBoxCloser* g_closer = nullptr;

}  // namespace

char LetterOf(int index) { return kLetters[index]; }
const wchar_t* ModuleClassOf(int index) { return kModuleClasses[index]; }

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

TempDirectory::TempDirectory() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        std::ostringstream name;
        name << base << "orbwick-rel-" << GetCurrentProcessId() << "-" << ++counter;
        if (CreateDirectoryA(name.str().c_str(), nullptr)) {
            path_ = name.str() + "\\";
            return;
        }
    }
}

TempDirectory::~TempDirectory() { RemoveDirectoryTree(path_); }

bool TempDirectory::WriteFile(const std::string& name, const std::string& bytes) const {
    HANDLE file = CreateFileA((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

Session::Session() {
    host.SetBaseDirectory(directory_.Path());
    host.SetMainWindow(frame.frame());
    for (const char* letter = kLetters; *letter != '\0'; ++letter) {
        host.SetModuleState(*letter, 1);
    }
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    previousDirectory_ = current;
    SetCurrentDirectoryA(directory_.Path().c_str());
}

Session::~Session() {
    CloseAndUnload();
    SetCurrentDirectoryW(previousDirectory_.c_str());
}

HWND Session::AddModule(int index) {
    const std::wstring title = std::wstring(L"Norvale ") + static_cast<wchar_t>(LetterOf(index)) + L" module";
    return frame.AddModuleWindow(title, kModuleClasses[index]);
}

HWND Session::AddCore() { return frame.AddModuleWindow(L"Norvale Core Process", L"mdlg_core"); }

int32_t Session::Start(uint8_t major, uint8_t minor) {
    library_.emplace();
    return library_->Startup(host.MakeRecord(major, minor));
}

bool Session::WaitForMenu() {
    return testhost::PumpUntil([this] { return DisplayMenu() != nullptr; }, kWaitMs);
}

bool Session::WaitForWorkerEnd() {
    if (!testhost::PumpUntil([this] { return WorkerThread(host) != 0; }, kWaitMs)) {
        return false;
    }
    return WaitForThreadEnd(WorkerThread(host));
}

bool Session::CloseAndUnload() {
    if (!library_) {
        return !LibraryLoaded();
    }
    library_->Closedown();
    library_.reset();
    return testhost::PumpUntil([] { return !LibraryLoaded(); }, kWaitMs);
}

HMENU Session::HostMenu() const { return GetSubMenu(GetMenu(frame.frame()), 2); }

// Looked for by its text rather than by position: the MDI client keeps its
// list of child windows in the same popup and changes it as children come
// and go.
HMENU Session::DisplayMenu() const {
    HMENU hostMenu = HostMenu();
    for (int i = GetMenuItemCount(hostMenu) - 1; i >= 0; --i) {
        wchar_t text[64] = {};
        GetMenuStringW(hostMenu, static_cast<UINT>(i), text, 63, MF_BYPOSITION);
        HMENU popup = GetSubMenu(hostMenu, i);
        if (popup != nullptr && std::wstring(text) == L"Display control") {
            return popup;
        }
    }
    return nullptr;
}

void Command(HWND window, unsigned id) { testhost::SendMenuCommand(window, id); }

std::optional<bool> CheckMark(HMENU menu, UINT id) {
    const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) {
        return std::nullopt;
    }
    return (state & MF_CHECKED) != 0;
}

std::wstring ItemText(HMENU menu, UINT id) {
    wchar_t text[1024] = {};
    GetMenuStringW(menu, id, text, 1023, MF_BYCOMMAND);
    return text;
}

bool LibraryLoaded() { return GetModuleHandleW(L"orbwick.dll") != nullptr; }

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

bool WaitForThreadEnd(DWORD threadId, DWORD timeoutMs) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (thread == nullptr) {
        return true;  // already gone
    }
    const bool ended =
        testhost::PumpUntil([thread] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, timeoutMs);
    CloseHandle(thread);
    return ended;
}

bool FileExists(const std::string& name) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& name) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

MessageBoxCloser::MessageBoxCloser() {
    g_closer = this;
    hook_ = SetWindowsHookExW(WH_CBT, &CbtProc, nullptr, GetCurrentThreadId());
}

MessageBoxCloser::~MessageBoxCloser() {
    UnhookWindowsHookEx(hook_);
    g_closer = nullptr;
}

// The box is read and dismissed when it is first activated: by then its
// dialog has been built, and the OK posted here is handled by its own loop.
LRESULT CALLBACK MessageBoxCloser::CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_closer != nullptr) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[64] = {};
        GetClassNameW(box, className, 63);
        if (std::wstring(className) == L"#32770") {
            wchar_t buffer[512] = {};
            GetWindowTextW(box, buffer, 511);
            g_closer->caption = buffer;
            buffer[0] = L'\0';
            GetDlgItemTextW(box, 0xFFFF, buffer, 511);  // the message box's text control
            g_closer->text = buffer;
            g_closer->owner = GetWindow(box, GW_OWNER);
            ++g_closer->count;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace reliability
