#include "hang_watch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host_lock.h"
#include "host_model.h"
#include "thread_watch.h"

namespace fixture {

namespace {

using hostmodel::StepKind;

constexpr DWORD kPollMs = 200;
constexpr size_t kStackWords = 512;  // how much of a thread's stack is searched for code addresses
constexpr int kCodeAddresses = 4;    // how many of them are named

struct Step {
    StepKind kind;
    const char* what;
    unsigned long value;
};

hostmodel::HostLock g_lock;       // over g_steps and g_since
DWORD g_hostThread = 0;           // the thread whose steps are watched, 0 before installation
std::vector<Step> g_steps;        // under way on it, outermost first
DWORD g_since = 0;                // when the innermost daemon call's time began
volatile LONG g_passed = 0;       // tests ended so far, skipped ones not counted
volatile LONG g_failed = 0;       //
std::set<DWORD> g_ownThreads;     // the program's threads at installation, the watching one included
std::string g_xmlPath;            // empty unless GoogleTest writes an XML result
const char* g_program = nullptr;  // the test program's image

// Three calls of Windows 2000 that only a hang's report makes, looked up as
// the program starts (not at the report: the loader's lock may be the stuck
// thread's) and so not imported, which keeps the test kit's reviewed imports
// as they are.
#define KERNEL32(function)                 \
    reinterpret_cast<decltype(&function)>( \
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), #function)))
const auto g_readMemory = KERNEL32(ReadProcessMemory);
const auto g_suspend = KERNEL32(SuspendThread);
const auto g_getContext = KERNEL32(GetThreadContext);

bool InDaemonCall() { return !g_steps.empty() && g_steps.back().kind == StepKind::DaemonCall; }

// A daemon call's time runs from its start, through the daemon calls inside
// it, and begins again when a wait of the host's inside it ends: whenever
// the innermost step becomes a daemon call.
void OnStep(StepKind kind, const char* what, unsigned long value, bool begins) {
    if (GetCurrentThreadId() != g_hostThread) {
        return;
    }
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    const bool wasInCall = InDaemonCall();
    if (begins) {
        g_steps.push_back(Step{kind, what, value});
    } else if (!g_steps.empty()) {
        g_steps.pop_back();
    }
    if (!wasInCall && InDaemonCall()) {
        g_since = GetTickCount();
    }
}

class TestCounts : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& info) override {
        if (!info.result()->Skipped()) {
            InterlockedIncrement(info.result()->Failed() ? &g_failed : &g_passed);
        }
    }
};

// The step's name with its value in place of "%lu".
std::string Named(const Step& step) {
    std::string text = step.what;
    const size_t at = text.find("%lu");
    return at == std::string::npos ? text : text.replace(at, 3, std::to_string(step.value));
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

// Copies up to `bytes` of this process's memory without faulting on what is
// not there, halving the length until it can; how many bytes it copied.
size_t ReadMemory(const char* address, void* into, size_t bytes) {
    SIZE_T done = 0;
    while (bytes > 0 && !(g_readMemory && g_readMemory(GetCurrentProcess(), address, into, bytes, &done))) {
        bytes /= 2;
    }
    return bytes;
}

template <typename T>
T Read(const char* address) {
    T value = {};
    return ReadMemory(address, &value, sizeof value) == sizeof value ? value : T{};
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
    const DWORD exports = Read<IMAGE_NT_HEADERS32>(base + Read<IMAGE_DOS_HEADER>(base).e_lfanew)
                              .OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT]
                              .VirtualAddress;
    const DWORD nameAt = exports == 0 ? 0 : Read<IMAGE_EXPORT_DIRECTORY>(base + exports).Name;
    char name[64] = "an image";
    if (nameAt != 0 && ReadMemory(base + nameAt, name, sizeof name - 1) == 0) {
        std::snprintf(name, sizeof name, "an image");
    }
    return (base == g_program ? "the test program" : name) + ("+" + Hex(address - reinterpret_cast<DWORD>(base)));
}

// Where a thread is: its instruction pointer and the first code addresses
// on its stack (return addresses, most of them), copied while it is
// suspended and named once it runs again.
std::string WhereThreadIs(DWORD threadId) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, threadId);
    if (thread == nullptr) {
        return "gone";
    }
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    DWORD stack[kStackWords] = {};
    size_t words = 0;
    bool seen = false;
    if (g_suspend != nullptr && g_getContext != nullptr && g_suspend(thread) != static_cast<DWORD>(-1)) {
        seen = g_getContext(thread, &context) != FALSE;
        words = seen ? ReadMemory(reinterpret_cast<const char*>(context.Esp), stack, sizeof stack) / sizeof(DWORD) : 0;
        ResumeThread(thread);
    }
    CloseHandle(thread);
    const std::string at = CodeAddress(context.Eip);
    std::string where = seen ? "at " + (at.empty() ? Hex(context.Eip) : at) : "not readable";
    for (size_t i = 0, named = 0; i < words && named < kCodeAddresses; ++i) {
        const std::string code = CodeAddress(stack[i]);
        where += code.empty() ? "" : (named++ == 0 ? "; on its stack: " : ", ") + code;
    }
    return where;
}

std::string Xml(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : std::string(1, c);
    }
    return escaped;
}

void WriteAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Ends the program, the steps under g_lock: the report on standard output
// and GoogleTest's XML result as it stood with the hung test failed, its
// counts over the tests that ran as GoogleTest's own first element carries
// them.
[[noreturn]] void FailOnHang() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string suite = info ? info->test_suite_name() : "Hang", test = info ? info->name() : "OutsideAnyTest";
    const std::string title = info ? suite + "." + test : "outside any test";
    std::string steps;
    for (const Step& step : g_steps) {
        steps += (steps.empty() ? "" : " > ") + Named(step);
    }
    const std::string failure = Named(g_steps.back()) + " did not return within " + std::to_string(kHangMs / 1000) +
                                " s (steps under way, outermost first: " + steps + ")";
    std::string report = "\n" + title + ": Failure\n" + failure +
                         "\nThe host's thread and those beyond the program's own at its start:\n  " +
                         std::to_string(g_hostThread) + " (the host's): " + WhereThreadIs(g_hostThread) + "\n";
    for (DWORD thread : ThreadsOfThisProcess()) {
        report += g_ownThreads.count(thread) ? "" : "  " + std::to_string(thread) + ": " + WhereThreadIs(thread) + "\n";
    }
    std::fflush(stdout);
    WriteAll(
        GetStdHandle(STD_OUTPUT_HANDLE),
        report + "[  FAILED  ] " + title + " (the program ends here: the host's thread is still inside the call)\n");
    HANDLE file = g_xmlPath.empty() ? INVALID_HANDLE_VALUE
                                    : CreateFileA(g_xmlPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        WriteAll(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"" +
                           std::to_string(g_passed + g_failed + 1) + "\" failures=\"" + std::to_string(g_failed + 1) +
                           "\" disabled=\"0\" errors=\"0\" name=\"AllTests\">\n  <testsuite name=\"" + Xml(suite) +
                           "\" tests=\"1\" failures=\"1\" disabled=\"0\" errors=\"0\">\n    <testcase name=\"" +
                           Xml(test) + "\" status=\"run\" result=\"completed\" classname=\"" + Xml(suite) +
                           "\">\n      <failure message=\"" + Xml(failure) +
                           "\" type=\"\"></failure>\n    </testcase>\n  </testsuite>\n</testsuites>\n");
        CloseHandle(file);
    }
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) {
        Sleep(INFINITE);
    }
}

DWORD WINAPI WatchHostThread(LPVOID) {
    for (;;) {
        Sleep(kPollMs);
        const std::lock_guard<hostmodel::HostLock> lock(g_lock);
        if (InDaemonCall() && GetTickCount() - g_since >= kHangMs) {
            FailOnHang();
        }
    }
}

// GoogleTest's XML file as its --gtest_output flag names it (a folder's
// file named after the program), empty when it writes none.
std::string XmlPath() {
    const std::string output = GTEST_FLAG_GET(output);
    std::string path = output.compare(0, 3, "xml") != 0 ? "" : output.size() > 4 ? output.substr(4) : "test_detail.xml";
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) {
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
    if (g_hostThread != 0) {
        return;
    }
    g_hostThread = GetCurrentThreadId();
    g_xmlPath = XmlPath();
    g_program = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    testing::UnitTest::GetInstance()->listeners().Append(new TestCounts);
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
