// daemon_host_bench: what the loaded daemon costs the host's thread.
//
// Hook cost: 1,000,000 ordinary messages pumped through the host's loop
// (bench_host.h) with orbwick.dll loaded and started (its message-filter hook
// in the chain, its menu built) and without it, alternately; and, for the
// platform's own share, with a hook that only passes each message on.
// Start-up: how long STARTUP holds the calling thread with a typical
// norvale.ini and with one of 10 MB, beside reading the same file with the
// configuration reader alone; and the time from the last module becoming
// present to the "Display control" menu being attached, against the
// worker's fixed 100 ms delay after its wait.
// CLOSEDOWN: how long it holds the host's thread while it stops the worker,
// with the worker in its first wait, polling for a module, or done, and
// whether a FreeLibrary right after it unmaps the library at once.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_config.h"
#include "bench_host.h"
#include "cfgfile.h"
#include "side_by_side.h"

namespace {

constexpr DWORD kMenuTimeoutMs = 10000;

constexpr int32_t kModuleRunning = 3;

// The host's operations: nothing recorded unless a benchmark asks for it.
hostmodel::RecordingHost g_host;

HostRecord MakeBenchRecord(HWND frame, const std::string& baseDirectory) {
    g_host.SetMainWindow(frame);
    g_host.SetBaseDirectory(baseDirectory);
    return g_host.MakeRecord(4, 70);
}

void SetModulePresent(char letter, bool present) {
    g_host.SetModuleState(letter, present ? kModuleRunning : kModuleAbsent);
}

void SetAllModulesPresent(bool present) {
    for (const char* letter = hostmodel::kModuleLetters; *letter != '\0'; ++letter) SetModulePresent(*letter, present);
}

// Loads and starts the daemon and waits until its menu is attached.
struct StartedDaemon {
    hostmodel::DaemonLibrary library;
    StartedDaemon(const HostRecord& record, HWND frame) {
        library.Startup(record);
        hostmodel::PumpUntil([frame] { return bench::HasDisplayControlMenu(frame); }, kMenuTimeoutMs, 1);
    }
    ~StartedDaemon() { library.Closedown(); }
};

HHOOK g_emptyHook = nullptr;

// The least any message-filter hook can be: it passes every message on.
LRESULT CALLBACK PassOnFilter(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(g_emptyHook, code, wParam, lParam);
}

double PumpWithPassOnHook(hostmodel::HostFrame& frame, int messages) {
    g_emptyHook = SetWindowsHookExW(WH_MSGFILTER, &PassOnFilter, nullptr, GetCurrentThreadId());
    const double elapsed = bench::PumpThroughHostLoop(frame.frame(), frame.client(), messages);
    UnhookWindowsHookEx(g_emptyHook);
    return elapsed;
}

void BenchHookCost(hostmodel::HostFrame& frame, const std::string& emptyBase, int messages, int rounds) {
    const HostRecord record = MakeBenchRecord(frame.frame(), emptyBase);
    std::vector<double> with, without, passOn, ratios, passOnRatios;
    for (int round = 0; round < rounds; ++round) {
        double a = 0, b = 0;
        const double c = PumpWithPassOnHook(frame, messages);
        if (round % 2 == 1)
            b = bench::PumpThroughHostLoop(frame.frame(), frame.client(), messages);
        {
            StartedDaemon daemon(record, frame.frame());
            a = bench::PumpThroughHostLoop(frame.frame(), frame.client(), messages);
        }
        if (round % 2 == 0)
            b = bench::PumpThroughHostLoop(frame.frame(), frame.client(), messages);
        with.push_back(a);
        without.push_back(b);
        passOn.push_back(c);
        ratios.push_back(a / b);
        passOnRatios.push_back(a / c);
    }
    const double ratio = bench::Median(ratios);
    std::printf("Hook cost: %d messages through the host's loop, %d alternating rounds\n", messages, rounds);
    std::printf("%12s %12s %14s %12s %14s %16s\n", "without ms", "with ms", "with/without", "daemon cost", "pass-on ms",
                "with/pass-on");
    std::printf("%12.1f %12.1f %14.4f %11.2f%% %14.1f %16.4f\n", bench::Median(without), bench::Median(with), ratio,
                (ratio - 1) * 100, bench::Median(passOn), bench::Median(passOnRatios));
}

int ReadSettingsAlone(const std::string& path) {
    ConfigList list = ListNew();
    LoadConfigFile(path, list, '#');
    const Utf16Text protocols = CollectSection("Protocols", list, false);
    const Utf16Text hidden = CollectSection("HiddenWindows", list, false);
    ListClear(list);
    return static_cast<int>(protocols.size() + hidden.size());
}

void BenchStartup(hostmodel::HostFrame& frame, const char* label, const std::string& base, int rounds) {
    const HostRecord record = MakeBenchRecord(frame.frame(), base);
    const std::string file = base + "norvale.ini";
    std::vector<double> startup, reading, ratios;
    for (int round = 0; round < rounds; ++round) {
        double s = 0, r = 0;
        if (round % 2 == 1) {
            const double start = bench::NowMs();
            ReadSettingsAlone(file);
            r = bench::NowMs() - start;
        }
        {
            hostmodel::DaemonLibrary library;
            const double start = bench::NowMs();
            library.Startup(record);
            s = bench::NowMs() - start;
            library.Closedown();
        }
        if (round % 2 == 0) {
            const double start = bench::NowMs();
            ReadSettingsAlone(file);
            r = bench::NowMs() - start;
        }
        startup.push_back(s);
        reading.push_back(r);
        ratios.push_back(s / r);
    }
    std::printf("%-22s %12.3f %12.3f %14.3f\n", label, bench::Median(startup), bench::Median(reading),
                bench::Median(ratios));
}

bool DaemonMapped() { return GetModuleHandleW(L"orbwick.dll") != nullptr; }

void RemoveDisplayControl(HWND frameWindow) {
    HMENU windowMenu = GetSubMenu(GetMenu(frameWindow), 2);
    while (GetMenuItemCount(windowMenu) > 1)
        DeleteMenu(windowMenu, static_cast<UINT>(GetMenuItemCount(windowMenu) - 1), MF_BYPOSITION);
}

// Every module but B present from the start; B turns present 300 ms after
// STARTUP, well after the worker's first 100 ms.
void BenchMenuLatency(hostmodel::HostFrame& frame, const std::string& base, int rounds) {
    const HostRecord record = MakeBenchRecord(frame.frame(), base);
    std::vector<double> totals, polls, excesses;
    g_host.SetRecording(true);
    for (int round = 0; round < rounds; ++round) {
        SetAllModulesPresent(true);
        SetModulePresent('B', false);
        g_host.ClearCalls();
        hostmodel::DaemonLibrary library;
        library.Startup(record);
        const double started = bench::NowMs();
        hostmodel::PumpUntil([&] { return bench::NowMs() - started >= 300; }, 1000, 1);
        const double presentMs = bench::NowMs();
        SetModulePresent('B', true);
        const HWND frameWindow = frame.frame();
        hostmodel::PumpUntil([frameWindow] { return bench::HasDisplayControlMenu(frameWindow); }, kMenuTimeoutMs, 1);
        const double attachedMs = bench::NowMs();
        // The first poll for B after it turned present.
        double seenMs = attachedMs;
        for (const hostmodel::HostCall& call : g_host.CallsOf(hostmodel::Op::ModuleState)) {
            if (call.text == "NORVALEB" && call.timeMs >= presentMs) {
                seenMs = call.timeMs;
                break;
            }
        }
        totals.push_back(attachedMs - presentMs);
        polls.push_back(seenMs - presentMs);
        excesses.push_back(attachedMs - seenMs - 100.0);
        library.Closedown();
        // The menu of this round goes, so the next round sees its own.
        RemoveDisplayControl(frameWindow);
    }
    std::printf("Last module present -> menu attached (medians of %d rounds; floor 100 ms + poll <= 20 ms)\n", rounds);
    std::printf("%12s %16s %26s\n", "total ms", "poll wait ms", "excess over 100 ms ms");
    std::printf("%12.1f %16.1f %26.1f\n", bench::Median(totals), bench::Median(polls), bench::Median(excesses));
}

void BenchClosedown(hostmodel::HostFrame& frame, const std::string& base, int rounds) {
    const HostRecord record = MakeBenchRecord(frame.frame(), base);
    const HWND frameWindow = frame.frame();
    const struct {
        const char* name;
        DWORD afterStartupMs;  // how long the host pumps between STARTUP and CLOSEDOWN
        bool modulesPresent;
    } cases[] = {{"in its first wait", 0, false}, {"polling", 300, false}, {"done", 0, true}};
    std::printf("CLOSEDOWN with the worker ... (%d rounds each)\n", rounds);
    std::printf("%-20s %12s %12s %22s\n", "worker", "median ms", "max ms", "unmapped at FreeLibrary");
    for (const auto& c : cases) {
        std::vector<double> times;
        int unmapped = 0;
        SetAllModulesPresent(c.modulesPresent);
        for (int round = 0; round < rounds; ++round) {
            auto library = std::make_unique<hostmodel::DaemonLibrary>();
            library->Startup(record);
            if (c.modulesPresent) {
                hostmodel::PumpUntil([frameWindow] { return bench::HasDisplayControlMenu(frameWindow); },
                                     kMenuTimeoutMs, 1);
                hostmodel::PumpFor(50);  // the worker's click and its end
            } else {
                hostmodel::PumpFor(c.afterStartupMs);
            }
            const double start = bench::NowMs();
            library->Closedown();
            times.push_back(bench::NowMs() - start);
            library.reset();
            unmapped += DaemonMapped() ? 0 : 1;
            hostmodel::PumpUntil([] { return !DaemonMapped(); }, kMenuTimeoutMs, 1);
            RemoveDisplayControl(frameWindow);
        }
        double most = 0;
        for (double t : times) most = t > most ? t : most;
        std::printf("%-20s %12.2f %12.2f %17d of %d\n", c.name, bench::Median(times), most, unmapped, rounds);
    }
}

std::string TypicalConfig() {
    return "[General]\r\nServerName=mail.example.net\r\nLogLevel=25\r\n\r\n[Protocols]\r\n"
           "NORVALES=1\r\nNORVALEP=1\r\nNORVALEE=1\r\nNORVALEC=1\r\nNORVALED=1\r\nNORVALEH=1\r\n"
           "NORVALEF=1\r\nNORVALEW=1\r\nNORVALEX=1\r\nNORVALEI=1\r\nNORVALEB=1\r\n\r\n"
           "[Paths]\r\nMail=D:\\Norvale\\Mail\r\nLogs=D:\\Norvale\\Logs\r\n\r\n"
           "[HiddenWindows]\r\nNORVALEP\r\nNORVALEX\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000000;
    hostmodel::HostFrame frame;
    g_host.SetRecording(false);
    for (int i = 0; i < hostmodel::kHostModuleCount; ++i) frame.AddHostModule(i);
    frame.AddCoreWindow();
    frame.AddSystemMessages();
    frame.AddSystemStatistics();

    SetAllModulesPresent(true);
    BenchHookCost(frame, bench::MakeBaseDirectory("orbwick_bench_empty", ""), messages, 3);

    const std::string typical = bench::MakeBaseDirectory("orbwick_bench_typical", TypicalConfig());
    const std::string large = bench::MakeBaseDirectory("orbwick_bench_10mb", bench::MakeHostConfig(235000));
    std::printf("\nSTARTUP on the host's thread (medians of 9 alternating rounds)\n");
    std::printf("%-22s %12s %12s %14s\n", "norvale.ini", "STARTUP ms", "reader ms", "STARTUP/reader");
    SetAllModulesPresent(false);
    BenchStartup(frame, "typical (21 lines)", typical, 9);
    BenchStartup(frame, "10 MB (235,000 lines)", large, 9);
    std::printf("\n");
    BenchMenuLatency(frame, typical, 9);
    std::printf("\n");
    BenchClosedown(frame, typical, 9);
    return 0;
}
