#include "host_frame.h"

#include <algorithm>

#include "call_watch.h"
#include "host_modules.h"

namespace hostmodel {

namespace {

const wchar_t kFrameClass[] = L"NorvaleFrame";
constexpr int kTitleCapacity = 160;
constexpr int kDefaultChildWidth = 200;
constexpr int kDefaultChildHeight = 100;
constexpr int kTextMargin = 8;
const RECT kStatusRect = {kTextMargin, kTextMargin, 220, 28};
const RECT kButtonRect = {kTextMargin, 40, 120, 68};

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure, int background) {
    WNDCLASSW existing;
    if (GetClassInfoW(GetModuleHandleW(nullptr), name, &existing)) {
        return;
    }
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hbrBackground = GetSysColorBrush(background);
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

// The module window fills its MDI child's client area.
LRESULT CALLBACK MdiChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) {
        if (HWND inner = GetWindow(window, GW_CHILD)) {
            MoveWindow(inner, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        }
    }
    return DefMDIChildProcW(window, message, wParam, lParam);
}

HMENU CreateMenuBar(const std::vector<PopupLayout>& menus) {
    const HMENU bar = CreateMenu();
    for (const PopupLayout& menu : menus) {
        const HMENU popup = CreatePopupMenu();
        for (const MenuItemLayout& item : menu.items) {
            AppendMenuW(popup, MF_STRING, item.id, item.text);
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), menu.name);
    }
    return bar;
}

HostFrame* FrameOf(HWND window) {
    return reinterpret_cast<HostFrame*>(GetWindowLongPtrW(GetAncestor(window, GA_ROOT), GWLP_USERDATA));
}

}  // namespace

HWND CreateControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, const RECT& where) {
    return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, where.left, where.top,
                           where.right - where.left, where.bottom - where.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK HostFrame::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HostFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<HostFrame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->frame_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else if (message == WM_CREATE && self != nullptr) {
        CLIENTCREATESTRUCT clientCreate = {};
        clientCreate.hWindowMenu = self->layout_.windowMenu ? GetSubMenu(GetMenu(window), 2) : nullptr;
        clientCreate.idFirstChild = kFirstChildId;
        self->client_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                                        WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE, 0, 0, 0, 0,
                                        window, nullptr, GetModuleHandleW(nullptr), &clientCreate);
    } else if (message == WM_COMMAND && self != nullptr) {
        self->commands_.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == kReloadConfigCommand && self->layout_.onReloadConfig) {
            self->layout_.onReloadConfig();
            return 0;
        }
    }
    LRESULT result = 0;
    if (self != nullptr && self->layout_.handler && self->layout_.handler(window, message, wParam, lParam, result)) {
        return result;
    }
    return DefFrameProcW(window, self != nullptr ? self->client_ : nullptr, message, wParam, lParam);
}

// Module windows report a click on button 201; static texts take the face colour.
LRESULT CALLBACK HostFrame::ModuleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kStartButtonId && HIWORD(wParam) == BN_CLICKED) {
            HostFrame* frame = FrameOf(window);
            if (frame != nullptr && frame->layout_.onStartButton) {
                wchar_t title[kTitleCapacity] = {};
                GetWindowTextW(GetParent(window), title, kTitleCapacity - 1);
                frame->layout_.onStartButton(title);
            }
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HostFrame::HostFrame(FrameLayout layout) : layout_(std::move(layout)) {
    RegisterClassOnce(kFrameClass, &HostFrame::FrameProc, COLOR_APPWORKSPACE);
    RegisterClassOnce(kMdiChildClass, &MdiChildProc, COLOR_BTNFACE);
    CreateWindowExW(0, kFrameClass, layout_.title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, layout_.width,
                    layout_.height, nullptr, CreateMenuBar(layout_.menus), GetModuleHandleW(nullptr), this);
    if (frame_ != nullptr) {
        ShowWindow(frame_, SW_SHOW);
        UpdateWindow(frame_);
    }
}

HostFrame::~HostFrame() {
    if (frame_ != nullptr && IsWindow(frame_)) {
        HMENU bar = GetMenu(frame_);
        DestroyWindow(frame_);
        DestroyMenu(bar);
    }
}

HWND HostFrame::AddMdiChild(const std::wstring& title, const RECT* where, DWORD style) {
    MDICREATESTRUCTW create = {};
    create.szClass = kMdiChildClass;
    create.szTitle = title.c_str();
    create.hOwner = GetModuleHandleW(nullptr);
    create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
    if (where != nullptr) {
        create.x = where->left;
        create.y = where->top;
        create.cx = where->right - where->left;
        create.cy = where->bottom - where->top;
    }
    create.style = style;
    return reinterpret_cast<HWND>(SendMessageW(client_, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
}

HWND HostFrame::AddChildWindow(HWND parent, const std::wstring& className, int controlId, const RECT* where) {
    RegisterClassOnce(className.c_str(), &HostFrame::ModuleWindowProc, COLOR_BTNFACE);
    const RECT place = where != nullptr ? *where : RECT{0, 0, kDefaultChildWidth, kDefaultChildHeight};
    return CreateControl(parent, className.c_str(), L"", 0, controlId, place);
}

HWND HostFrame::AddModuleWindow(const std::wstring& title, const std::wstring& className, const RECT* where) {
    const HWND child = AddMdiChild(title, where);
    RECT client;
    GetClientRect(child, &client);
    return AddChildWindow(child, className, 0, &client);
}

HWND HostFrame::AddHostModule(int index, const RECT* where) {
    const HWND window = AddModuleWindow(ModuleTitle(index), ModuleDialogClass(index), where);
    CreateControl(window, L"STATIC", (std::wstring(ModuleDialogClass(index)) + L": running").c_str(), 0, -1,
                  kStatusRect);
    if (index == kModuleWithStartButton) {
        CreateControl(window, L"BUTTON", L"Poll now", BS_PUSHBUTTON, kStartButtonId, kButtonRect);
    }
    return window;
}

HWND HostFrame::AddCoreWindow(const RECT* where) {
    const HWND window = AddModuleWindow(kCoreTitle, kCoreDialogClass, where);
    CreateControl(window, L"STATIC", (std::wstring(kCoreDialogClass) + L": running").c_str(), 0, -1, kStatusRect);
    return window;
}

HWND HostFrame::AddSystemMessages(const RECT* where) { return AddMdiChild(kSystemMessagesTitle, where); }

HWND HostFrame::AddSystemStatistics(const RECT* where) { return AddMdiChild(kSystemStatisticsTitle, where); }

bool HostFrame::RemoveMdiChild(HWND child) {
    if (child == nullptr || !IsWindow(child)) {
        return false;
    }
    SendMessageW(client_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(child), 0);
    return !IsWindow(child);
}

// An MDI child's restored place is in its client's coordinates.
HWND HostFrame::RestartHostModule(HWND oldChild, int index) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (oldChild == nullptr || !IsWindow(oldChild) || !GetWindowPlacement(oldChild, &placement) ||
        !RemoveMdiChild(oldChild)) {
        return nullptr;
    }
    return AddHostModule(index, &placement.rcNormalPosition);
}

void DispatchLikeHost(MSG& message, HWND client) {
    if (CallMsgFilterW(&message, 0)) {
        return;
    }
    if (client == nullptr || !TranslateMDISysAccel(client, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int RunHostLoop(HWND client) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchLikeHost(message, client);
    }
    return static_cast<int>(message.wParam);
}

namespace {

void DrainQueue() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        const WatchedStep step(StepKind::DaemonCall, "message %lu dispatched by the host's loop", message.message);
        DispatchLikeHost(message, nullptr);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs) {
    const WatchedStep step(StepKind::HostWait, "a wait of at most %lu ms", timeoutMs);
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
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, pollMs), QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

void SendMenuCommand(HWND window, unsigned command) {
    const WatchedStep step(StepKind::DaemonCall, "WM_COMMAND %lu sent to a host window", command);
    PostMessageW(window, WM_COMMAND, command, 0);
    DrainQueue();
}

}  // namespace hostmodel
