#include "window_text.h"

namespace {

// Texts are read into buffers one longer than the read allows, all zero
// beforehand: a read that fails leaves an empty text, and the longest text
// kept is 143 characters plus its terminating zero.
constexpr int kNameBufferLength = 145;
constexpr int kNameReadLength = 144;

}  // namespace

std::wstring ReadClassName(HWND window) {
    wchar_t buffer[kNameBufferLength] = {};
    GetClassNameW(window, buffer, kNameReadLength);
    return buffer;
}

std::wstring ReadWindowText(HWND window) {
    wchar_t buffer[kNameBufferLength] = {};
    SendMessageW(window, WM_GETTEXT, kNameReadLength, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}
