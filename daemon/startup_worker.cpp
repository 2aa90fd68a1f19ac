#include "startup_worker.h"

#include <new>

#include "command_hook.h"
#include "display_menu.h"
#include "exception_data.h"
#include "sysutils_mini.h"
#include "texts.h"
#include "window_scan.h"
#include "worker_gate.h"

namespace {

constexpr DWORD kInitialDelayMs = 100;
constexpr DWORD kPollIntervalMs = 20;
constexpr DWORD kDelayAfterWaitMs = 100;
constexpr int kStartupButtonId = 201;
// How long after STARTUP the worker tells the host's log which modules it is
// still waiting for.
constexpr DWORD kWaitingNoticeMs = 10000;
// How long CLOSEDOWN waits for the worker's thread to end.
constexpr DWORD kStopBoundMs = 1000;

// True when the host knows every enabled module. Asks from the highest index
// down and stops at the first module the host does not know (-1); any other
// answer counts as present. Once the run has ended the gate answers -1
// without asking the host.
bool AllModulesPresent(WorkerGate& gate) {
    for (int i = kModuleCount - 1; i >= 0; --i) {
        if (InModuleSet(gate.enabledSet, i) && gate.QueryModuleState(ModuleLetter(i)) == kModuleAbsent) {
            return false;
        }
    }
    return true;
}

// Once per start, when enabled modules are still absent 10 s after STARTUP:
// one line naming each of them (asked again, all of them, in index order), so
// the operator can tell which module keeps the menu from appearing. Nothing
// is written when all of them have come by then.
void NoteAbsentModules(WorkerGate& gate) {
    std::wstring absent;
    for (int i = 0; i < kModuleCount; ++i) {
        if (InModuleSet(gate.enabledSet, i) && gate.QueryModuleState(ModuleLetter(i)) == kModuleAbsent) {
            absent += (absent.empty() ? kLogWaitingForPrefix : kLogWaitingSeparator) + AnsiToUtf16(HostModuleName(i));
        }
    }
    if (!absent.empty()) {
        gate.Log(kLogLevelOutcome, absent);
    }
}

bool WaitForAllModules(WorkerGate& gate) {
    bool noticed = false;
    while (!AllModulesPresent(gate)) {
        if (!noticed && GetTickCount() - gate.startedAt >= kWaitingNoticeMs) {
            noticed = true;
            NoteAbsentModules(gate);
        }
        if (!gate.Wait(kPollIntervalMs)) {
            return false;
        }
    }
    return true;
}

// The click goes to control 201 of module 4's slot window itself, not of its
// MDI child; SendDlgItemMessageW waits until the host's thread has handled it.
void ClickStartupButton(WorkerGate& gate) {
    HWND slotWindow = gate.slots[kStartupClickModule];
    if (slotWindow != nullptr) {
        gate.Pass([&] { SendDlgItemMessageW(slotWindow, kStartupButtonId, BM_CLICK, 0, 0); });
    }
}

// The first and only pass over the host's windows. Ends early once CLOSEDOWN
// has ended the run: a wait ends at once, and the gate lets no further step
// begin.
void RunFirstPass(WorkerGate& gate) {
    if (!gate.Wait(kInitialDelayMs)) {
        return;
    }
    if (!WaitForAllModules(gate) || !gate.Wait(kDelayAfterWaitMs)) {
        return;
    }
    if (!ScanWindows(gate) || !HideListedWindows(gate) || !BuildDisplayMenu(g_daemon.menu, gate)) {
        return;
    }
    if (InModuleSet(gate.enabledSet, kStartupClickModule)) {
        ClickStartupButton(gate);
    }
}

// The thread procedure; its parameter is the worker's gate, which the thread
// owns, with the reference to this library taken for the thread. Nothing
// thrown inside the pass (running out of memory) may leave the thread: the
// pass ends there and says so. It leaves through FreeLibraryAndExitThread, which drops
// that reference and ends the thread without returning into this library:
// if that was the last reference, the code is unmapped only once nothing of
// it runs any more.
DWORD WINAPI StartupWorker(LPVOID parameter) {
    auto* const gate = static_cast<WorkerGate*>(parameter);
    const HMODULE library = gate->library;
    try {
        RunFirstPass(*gate);
    } catch (...) {
        // The line is ASCII: writing it needs no memory, nor does taking
        // menus out of the menu bar.
        gate->Log(kLogLevelOutcome, kLogPassOutOfMemory);
        if (g_daemon.menu.load() == nullptr) {
            RemoveEarlierDisplayControls(*gate);
        }
    }
    delete gate;
    ReleaseThreadExceptionData();
    FreeLibraryAndExitThread(library, 0);
}

// Gives the sent messages waiting for this thread their answers: those are
// the worker's own (a window text, a click, a hiding) while it waits for them.
void AnswerSentMessages() {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

HANDLE StartStartupWorker(WorkerRun run, HANDLE stopEvent, DWORD* threadId) {
    HANDLE workerStop = nullptr;
    if (stopEvent == nullptr || !DuplicateHandle(GetCurrentProcess(), stopEvent, GetCurrentProcess(), &workerStop, 0,
                                                 FALSE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    auto* const gate = new (std::nothrow) WorkerGate(run, workerStop);
    if (gate == nullptr) {
        CloseHandle(workerStop);
        return nullptr;
    }
    // The reference is taken here, on the host's thread, before the thread
    // exists: taken by the thread itself, it could come after the host has
    // already called CLOSEDOWN and FreeLibrary. The thread drops this very
    // reference when it ends.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&StartupWorker),
                            &gate->library)) {
        delete gate;
        return nullptr;
    }
    const HMODULE library = gate->library;
    HANDLE thread = CreateThread(nullptr, 0, &StartupWorker, gate, 0, threadId);
    if (thread == nullptr) {
        delete gate;
        FreeLibrary(library);
    }
    return thread;
}

bool StopStartupWorker(HANDLE worker, DWORD workerId) {
    // Inside a message another thread sent (maybe the worker's own, which
    // waits for this very answer) waiting would only run into the bound; the
    // worker then ends by itself at its next step. Likewise when CLOSEDOWN
    // runs on the worker's own thread.
    if (InSendMessage() || workerId == GetCurrentThreadId()) {
        return false;
    }
    const DWORD start = GetTickCount();
    AnswerSentMessages();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kStopBoundMs) {
            return false;
        }
        const DWORD woke = MsgWaitForMultipleObjects(1, &worker, FALSE, kStopBoundMs - elapsed, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) {
            return true;
        }
        if (woke != WAIT_OBJECT_0 + 1) {
            return false;
        }
        AnswerSentMessages();
    }
}
