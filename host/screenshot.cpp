#include "screenshot.h"

#include <windows.h>

#include <vector>

#include "config_file.h"
#include "host_log.h"
#include "host_state.h"
#include "png_writer.h"

namespace {

const wchar_t kPopupMenuClass[] = L"#32768";

// Widens the area by every visible popup menu window of this process.
BOOL CALLBACK AddMenuWindow(HWND window, LPARAM area) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 15);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpW(className, kPopupMenuClass) == 0) {
        RECT menu;
        GetWindowRect(window, &menu);
        UnionRect(reinterpret_cast<RECT*>(area), reinterpret_cast<RECT*>(area), &menu);
    }
    return TRUE;
}

RECT CaptureArea() {
    RECT area;
    GetWindowRect(Host().frame, &area);
    EnumWindows(AddMenuWindow, reinterpret_cast<LPARAM>(&area));
    const RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                         GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    IntersectRect(&area, &area, &screen);
    return area;
}

// The screen's pixels in the area, as RGB rows, top row first.
std::vector<uint8_t> ReadScreen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint8_t> rgb;
    if (bitmap != nullptr && bits != nullptr) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
        SelectObject(memory, old);
        const auto* bgra = static_cast<const uint8_t*>(bits);
        rgb.reserve(static_cast<size_t>(width) * height * 3);
        for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
            rgb.push_back(bgra[i * 4 + 2]);
            rgb.push_back(bgra[i * 4 + 1]);
            rgb.push_back(bgra[i * 4]);
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return rgb;
}

}  // namespace

bool SaveScreenshot(const std::wstring& path) {
    const RECT area = CaptureArea();
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        LogLine(kHostLevelError, L"Screenshot not taken: the frame is not on screen");
        return false;
    }
    const std::vector<uint8_t> png =
        EncodePng(static_cast<uint32_t>(width), static_cast<uint32_t>(height), ReadScreen(area));
    if (png.empty() || !WriteFileAtomically(path, std::string(png.begin(), png.end()))) {
        LogLine(kHostLevelError, L"Screenshot could not be written to " + path);
        return false;
    }
    LogLine(kHostLevelInfo, L"Screenshot written to " + path + L" (" + std::to_wstring(width) + L"x" +
                                std::to_wstring(height) + L")");
    return true;
}
