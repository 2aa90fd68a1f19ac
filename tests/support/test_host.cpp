#include "test_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace testhost {

namespace {

RecordingHost* g_host = nullptr;

std::string ReadWholeFile(const char* name, bool* existed) {
    std::string bytes;
    FILE* file = std::fopen(name, "rb");
    *existed = file != nullptr;
    if (file == nullptr) {
        return bytes;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return bytes;
}

}  // namespace

// The host operations handed to the daemon; each records its call and answers
// from the current RecordingHost.
struct HostThunks {
    static int32_t __cdecl QueryValue(int32_t index) {
        HostCall call;
        call.op = Op::QueryValue;
        call.number = index;
        g_host->Record(call);
        std::lock_guard<std::mutex> lock(g_host->mutex_);
        if (index == kQueryMainWindow) {
            return static_cast<int32_t>(reinterpret_cast<intptr_t>(g_host->mainWindow_));
        }
        if (index == kQueryBaseDirectory) {
            return g_host->baseDirectory_ ? static_cast<int32_t>(reinterpret_cast<intptr_t>(g_host->baseDirectory_->c_str())) : 0;
        }
        return 0;
    }

    static int32_t __cdecl MergeSection(const char* section, const char* fileName) {
        HostCall call;
        call.op = Op::MergeSection;
        call.text = section;
        call.fileName = fileName;
        call.fileBytes = ReadWholeFile(fileName, &call.fileExisted);
        g_host->Record(call);
        std::function<void()> onMerge;
        int32_t answer;
        {
            std::lock_guard<std::mutex> lock(g_host->mutex_);
            onMerge = g_host->onMerge_;
            answer = g_host->mergeAnswer_;
        }
        if (onMerge) {
            onMerge();
        }
        return answer;
    }

    static int32_t __cdecl ModuleState(const char* moduleName, int32_t zero1, int32_t zero2) {
        HostCall call;
        call.op = Op::ModuleState;
        call.text = moduleName;
        call.number = zero1 | zero2;
        g_host->Record(call);
        std::lock_guard<std::mutex> lock(g_host->mutex_);
        const size_t length = std::strlen(moduleName);
        const unsigned char letter = length > 0 ? static_cast<unsigned char>(moduleName[length - 1]) : 0;
        if (length == 8 && std::strncmp(moduleName, "NORVALE", 7) == 0 && letter >= 'A' && letter <= 'Z') {
            return g_host->moduleStates_[letter - 'A'];
        }
        return kModuleAbsent;
    }

    static int32_t __cdecl WriteLog(int32_t ten, int32_t level, const char* text) {
        HostCall call;
        call.op = Op::WriteLog;
        call.number = level;
        call.text = text;
        call.fileName = std::to_string(ten);
        g_host->Record(call);
        return 0;
    }
};

RecordingHost::RecordingHost() {
    for (int32_t& state : moduleStates_) {
        state = kModuleAbsent;
    }
    g_host = this;
}

RecordingHost::~RecordingHost() { g_host = nullptr; }

HostRecord RecordingHost::MakeRecord(uint8_t major, uint8_t minor) const {
    HostRecord record;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) {
        bytes[i] = static_cast<unsigned char>(0xA5 ^ i);
    }
    record.majorVersion = major;
    record.minorVersion = minor;
    record.QueryValue = &HostThunks::QueryValue;
    record.MergeSection = &HostThunks::MergeSection;
    record.ModuleState = &HostThunks::ModuleState;
    record.WriteLog = &HostThunks::WriteLog;
    return record;
}

void RecordingHost::SetBaseDirectory(std::optional<std::string> directory) {
    std::lock_guard<std::mutex> lock(mutex_);
    baseDirectory_ = std::move(directory);
}

void RecordingHost::SetMainWindow(HWND window) {
    std::lock_guard<std::mutex> lock(mutex_);
    mainWindow_ = window;
}

void RecordingHost::SetMergeAnswer(int32_t answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    mergeAnswer_ = answer;
}

void RecordingHost::SetModuleState(char letter, int32_t answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    moduleStates_[letter - 'A'] = answer;
}

void RecordingHost::SetOnMerge(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    onMerge_ = std::move(callback);
}

double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void RecordingHost::Record(HostCall call) {
    call.threadId = GetCurrentThreadId();
    call.timeMs = NowMs();
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
}

std::vector<HostCall> RecordingHost::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<HostCall> RecordingHost::CallsOf(Op op) const {
    std::vector<HostCall> matching;
    for (const HostCall& call : Calls()) {
        if (call.op == op) {
            matching.push_back(call);
        }
    }
    return matching;
}

std::vector<std::string> RecordingHost::LogLines(int32_t level) const {
    std::vector<std::string> lines;
    for (const HostCall& call : CallsOf(Op::WriteLog)) {
        if (call.number == level) {
            lines.push_back(call.text);
        }
    }
    return lines;
}

void RecordingHost::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

// The DLL beside the test program, by its full path: the test programs run
// from the build tree and from the unpacked test kit alike, and no other
// orbwick.dll on the search path can stand in for it.
namespace {
std::wstring DaemonLibraryPath(const wchar_t* name) {
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 1);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1) + name;
}
}  // namespace

DaemonLibrary::DaemonLibrary(const wchar_t* name) {
    module_ = LoadLibraryW(DaemonLibraryPath(name).c_str());
    if (module_ == nullptr) {
        throw std::runtime_error("the daemon library could not be loaded");
    }
    startup_ = reinterpret_cast<StartupFn>(reinterpret_cast<void*>(GetProcAddress(module_, "STARTUP")));
    daemon_ = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DAEMON")));
    closedown_ = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(module_, "CLOSEDOWN")));
    if (startup_ == nullptr || daemon_ == nullptr || closedown_ == nullptr) {
        throw std::runtime_error("orbwick.dll lacks an export");
    }
}

DaemonLibrary::~DaemonLibrary() { Unload(); }

int32_t DaemonLibrary::Startup(const HostRecord& record) const { return startup_(&record); }
int32_t DaemonLibrary::Daemon() const { return daemon_(); }
int32_t DaemonLibrary::Closedown() const { return closedown_(); }

void DaemonLibrary::Unload() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

namespace {

const wchar_t kFrameClass[] = L"OrbwickTestFrame";
const wchar_t kMdiChildClassName[] = L"NVLMDICHILD";

LRESULT CALLBACK MdiChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefMDIChildProcW(window, message, wParam, lParam);
}

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSW existing;
    if (GetClassInfoW(GetModuleHandleW(nullptr), name, &existing)) {
        return;
    }
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

HMENU MakeHostMenuBar() {
    HMENU bar = CreateMenu();
    const wchar_t* names[] = {L"File", L"Edit", L"Window"};
    for (const wchar_t* name : names) {
        HMENU popup = CreatePopupMenu();
        AppendMenuW(popup, MF_STRING, 100, L"Item");
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), name);
    }
    return bar;
}

}  // namespace

LRESULT CALLBACK HostFrame::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HostFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_COMMAND && self != nullptr) {
        self->commands_.push_back(LOWORD(wParam));
    }
    return DefFrameProcW(window, self != nullptr ? self->client_ : nullptr, message, wParam, lParam);
}

HostFrame::HostFrame() {
    RegisterClassOnce(kFrameClass, &HostFrame::FrameProc);
    RegisterClassOnce(kMdiChildClassName, &MdiChildProc);
    frame_ = CreateWindowExW(0, kFrameClass, L"Norvale test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800,
                             600, nullptr, MakeHostMenuBar(), GetModuleHandleW(nullptr), this);
    CLIENTCREATESTRUCT clientCreate = {};
    clientCreate.hWindowMenu = GetSubMenu(GetMenu(frame_), 2);
    clientCreate.idFirstChild = 50000;
    client_ = CreateWindowExW(0, L"MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 800, 560, frame_,
                              nullptr, GetModuleHandleW(nullptr), &clientCreate);
    ShowWindow(frame_, SW_SHOW);
}

HostFrame::~HostFrame() {
    if (frame_ != nullptr) {
        HMENU bar = GetMenu(frame_);
        DestroyWindow(frame_);
        DestroyMenu(bar);
    }
}

HWND HostFrame::AddMdiChild(const std::wstring& title) {
    MDICREATESTRUCTW create = {};
    create.szClass = kMdiChildClassName;
    create.szTitle = title.c_str();
    create.hOwner = GetModuleHandleW(nullptr);
    create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
    create.style = WS_VISIBLE;
    return reinterpret_cast<HWND>(SendMessageW(client_, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
}

HWND HostFrame::AddChildWindow(HWND parent, const std::wstring& className, int controlId) {
    RegisterClassOnce(className.c_str(), &DefWindowProcW);
    return CreateWindowExW(0, className.c_str(), L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(controlId)), GetModuleHandleW(nullptr),
                           nullptr);
}

HWND HostFrame::AddModuleWindow(const std::wstring& title, const std::wstring& className) {
    return AddChildWindow(AddMdiChild(title), className);
}

namespace {

void DispatchLikeHost(MSG& message) {
    if (CallMsgFilterW(&message, 0)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void DrainQueue() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchLikeHost(message);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        DrainQueue();
        if (done()) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            return done();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, 10), QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

void SendMenuCommand(HWND window, unsigned command) {
    PostMessageW(window, WM_COMMAND, command, 0);
    DrainQueue();
}

}  // namespace testhost
