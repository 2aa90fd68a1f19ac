#include "hang_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "host_model.h"
#include "thread_watch.h"

namespace fixture {

namespace {

using hostmodel::StepKind;

constexpr int kMaxSteps = 64;
constexpr DWORD kPollMs = 200;
constexpr DWORD kStackBytes = 2048;  // how much of a thread's stack is searched for code addresses
constexpr int kCodeAddresses = 4;    // how many of them are named

struct Step {
    StepKind kind;
    const char* what;
    unsigned long value;
};

// Everything the watching thread reads, under g_lock. Steps beyond kMaxSteps
// are counted, not kept.
struct WatchState {
    DWORD hostThread = 0;
    Step steps[kMaxSteps] = {};
    int depth = 0;
    DWORD since = 0;  // when the innermost daemon call's time began
    std::string suite, test;
    int passed = 0, failed = 0;
};

CRITICAL_SECTION g_lock;
WatchState g_state;
bool g_installed = false;
std::set<DWORD> g_ownThreads;  // the program's threads at installation, the watching one included
std::string g_xmlPath;         // empty unless GoogleTest writes an XML result

bool TopIsDaemonCall(const WatchState& state) {
    const int top = std::min(state.depth, kMaxSteps) - 1;
    return top >= 0 && state.steps[top].kind == StepKind::DaemonCall;
}

// A daemon call's time runs from its start, through the daemon calls inside
// it, and begins again when a wait of the host's inside it ends.
void OnStep(StepKind kind, const char* what, unsigned long value, bool begins) {
    WatchState& state = g_state;
    if (GetCurrentThreadId() != state.hostThread) {
        return;
    }
    EnterCriticalSection(&g_lock);
    if (begins) {
        if (kind == StepKind::DaemonCall && !TopIsDaemonCall(state)) {
            state.since = GetTickCount();
        }
        if (state.depth < kMaxSteps) {
            state.steps[state.depth] = Step{kind, what, value};
        }
        ++state.depth;
    } else if (state.depth > 0) {
        --state.depth;
        if (kind == StepKind::HostWait && TopIsDaemonCall(state)) {
            state.since = GetTickCount();
        }
    }
    LeaveCriticalSection(&g_lock);
}

class TestNames : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override {
        EnterCriticalSection(&g_lock);
        g_state.suite = info.test_suite_name();
        g_state.test = info.name();
        LeaveCriticalSection(&g_lock);
    }
    void OnTestEnd(const testing::TestInfo& info) override {
        EnterCriticalSection(&g_lock);
        if (info.result()->Failed()) {
            ++g_state.failed;
        } else if (!info.result()->Skipped()) {
            ++g_state.passed;
        }
        g_state.suite.clear();
        g_state.test.clear();
        LeaveCriticalSection(&g_lock);
    }
};

// The step's name with its value in place of "%lu".
std::string Format(const char* what, unsigned long value) {
    std::string text = what;
    const size_t at = text.find("%lu");
    return at == std::string::npos ? text : text.replace(at, 3, std::to_string(value));
}

// Three calls of Windows 2000 that only a hang's report makes, looked up at
// installation (not at the report: the loader's lock may be the stuck
// thread's) and so not imported, which keeps the test kit's reviewed imports
// as they are.
using ReadProcessMemoryFn = BOOL(WINAPI*)(HANDLE, LPCVOID, LPVOID, SIZE_T, SIZE_T*);
using SuspendThreadFn = DWORD(WINAPI*)(HANDLE);
using GetThreadContextFn = BOOL(WINAPI*)(HANDLE, CONTEXT*);
ReadProcessMemoryFn g_readMemory = nullptr;
SuspendThreadFn g_suspend = nullptr;
GetThreadContextFn g_getContext = nullptr;
const char* g_program = nullptr;  // the test program's image

template <typename Function>
Function Kernel32(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "%lx", static_cast<unsigned long>(value));
    return text;
}

// Reads this process's memory without faulting on what is not there.
bool ReadMemory(const void* address, void* into, size_t bytes) {
    SIZE_T done = 0;
    return g_readMemory != nullptr && g_readMemory(GetCurrentProcess(), address, into, bytes, &done) && done == bytes;
}

// "module+0xoffset" for code of a mapped image, else empty. The module's
// name comes from its export directory, read from memory: asking the loader
// could wait for a lock the stuck thread holds.
std::string CodeAddress(DWORD address) {
    MEMORY_BASIC_INFORMATION region = {};
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0 || region.Type != MEM_IMAGE ||
        (region.Protect & executable) == 0) {
        return std::string();
    }
    const auto* base = static_cast<const char*>(region.AllocationBase);
    std::string name = "the test program";
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS32 nt = {};
    IMAGE_EXPORT_DIRECTORY exports = {};
    char exportName[64] = {};
    if (base != g_program && ReadMemory(base, &dos, sizeof dos) && ReadMemory(base + dos.e_lfanew, &nt, sizeof nt)) {
        const DWORD directory = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
        name = "an image";
        if (directory != 0 && ReadMemory(base + directory, &exports, sizeof exports)) {
            for (size_t i = 0; i + 1 < sizeof exportName && ReadMemory(base + exports.Name + i, exportName + i, 1) &&
                               exportName[i] != '\0';
                 ++i) {
            }
            name = exportName;
        }
    }
    return name + "+0x" + Hex(address - reinterpret_cast<DWORD>(base));
}

// Where a thread is: its instruction pointer and the first code addresses
// on its stack (return addresses, most of them), read while it is suspended.
std::string WhereThreadIs(DWORD threadId) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, threadId);
    if (thread == nullptr) {
        return "gone";
    }
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    DWORD stack[kStackBytes / sizeof(DWORD)] = {};
    size_t words = 0;
    bool seen = false;
    if (g_suspend != nullptr && g_getContext != nullptr && g_suspend(thread) != static_cast<DWORD>(-1)) {
        seen = g_getContext(thread, &context) != FALSE;
        for (words = sizeof stack / sizeof stack[0]; seen && words > 0; words /= 2) {
            if (ReadMemory(reinterpret_cast<const void*>(context.Esp), stack, words * sizeof(DWORD))) {
                break;
            }
        }
        ResumeThread(thread);
    }
    CloseHandle(thread);
    if (!seen) {
        return "not readable";
    }
    const std::string at = CodeAddress(context.Eip);
    std::string where = "at " + (at.empty() ? "0x" + Hex(context.Eip) : at);
    int named = 0;
    for (size_t i = 0; i < words && named < kCodeAddresses; ++i) {
        const std::string code = CodeAddress(stack[i]);
        if (!code.empty()) {
            where += (named++ == 0 ? "; on its stack: " : ", ") + code;
        }
    }
    return where;
}

std::string XmlEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\n':
            escaped += "&#x0A;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// GoogleTest's result as it stood, with the hung test failed: the counts
// over the tests that ran, as GoogleTest's own first element carries them.
void WriteXmlResult(const WatchState& state, const std::string& failure) {
    const std::string suite = state.suite.empty() ? "Hang" : state.suite;
    const std::string test = state.test.empty() ? "OutsideAnyTest" : state.test;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuites tests=\"" + std::to_string(state.passed + state.failed + 1) + "\" failures=\"" +
           std::to_string(state.failed + 1) + "\" disabled=\"0\" errors=\"0\" name=\"AllTests\">\n";
    xml += "  <testsuite name=\"" + XmlEscaped(suite) + "\" tests=\"1\" failures=\"1\" disabled=\"0\" errors=\"0\">\n";
    xml += "    <testcase name=\"" + XmlEscaped(test) + "\" status=\"run\" result=\"completed\" classname=\"" +
           XmlEscaped(suite) + "\">\n";
    xml += "      <failure message=\"" + XmlEscaped(failure) + "\" type=\"\"></failure>\n";
    xml += "    </testcase>\n  </testsuite>\n</testsuites>\n";
    HANDLE file =
        CreateFileA(g_xmlPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr);
        CloseHandle(file);
    }
}

[[noreturn]] void FailOnHang(const WatchState& state) {
    const int kept = std::min(state.depth, kMaxSteps);
    std::string steps;
    for (int i = 0; i < kept; ++i) {
        steps += (i == 0 ? "" : " > ") + Format(state.steps[i].what, state.steps[i].value);
    }
    const std::string failure = Format(state.steps[kept - 1].what, state.steps[kept - 1].value) +
                                " did not return within " + std::to_string(kHangMs / 1000) +
                                " s (steps under way, outermost first: " + steps + ")";
    const std::string name = state.suite.empty() ? "outside any test" : state.suite + "." + state.test;
    std::string report = "\n" + name + ": Failure\n" + failure +
                         "\nThe host's thread and those beyond the program's own at its start:\n";
    report += "  " + std::to_string(state.hostThread) + " (the host's): " + WhereThreadIs(state.hostThread) + "\n";
    for (DWORD thread : ThreadsOfThisProcess()) {
        if (g_ownThreads.count(thread) == 0 && thread != GetCurrentThreadId()) {
            report += "  " + std::to_string(thread) + ": " + WhereThreadIs(thread) + "\n";
        }
    }
    report += "[  FAILED  ] " + name + " (the program ends here: the host's thread is still inside the call)\n";
    std::fflush(stdout);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    if (!g_xmlPath.empty()) {
        WriteXmlResult(state, failure);
    }
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) {
        Sleep(INFINITE);
    }
}

DWORD WINAPI WatchHostThread(LPVOID) {
    for (;;) {
        Sleep(kPollMs);
        EnterCriticalSection(&g_lock);
        const bool hung = TopIsDaemonCall(g_state) && GetTickCount() - g_state.since >= kHangMs;
        const WatchState state = hung ? g_state : WatchState();
        LeaveCriticalSection(&g_lock);
        if (hung) {
            FailOnHang(state);
        }
    }
}

// GoogleTest's XML file as its --gtest_output flag names it, empty when it
// writes none.
std::string XmlPath() {
    const std::string output = GTEST_FLAG_GET(output);
    if (output.compare(0, 3, "xml") != 0) {
        return std::string();
    }
    std::string path = output.size() > 4 ? output.substr(4) : "test_detail.xml";
    if (path.back() == '\\' || path.back() == '/') {
        char program[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, program, MAX_PATH - 1);
        std::string name = program;
        name = name.substr(name.find_last_of("\\/") + 1);
        path += name.substr(0, name.rfind('.')) + ".xml";
    }
    return path;
}

}  // namespace

void BoundDaemonCalls() {
    if (g_installed) {
        return;
    }
    g_installed = true;
    InitializeCriticalSection(&g_lock);
    g_state.hostThread = GetCurrentThreadId();
    g_xmlPath = XmlPath();
    g_program = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    g_readMemory = Kernel32<ReadProcessMemoryFn>("ReadProcessMemory");
    g_suspend = Kernel32<SuspendThreadFn>("SuspendThread");
    g_getContext = Kernel32<GetThreadContextFn>("GetThreadContext");
    testing::UnitTest::GetInstance()->listeners().Append(new TestNames);
    // Suspended until the program's own threads are known, itself among them.
    HANDLE watcher = CreateThread(nullptr, 0, &WatchHostThread, nullptr, CREATE_SUSPENDED, nullptr);
    if (watcher == nullptr) {
        std::fprintf(stderr, "No thread to watch the calls into the daemon: a hang will not end the program\n");
        return;
    }
    g_ownThreads = ThreadsOfThisProcess();
    hostmodel::SetStepWatcher(&OnStep);
    ResumeThread(watcher);
    CloseHandle(watcher);
}

}  // namespace fixture
