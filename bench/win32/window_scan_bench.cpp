// window_scan_bench: ScanWindows against a bare EnumChildWindows that only
// reads each window's class name, over host window trees of 100, 1,000 and
// 5,000 windows, with the new-host flag set and clear.
//
// The tree is the host's: frame, MDI client, fourteen "NVLMDICHILD" windows
// (eleven modules, the core window, "System Messages", "System Statistics")
// with their slot windows, and plain panel windows inside the slot windows
// making up the rest. The daemon's units are linked in directly and g_daemon
// is filled by hand; the host's WriteLog does nothing, so with the flag clear
// the figure is the daemon's own cost of its "Found window: " lines (building
// and converting each text), not the host's logging.
//
// Same thread: both walks on the thread that owns the windows. Cross thread:
// both walks on a second thread while the owner pumps messages, as the
// start-up worker does; the title reads of the fourteen MDI children then
// wait for the owner thread each time.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "bench_host.h"
#include "daemon_state.h"
#include "side_by_side.h"
#include "window_scan.h"

namespace {

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int CountDescendants(HWND frame) {
    int count = 0;
    EnumChildWindows(frame, &CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The bare walk: the class name of every descendant, nothing else.
BOOL CALLBACK ReadClassOnly(HWND window, LPARAM sink) {
    wchar_t buffer[145] = {};
    GetClassNameW(window, buffer, 144);
    *reinterpret_cast<unsigned*>(sink) += buffer[0];
    return TRUE;
}

void BareWalk() {
    unsigned sink = 0;
    EnumChildWindows(g_daemon.mainWindow, &ReadClassOnly, reinterpret_cast<LPARAM>(&sink));
}

struct WorkerJob {
    const std::function<void()>* run;
    int repeats;
    double elapsedMs;
};

DWORD WINAPI RunJob(LPVOID parameter) {
    WorkerJob& job = *static_cast<WorkerJob*>(parameter);
    const double start = bench::NowMs();
    for (int i = 0; i < job.repeats; ++i) (*job.run)();
    job.elapsedMs = bench::NowMs() - start;
    return 0;
}

// ns per call of run on a second thread, the owner thread pumping meanwhile.
double TimeOnWorker(const std::function<void()>& run, int repeats) {
    WorkerJob job{&run, repeats, 0};
    HANDLE thread = CreateThread(nullptr, 0, &RunJob, &job, 0, nullptr);
    bench::PumpUntilSignalled(thread);
    CloseHandle(thread);
    return job.elapsedMs * 1e6 / repeats;
}

}  // namespace

int main() {
    // The host's tree from its module table, without the status texts and
    // the button the host puts inside module windows.
    hostmodel::HostFrame frame;
    std::vector<HWND> slotWindows;
    slotWindows.reserve(hostmodel::kHostModuleCount + 1);
    for (int i = 0; i < hostmodel::kHostModuleCount; ++i)
        slotWindows.push_back(frame.AddModuleWindow(hostmodel::ModuleTitle(i), hostmodel::ModuleDialogClass(i)));
    slotWindows.push_back(frame.AddModuleWindow(hostmodel::kCoreTitle, hostmodel::kCoreDialogClass));
    frame.AddSystemMessages();
    frame.AddSystemStatistics();

    hostmodel::RecordingHost host;
    host.SetRecording(false);
    host.SetMainWindow(frame.frame());
    host.SetBaseDirectory(std::string());
    g_daemon.host = host.MakeRecord(4, 70);
    g_daemon.mainWindow = frame.frame();
    const WorkerRun run = BeginWorkerRun();
    const std::function<void()> bare = [] { BareWalk(); };

    std::printf(
        "Window scan under Wine: ScanWindows vs EnumChildWindows reading class names only "
        "(WriteLog a no-op; system menus already trimmed by a first scan)\n");
    std::printf("%8s %9s %13s %12s %12s %10s\n", "windows", "new-host", "thread", "scan us", "bare us", "scan/bare");
    int panel = 0;
    for (int target : {100, 1000, 5000}) {
        while (CountDescendants(frame.frame()) < target)
            frame.AddChildWindow(slotWindows[panel++ % slotWindows.size()], L"NvlPanel");
        const int windows = CountDescendants(frame.frame());
        const int repeats = std::max(2, 5000 / windows);
        for (bool newHost : {true, false}) {
            g_daemon.newHost = newHost;
            WorkerGate gate(run, nullptr);  // the worker's copy of the state, as STARTUP makes it
            const std::function<void()> scan = [&gate] { ScanWindows(gate); };
            ScanWindows(gate);
            const bench::PairTiming same = bench::TimePair(scan, bare, 7, repeats);
            std::printf("%8d %9s %13s %12.1f %12.1f %10.3f\n", windows, newHost ? "set" : "clear", "same",
                        same.MedianA / 1000, same.MedianB / 1000, same.MedianRatio);
            const bench::PairTiming cross = bench::TimePair(scan, bare, 7, repeats, TimeOnWorker);
            std::printf("%8d %9s %13s %12.1f %12.1f %10.3f\n", windows, newHost ? "set" : "clear", "cross",
                        cross.MedianA / 1000, cross.MedianB / 1000, cross.MedianRatio);
        }
    }
    return 0;
}
