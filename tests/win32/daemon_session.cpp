#include "daemon_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace session {

namespace {

const char kModuleLetters[] = "SPECDHFWXIB";

// A fault on any thread of the test process, such as the daemon's worker
// running code that was unmapped under it, ends the process with the fault's
// code. Without this, Wine ends only the faulting thread and the test program
// can still exit with success.
LONG WINAPI FailOnUnhandledFault(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    std::fprintf(stderr, "Unhandled exception 0x%08lx at %p on thread %lu\n", static_cast<unsigned long>(code),
                 info->ExceptionRecord->ExceptionAddress, static_cast<unsigned long>(GetCurrentThreadId()));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

const LPTOP_LEVEL_EXCEPTION_FILTER g_previousFaultFilter = SetUnhandledExceptionFilter(&FailOnUnhandledFault);

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

}  // namespace

TempDirectory::TempDirectory() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        std::ostringstream name;
        name << base << "orbwick-" << GetCurrentProcessId() << "-" << GetTickCount() << "-" << ++counter;
        if (CreateDirectoryA(name.str().c_str(), nullptr)) {
            path_ = name.str() + "\\";
            return;
        }
    }
}

TempDirectory::~TempDirectory() { RemoveDirectoryTree(path_); }

void TempDirectory::WriteFile(const std::string& name, const std::string& bytes) const {
    HANDLE file = CreateFileA((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size()) << name;
}

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

bool WaitForThreadEnd(DWORD threadId, DWORD timeoutMs) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (thread == nullptr) {
        return true;  // already gone: nothing refers to it any more
    }
    const bool ended =
        testhost::PumpUntil([thread] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, timeoutMs);
    CloseHandle(thread);
    return ended;
}

DWORD ThreadOfLogLine(const testhost::RecordingHost& host, const std::string& text) {
    for (const testhost::HostCall& call : host.CallsOf(testhost::Op::WriteLog)) {
        if (call.text == text) {
            return call.threadId;
        }
    }
    return 0;
}

bool LibraryLoaded() { return GetModuleHandleW(L"orbwick.dll") != nullptr; }

DaemonSession::DaemonSession(const std::string& enabled, const std::string& hidden, HostVersion version)
    : version_(version) {
    directory_.WriteFile("norvale.ini", ConfigText(enabled, hidden));
    host.SetBaseDirectory(directory_.Path());
    host.SetMainWindow(frame.frame());
    for (const char* letter = kModuleLetters; *letter != '\0'; ++letter) {
        host.SetModuleState(*letter, 1);
    }
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    previousDirectory_ = current;
    SetCurrentDirectoryA(directory_.Path().c_str());
}

DaemonSession::~DaemonSession() {
    if (library_) {
        EXPECT_TRUE(CloseAndUnload()) << "the start-up worker kept orbwick.dll loaded";
    }
    SetCurrentDirectoryW(previousDirectory_.c_str());
}

int32_t DaemonSession::Start() {
    library_.emplace();
    return library_->Startup(host.MakeRecord(version_.major, version_.minor));
}

bool DaemonSession::StartAndWaitForMenu() {
    if ((Start() & 0xFF) != 1) {
        return false;
    }
    return testhost::PumpUntil([this] { return MenuAttached(); }, kWaitMs);
}

bool DaemonSession::CloseAndUnload() {
    if (!library_) {
        return !LibraryLoaded();
    }
    library_->Closedown();
    library_.reset();
    // The worker may still be waiting for this thread to answer a message;
    // it lets go of the library only after that.
    return testhost::PumpUntil([] { return !LibraryLoaded(); }, kWaitMs);
}

HMENU DaemonSession::HostMenu() const { return GetSubMenu(GetMenu(frame.frame()), 2); }

// Found by its text: the host menu is also the MDI client's window menu, in
// which the platform keeps its own list of the MDI children.
HMENU DaemonSession::DisplayMenu() const {
    HMENU hostMenu = HostMenu();
    const int count = GetMenuItemCount(hostMenu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(hostMenu, static_cast<UINT>(i), text, 63, MF_BYPOSITION);
        if (GetSubMenu(hostMenu, i) != nullptr && std::wstring(text) == L"Display control") {
            return GetSubMenu(hostMenu, i);
        }
    }
    return nullptr;
}

bool DaemonSession::MenuAttached() const { return DisplayMenu() != nullptr; }

HWND DaemonSession::AddMdiChildWithStyle(const std::wstring& title, DWORD style) {
    HWND client = frame.client();
    const LONG clientStyle = GetWindowLongW(client, GWL_STYLE);
    SetWindowLongW(client, GWL_STYLE, clientStyle | MDIS_ALLCHILDSTYLES);
    MDICREATESTRUCTW create = {};
    create.szClass = L"NVLMDICHILD";
    create.szTitle = title.c_str();
    create.hOwner = GetModuleHandleW(nullptr);
    create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
    create.style = style;
    HWND child = reinterpret_cast<HWND>(SendMessageW(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
    SetWindowLongW(client, GWL_STYLE, clientStyle);
    return child;
}

bool MenuItem::operator==(const MenuItem& other) const {
    return text == other.text && id == other.id && separator == other.separator && checked == other.checked &&
           popup == other.popup;
}

std::vector<MenuItem> ReadMenu(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[400] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 399;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        MenuItem item;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        item.text = item.separator ? L"" : text;
        item.id = info.hSubMenu != nullptr ? 0 : info.wID;
        item.checked = (info.fState & MFS_CHECKED) != 0;
        item.popup = info.hSubMenu != nullptr;
        items.push_back(item);
    }
    return items;
}

void PrintTo(const MenuItem& item, std::ostream* out) { *out << Describe({item}); }

std::string Describe(const std::vector<MenuItem>& items) {
    std::ostringstream out;
    for (const MenuItem& item : items) {
        if (item.separator) {
            out << "  ----\n";
            continue;
        }
        std::string text;
        for (wchar_t c : item.text) {
            text += c < 128 ? static_cast<char>(c) : '?';
        }
        out << "  [" << (item.checked ? 'x' : ' ') << "] " << item.id << " \"" << text << "\""
            << (item.popup ? " (popup)" : "") << "\n";
    }
    return out.str();
}

bool IsChecked(HMENU menu, UINT id) {
    const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

}  // namespace session
