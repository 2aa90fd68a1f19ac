#include "screenshot.h"

#include <windows.h>
#include <wincodec.h>

#include <vector>

#include "config_file.h"
#include "host_log.h"
#include "host_state.h"

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

// The screen's pixels in the area as 24-bit BGR rows, top row first, each row
// padded to whole DWORDs as a DIB section lays them out.
std::vector<uint8_t> ReadScreen(const RECT& area, UINT& stride) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    stride = (static_cast<UINT>(width) * 3 + 3) & ~3u;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint8_t> bgr;
    if (bitmap != nullptr && bits != nullptr) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        SelectObject(memory, old);
        const auto* first = static_cast<const uint8_t*>(bits);
        bgr.assign(first, first + static_cast<size_t>(stride) * height);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return bgr;
}

// Releases a COM interface pointer when it goes out of scope.
template <typename T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p != nullptr) {
            p->Release();
        }
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

// The PNG file of the pixels, encoded by the platform's PNG encoder (WIC) into
// memory; empty on any failure. COM is initialised by the caller.
std::string EncodePng(UINT width, UINT height, UINT stride, std::vector<uint8_t>& bgr) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> frameOptions;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    STATSTG stat = {};
    HGLOBAL memory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &frameOptions)) || FAILED(frame->Initialize(frameOptions.p)) ||
        FAILED(frame->SetSize(width, height)) || FAILED(frame->SetPixelFormat(&format)) ||
        !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ||
        FAILED(frame->WritePixels(height, stride, static_cast<UINT>(bgr.size()), bgr.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()) || FAILED(stream->Stat(&stat, STATFLAG_NONAME)) ||
        FAILED(GetHGlobalFromStream(stream.p, &memory))) {
        return std::string();
    }
    const auto* bytes = static_cast<const char*>(GlobalLock(memory));
    std::string png(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return png;
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
    UINT stride = 0;
    std::vector<uint8_t> bgr = ReadScreen(area, stride);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string png =
        bgr.empty() ? std::string() : EncodePng(static_cast<UINT>(width), static_cast<UINT>(height), stride, bgr);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    if (png.empty() || !WriteFileAtomically(path, png)) {
        LogLine(kHostLevelError, L"Screenshot could not be written to " + path);
        return false;
    }
    LogLine(kHostLevelInfo, L"Screenshot written to " + path + L" (" + std::to_wstring(width) + L"x" +
                                std::to_wstring(height) + L", " + std::to_wstring(png.size()) + L" bytes)");
    return true;
}
