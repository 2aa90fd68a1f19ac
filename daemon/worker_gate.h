// The start-up worker's one way to the host. Everything the worker does that
// the host could notice passes through its gate: a call of a host operation,
// a message sent to a host window, a change of a window or a menu, a store
// into the state the hook reads. The gate lets a step begin only while the
// worker's run is current, and once it has found the run ended it stays shut:
// every later step does nothing and answers as if nothing were there. So
// after CLOSEDOWN has ended the run, the worker begins nothing more, however
// far its code goes on before it notices.
//
// The worker also reads only its own copy of what STARTUP set up (the host
// interface record, the main window, the two sets, the new-host flag) and
// keeps the slots its scan finds, so nothing it reads is rewritten by a later
// STARTUP while it still runs.
#pragma once

#include <windows.h>

#include <string>

#include "daemon_state.h"
#include "host_record.h"
#include "module_table.h"

class WorkerGate {
public:
    // Copies the state STARTUP has just set for this run. The worker owns
    // stopEvent (a manual-reset event CLOSEDOWN sets) and closes it.
    WorkerGate(WorkerRun run, HANDLE stopEvent);
    ~WorkerGate();
    WorkerGate(const WorkerGate&) = delete;
    WorkerGate& operator=(const WorkerGate&) = delete;

    // True while the run is current; false from the first time it is not.
    bool Open();

    // Runs step when the gate is open; returns whether it ran.
    template <typename Step>
    bool Pass(Step step) {
        if (!Open()) {
            return false;
        }
        step();
        return true;
    }

    // Runs store under the run lock when the gate is open and the run is
    // still current there, so that nothing of this run lands in a later one.
    // Only for steps that wait for no other thread.
    template <typename Store>
    bool Publish(Store store) {
        return Open() && StoreForRun(run_, store);
    }

    // Waits this long unless CLOSEDOWN sets the stop event meanwhile; true
    // when the whole time passed and the gate is still open.
    bool Wait(DWORD milliseconds);

    // The host's operations and the window reads that wait for the host's
    // thread, through the gate. Once it is shut: kModuleAbsent, no log line,
    // an empty text.
    int QueryModuleState(char letter);
    void Log(int32_t level, const wchar_t* text);
    void Log(int32_t level, const std::wstring& text) { Log(level, text.c_str()); }
    std::wstring ReadWindowText(HWND window);
    LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The worker's own copy of what it reads.
    const HostRecord host;
    const HWND mainWindow;
    const ModuleSet enabledSet;
    const ModuleSet hiddenSet;
    const bool newHost;
    const DWORD startedAt;  // GetTickCount() when STARTUP made the gate
    // What this worker's scan found, module slots 0..10 then the core slot;
    // published to the hook's slots as they are found.
    HWND slots[kModuleCount + 1] = {};
    // The reference to this library taken for the worker's thread, which
    // the thread drops as it ends.
    HMODULE library = nullptr;

private:
    const WorkerRun run_;
    const HANDLE stopEvent_;
    bool open_ = true;
};
