#include "worker_gate.h"

#include "norvlib.h"
#include "window_text.h"

WorkerGate::WorkerGate(WorkerRun run, HANDLE stopEvent)
    : host(g_daemon.host),
      mainWindow(g_daemon.mainWindow.load()),
      enabledSet(g_daemon.enabledSet.load()),
      hiddenSet(g_daemon.hiddenSet.load()),
      newHost(g_daemon.newHost.load()),
      startedAt(GetTickCount()),
      run_(run),
      stopEvent_(stopEvent) {}

WorkerGate::~WorkerGate() {
    if (stopEvent_ != nullptr) {
        CloseHandle(stopEvent_);
    }
}

bool WorkerGate::Open() {
    open_ = open_ && IsCurrentRun(run_);
    return open_;
}

bool WorkerGate::Wait(DWORD milliseconds) {
    // A wait that fails becomes a plain sleep: the run check after it still
    // ends the worker once CLOSEDOWN has ended the run.
    const DWORD woke = WaitForSingleObject(stopEvent_, milliseconds);
    if (woke == WAIT_OBJECT_0) {
        open_ = false;
    } else if (woke != WAIT_TIMEOUT) {
        Sleep(milliseconds);
    }
    return Open();
}

int WorkerGate::QueryModuleState(char letter) {
    int state = kModuleAbsent;
    Pass([&] { state = ::QueryModuleState(host, letter); });
    return state;
}

void WorkerGate::Log(int32_t level, const wchar_t* text) {
    Pass([&] { WriteHostLog(host, level, text); });
}

std::wstring WorkerGate::ReadWindowText(HWND window) {
    std::wstring text;
    Pass([&] { text = ::ReadWindowText(window); });
    return text;
}

LRESULT WorkerGate::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    Pass([&] { result = SendMessageW(window, message, wParam, lParam); });
    return result;
}
