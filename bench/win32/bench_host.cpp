#include "bench_host.h"

#include <cstring>

namespace bench {

namespace {

constexpr UINT kPumpMessage = WM_USER + 0x100;
constexpr int kPumpBatch = 1000;

HWND g_frame = nullptr;
std::string g_baseDirectory;
std::atomic<bool> g_present[26];
std::atomic<char> g_watchedLetter{0};
std::atomic<LONGLONG> g_firstPresent{0};

LONGLONG Counter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int32_t __cdecl BenchQueryValue(int32_t index)
{
    if (index == kQueryMainWindow)
        return static_cast<int32_t>(reinterpret_cast<intptr_t>(g_frame));
    if (index == kQueryBaseDirectory)
        return static_cast<int32_t>(reinterpret_cast<intptr_t>(g_baseDirectory.c_str()));
    return 0;
}

int32_t __cdecl BenchMergeSection(const char*, const char*) { return 1; }

int32_t __cdecl BenchModuleState(const char* name, int32_t, int32_t)
{
    const unsigned char letter = static_cast<unsigned char>(name[7]);
    if (std::strlen(name) != 8 || letter < 'A' || letter > 'Z' || !g_present[letter - 'A'].load())
        return kModuleAbsent;
    if (static_cast<char>(letter) == g_watchedLetter.load() && g_firstPresent.load() == 0)
        g_firstPresent = Counter();
    return 3;
}

int32_t __cdecl BenchWriteLog(int32_t, int32_t, const char*) { return 0; }

}  // namespace

HostRecord MakeBenchRecord(HWND frame, const std::string& baseDirectory)
{
    g_frame = frame;
    g_baseDirectory = baseDirectory;
    HostRecord record;
    std::memset(&record, 0, sizeof record);
    record.majorVersion = 4;
    record.minorVersion = 70;
    record.QueryValue = &BenchQueryValue;
    record.MergeSection = &BenchMergeSection;
    record.ModuleState = &BenchModuleState;
    record.WriteLog = &BenchWriteLog;
    return record;
}

void SetModulePresent(char letter, bool present) { g_present[letter - 'A'] = present; }

void ResetFirstPresentAnswer(char letter)
{
    g_firstPresent = 0;
    g_watchedLetter = letter;
}

LONGLONG FirstPresentAnswer() { return g_firstPresent.load(); }

double NowMs()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(Counter()) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double PumpThroughHostLoop(HWND frame, HWND client, int count)
{
    int posted = 0;
    int received = 0;
    const double start = NowMs();
    MSG msg;
    while (received < count) {
        if (received == posted) {
            for (int i = 0; i < kPumpBatch && posted < count; ++i, ++posted)
                PostMessageW(frame, kPumpMessage, 0, 0);
        }
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
            break;
        if (msg.message == kPumpMessage)
            ++received;
        if (CallMsgFilterW(&msg, 0))
            continue;
        if (!TranslateMDISysAccel(client, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return NowMs() - start;
}

void PumpUntilSignalled(HANDLE handle)
{
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (MsgWaitForMultipleObjects(1, &handle, FALSE, 1000, QS_ALLINPUT) == WAIT_OBJECT_0)
            return;
    }
}

bool HasDisplayControlMenu(HWND frame)
{
    HMENU windowMenu = GetSubMenu(GetMenu(frame), 2);
    const int count = GetMenuItemCount(windowMenu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(windowMenu, static_cast<UINT>(i), text, 63, MF_BYPOSITION);
        if (std::wcscmp(text, L"Display control") == 0)
            return true;
    }
    return false;
}

}  // namespace bench
