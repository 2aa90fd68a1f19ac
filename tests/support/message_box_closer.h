// A message box of this thread read and dismissed as soon as it is activated,
// so a modal box the daemon shows does not stop a test.
#pragma once

#include <windows.h>

#include <string>

namespace fixture {

// While it lives, every message box (dialog class "#32770") activated on
// this thread is recorded and closed with OK, through a CBT hook. One
// instance at a time.
class MessageBoxCloser {
public:
    MessageBoxCloser();
    ~MessageBoxCloser();
    MessageBoxCloser(const MessageBoxCloser&) = delete;
    MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

    int count = 0;         // boxes closed
    std::wstring text;     // the last box's message
    std::wstring caption;  // the last box's title
    HWND owner = nullptr;  // the last box's owner window

private:
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_ = nullptr;
};

}  // namespace fixture
