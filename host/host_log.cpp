#include "host_log.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "host_lock.h"
#include "host_state.h"

namespace {

hostmodel::HostLock g_logMutex;
HANDLE g_logFile = INVALID_HANDLE_VALUE;
std::vector<std::wstring> g_pending;  // lines not yet in the list box
constexpr LONG kLineEndMargin = 6;    // pixels after the widest line

std::string TimeStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, now.wMilliseconds);
    return stamp;
}

void AppendToFile(const std::string& line) {
    if (g_logFile == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(g_logFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void AddLine(int32_t level, const std::string& ansiText) {
    char levelText[16];
    std::snprintf(levelText, sizeof levelText, "  %3d  ", static_cast<int>(level));
    const std::string line = TimeStamp() + levelText + ansiText;
    {
        std::lock_guard<hostmodel::HostLock> lock(g_logMutex);
        AppendToFile(line + "\r\n");
        g_pending.push_back(FromAnsi(line));
    }
    // Posting is safe from any thread; the frame fills its list box itself.
    if (Host().frame != nullptr) {
        PostMessageW(Host().frame, WM_HOST_LOG_PENDING, 0, 0);
    }
}

// Scrolls so that line `index` is the bottom line of the list box.
void ScrollToLine(HWND list, LRESULT index) {
    RECT client;
    GetClientRect(list, &client);
    const LRESULT itemHeight = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    const LRESULT visible = itemHeight > 0 ? (client.bottom - client.top) / itemHeight : 1;
    const LRESULT top = index + 1 > visible ? index + 1 - visible : 0;
    SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
}

// A list box shows its horizontal scroll bar only once it is told how wide its
// lines are: widens that extent to the widest of the new lines.
void WidenToLines(HWND list, const std::vector<std::wstring>& lines) {
    const HDC dc = GetDC(list);
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    LONG widest = static_cast<LONG>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0));
    for (const std::wstring& line : lines) {
        SIZE size = {};
        if (GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size)) {
            widest = std::max(widest, size.cx + kLineEndMargin);
        }
    }
    SelectObject(dc, oldFont);
    ReleaseDC(list, dc);
    SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

}  // namespace

bool OpenHostLog(const std::wstring& path) {
    std::lock_guard<hostmodel::HostLock> lock(g_logMutex);
    g_logFile = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_logFile != INVALID_HANDLE_VALUE;
}

void CloseHostLog() {
    std::lock_guard<hostmodel::HostLock> lock(g_logMutex);
    if (g_logFile != INVALID_HANDLE_VALUE) {
        CloseHandle(g_logFile);
        g_logFile = INVALID_HANDLE_VALUE;
    }
}

void LogAnsi(int32_t level, const char* text) { AddLine(level, text != nullptr ? text : "(null)"); }

void LogLine(int32_t level, const std::wstring& text) { AddLine(level, ToAnsi(text)); }

void FlushPendingLogLines() {
    std::vector<std::wstring> lines;
    {
        std::lock_guard<hostmodel::HostLock> lock(g_logMutex);
        if (Host().messagesList == nullptr) {
            return;
        }
        lines.swap(g_pending);
    }
    const HWND list = Host().messagesList;
    LRESULT last = LB_ERR;
    for (const std::wstring& line : lines) {
        last = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    WidenToLines(list, lines);
    if (last != LB_ERR && last >= 0) {
        ScrollToLine(list, last);
    }
}

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}
