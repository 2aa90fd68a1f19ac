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

constexpr DWORD kPollMs = 200;
constexpr size_t kStackWords = 512;  // how much of a thread's stack is searched for code addresses
constexpr int kCodeAddresses = 4;    // how many of them are named

struct Step {
    hostmodel::StepKind kind;
    const char* what;
    unsigned long value;
};

hostmodel::HostLock g_lock;                // over g_steps and g_since
DWORD g_hostThread = 0;                    // the thread whose steps are watched
std::vector<Step> g_steps;                 // under way on it, outermost first
DWORD g_since = 0;                         // when the innermost daemon call's time began
volatile LONG g_passed = 0, g_failed = 0;  // tests ended so far, skipped ones in neither count
std::set<DWORD> g_ownThreads;              // the program's threads at installation, the watching one included
const auto* const g_program = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));  // the test program's image

// Three calls of Windows 2000 that only a hang's report makes, looked up as
// the program starts (not at the report: the loader's lock may be the stuck
// thread's) and so not imported, which keeps the test kit's reviewed imports
// as they are.
#define KERNEL32(function)                   \
    reinterpret_cast<decltype(&(function))>( \
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), #function)))
const auto g_readMemory = KERNEL32(ReadProcessMemory);
const auto g_suspend = KERNEL32(SuspendThread);
const auto g_getContext = KERNEL32(GetThreadContext);

bool InDaemonCall() { return !g_steps.empty() && g_steps.back().kind == hostmodel::StepKind::DaemonCall; }

// A daemon call's time runs from its start, through the daemon calls inside
// it, and begins again when a wait of the host's inside it ends: whenever
// the innermost step becomes a daemon call.
void OnStep(hostmodel::StepKind kind, const char* what, unsigned long value, bool begins) {
    if (GetCurrentThreadId() != g_hostThread) {
        return;
    }
    const std::lock_guard<hostmodel::HostLock> lock(g_lock);
    const bool wasInCall = InDaemonCall();
    begins ? g_steps.push_back(Step{kind, what, value}) : g_steps.pop_back();  // ends are told only of steps begun
    g_since = !wasInCall && InDaemonCall() ? GetTickCount() : g_since;
}

class TestCounts : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& info) override {
        InterlockedExchangeAdd(&g_passed, info.result()->Passed());
        InterlockedExchangeAdd(&g_failed, info.result()->Failed());
    }
};

// The step's name with its value in place of "%lu".
std::string Named(const Step& step) {
    std::string text = step.what;
    const size_t at = text.find("%lu");
    return at == std::string::npos ? text : text.replace(at, 3, std::to_string(step.value));
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

// A T from this process's memory, zeros when it cannot be read whole.
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
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0 || region.Type != MEM_IMAGE ||
        (region.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) == 0) {
        return std::string();
    }
    const auto* base = static_cast<const char*>(region.AllocationBase);
    const auto nt = Read<IMAGE_NT_HEADERS32>(base + Read<IMAGE_DOS_HEADER>(base).e_lfanew);
    const DWORD exports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    const DWORD nameAt = exports == 0 ? 0 : Read<IMAGE_EXPORT_DIRECTORY>(base + exports).Name;
    char name[64] = "an image", text[96] = {};
    ReadMemory(base + nameAt, name, nameAt == 0 ? 0 : sizeof name - 1);
    std::snprintf(text, sizeof text, "%s+0x%lx", base == g_program ? "the test program" : name,
                  static_cast<unsigned long>(address - reinterpret_cast<DWORD>(base)));
    return text;
}

// Where a thread is: its instruction pointer and the first code addresses
// on its stack (return addresses, most of them), copied while it is
// suspended and named once it runs again: naming allocates, and a suspended
// thread may hold the heap's lock.
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
    std::string where = seen ? "at " + (at.empty() ? "code outside any image" : at) : "not readable";
    for (size_t i = 0, named = 0; i < words && named < kCodeAddresses; ++i) {
        const std::string code = CodeAddress(stack[i]);
        where += code.empty() ? "" : (named++ == 0 ? "; on its stack: " : ", ") + code;
    }
    return where;
}

std::string Xml(const std::string& text) {
    std::string escaped;
    for (char c : text) escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '"' ? "&quot;" : std::string(1, c);
    return escaped;
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
    for (const Step& step : g_steps) steps += (steps.empty() ? "" : " > ") + Named(step);
    const std::string failure = Named(g_steps.back()) + " did not return within " + std::to_string(kHangMs / 1000) +
                                " s (steps under way, outermost first: " + steps + ")";
    std::string report = "\n" + title + ": Failure\n" + failure +
                         "\nThe host's thread and those beyond the program's own at its start:\n  " +
                         std::to_string(g_hostThread) + " (the host's): " + WhereThreadIs(g_hostThread) + "\n";
    for (DWORD thread : ThreadsOfThisProcess()) {
        report += g_ownThreads.count(thread) ? "" : "  " + std::to_string(thread) + ": " + WhereThreadIs(thread) + "\n";
    }
    std::printf("%s[  FAILED  ] %s (the program ends here: the host's thread is still inside the call)\n",
                report.c_str(), title.c_str());
    std::fflush(stdout);  // TerminateProcess writes out nothing
    // GoogleTest's XML file as --gtest_output names it (not a folder); "" opens none.
    const std::string output = GTEST_FLAG_GET(output);
    const std::string xml = output == "xml" ? "test_detail.xml" : output.compare(0, 4, "xml:") ? "" : output.substr(4);
    if (FILE* file = std::fopen(xml.c_str(), "w")) {
        std::fprintf(file,
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<testsuites tests=\"%ld\" failures=\"%ld\" disabled=\"0\" errors=\"0\" name=\"AllTests\">\n"
                     "  <testsuite name=\"%s\" tests=\"1\" failures=\"1\" disabled=\"0\" errors=\"0\">\n"
                     "    <testcase name=\"%s\" status=\"run\" result=\"completed\" classname=\"%s\">\n"
                     "      <failure message=\"%s\" type=\"\"></failure>\n"
                     "    </testcase>\n  </testsuite>\n</testsuites>\n",
                     g_passed + g_failed + 1L, g_failed + 1L, Xml(suite).c_str(), Xml(test).c_str(), Xml(suite).c_str(),
                     Xml(failure).c_str());
        std::fclose(file);
    }
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) Sleep(INFINITE);
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

}  // namespace

void BoundDaemonCalls() {
    g_hostThread = GetCurrentThreadId();
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
