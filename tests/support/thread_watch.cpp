#include "thread_watch.h"

#include <tlhelp32.h>

namespace fixture {

namespace {

// Lists this process's threads into threads; false when no snapshot could be
// taken.
bool ListThreads(std::set<DWORD>* threads) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            threads->insert(entry.th32ThreadID);
        }
    }
    CloseHandle(snapshot);
    return true;
}

}  // namespace

bool WaitForThreadEnd(DWORD threadId, DWORD timeoutMs) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (thread == nullptr) {
        return true;  // already gone: nothing refers to it any more
    }
    const bool ended =
        hostmodel::PumpUntil([thread] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, timeoutMs);
    CloseHandle(thread);
    return ended;
}

DWORD ThreadOfLogLine(const hostmodel::RecordingHost& host, const std::string& text) {
    for (const hostmodel::HostCall& call : host.CallsOf(hostmodel::Op::WriteLog)) {
        if (call.text == text) {
            return call.threadId;
        }
    }
    return 0;
}

std::set<DWORD> ThreadsOfThisProcess() {
    std::set<DWORD> threads;
    ListThreads(&threads);
    return threads;
}

int ThreadCount() {
    std::set<DWORD> threads;
    return ListThreads(&threads) ? static_cast<int>(threads.size()) : -1;
}

}  // namespace fixture
