#include "bench_host.h"

#include <cwchar>
#include <fstream>

namespace bench {

namespace {

constexpr UINT kPumpMessage = WM_USER + 0x100;
constexpr int kPumpBatch = 1000;

}  // namespace

double PumpThroughHostLoop(HWND frame, HWND client, int count) {
    int posted = 0;
    int received = 0;
    const double start = NowMs();
    MSG msg;
    while (received < count) {
        if (received == posted) {
            for (int i = 0; i < kPumpBatch && posted < count; ++i, ++posted) {
                PostMessageW(frame, kPumpMessage, 0, 0);
            }
        }
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            break;
        }
        if (msg.message == kPumpMessage) {
            ++received;
        }
        hostmodel::DispatchLikeHost(msg, client);
    }
    return NowMs() - start;
}

void PumpUntilSignalled(HANDLE handle) {
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (MsgWaitForMultipleObjects(1, &handle, FALSE, 1000, QS_ALLINPUT) == WAIT_OBJECT_0) {
            return;
        }
    }
}

std::string MakeBaseDirectory(const std::string& name, const std::string& config) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string directory = std::string(temp) + name + "\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    std::ofstream(directory + "norvale.ini", std::ios::binary) << config;
    return directory;
}

bool HasDisplayControlMenu(HWND frame) {
    HMENU windowMenu = GetSubMenu(GetMenu(frame), 2);
    const int count = GetMenuItemCount(windowMenu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(windowMenu, static_cast<UINT>(i), text, 63, MF_BYPOSITION);
        if (std::wcscmp(text, L"Display control") == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace bench
