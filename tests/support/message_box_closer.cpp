#include "message_box_closer.h"

namespace fixture {

namespace {

MessageBoxCloser* g_closer = nullptr;

}  // namespace

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

}  // namespace fixture
