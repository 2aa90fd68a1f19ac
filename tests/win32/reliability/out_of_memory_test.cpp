// Running out of memory inside the daemon, at each of its allocations in
// turn, through every entry from the host: STARTUP, the worker's pass with
// its window enumeration, the hook's commands and CLOSEDOWN. Nothing thrown
// may reach the host (the test program would end with it), a refused start
// leaves neither hook nor worker, and every command still reaches the host.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "daemon_session.h"

using fixture::DaemonSession;
using hostmodel::PumpUntil;
using hostmodel::SendMenuCommand;

namespace {

const wchar_t kFailingBuild[] = L"orbwick_failing_new.dll";
using FailAllocationFn = void(__cdecl*)(long);
using AllocationFailedFn = int(__cdecl*)();

// Whether the file can be opened for writing by another, now: a handle the
// daemon left open on it (it reads without write sharing) would refuse it.
bool OpensForWriting(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// Kernel handles left open: the process's handle count where the platform
// keeps one. Wine answers 0 there but hands out its lowest free entries
// first, so the highest of 32 handles taken at once rises with a handle left
// open among them; that mark is compared round by round. Wine keeps an entry
// of its own for each load and unload of a library (a bare LoadLibrary and
// FreeLibrary of the build shows it), which a round may take.
struct HandleMarks {
    DWORD count = 0;
    uintptr_t lowestFree = 0;
};

HandleMarks MarkHandles() {
    HandleMarks marks;
    GetProcessHandleCount(GetCurrentProcess(), &marks.count);
    HANDLE probes[32];
    for (HANDLE& probe : probes) {
        probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        marks.lowestFree = std::max(marks.lowestFree, reinterpret_cast<uintptr_t>(probe));
    }
    for (HANDLE probe : probes) CloseHandle(probe);
    return marks;
}

uintptr_t EntriesOfALoad() {
    uintptr_t entries = 0;
    for (int i = 0; i < 2; ++i) {  // the first warms the platform up
        const uintptr_t before = MarkHandles().lowestFree;
        FreeLibrary(LoadLibraryW(kFailingBuild));
        entries = MarkHandles().lowestFree - before;
    }
    return entries;
}

TEST(OutOfMemory, EachAllocationFailingInTurn) {
    int refused = 0, started = 0;
    long n = 1;
    HandleMarks warm, previous;
    const uintptr_t entriesOfALoad = EntriesOfALoad();
    // One configuration folder for every round, as one host has: a handle
    // left open in one round would still be open in the next.
    const fixture::TempDirectory base;
    const std::string config = base.Path() + "norvale.ini";
    ASSERT_TRUE(base.WriteFile("norvale.ini", fixture::ConfigText("SPE", "P")));
    for (;; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        // The first round warms the platform up.
        const HandleMarks marks = MarkHandles();
        if (n == 2)
            warm = marks;
        if (n > 2 && marks.count == 0) {
            EXPECT_LE(marks.lowestFree, previous.lowestFree + entriesOfALoad)
                << "the round before left a kernel handle open";
        }
        previous = marks;
        DaemonSession s;
        s.host.SetBaseDirectory(base.Path());
        s.libraryName = kFailingBuild;
        s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc");
        s.frame.AddModuleWindow(L"Norvale POP3 Server", L"mdlg_mpp");
        s.AddCore();
        // Armed through a reference of the test's own, dropped once the
        // session holds the library.
        HMODULE build = LoadLibraryW(kFailingBuild);
        ASSERT_NE(build, nullptr);
        auto failAllocation =
            reinterpret_cast<FailAllocationFn>(reinterpret_cast<void*>(GetProcAddress(build, "FailAllocation")));
        auto allocationFailed =
            reinterpret_cast<AllocationFailedFn>(reinterpret_cast<void*>(GetProcAddress(build, "AllocationFailed")));
        ASSERT_TRUE(failAllocation && allocationFailed);
        failAllocation(n);
        const bool accepted = (s.Start() & 0xFF) == 1;
        FreeLibrary(build);
        EXPECT_TRUE(OpensForWriting(config)) << "norvale.ini is closed again after STARTUP";
        const std::vector<unsigned> commands = {1001, 1097, 1098, 1099, 1090};
        if (accepted) {
            ++started;
            PumpUntil([&] { return s.MenuAttached() || allocationFailed(); }, fixture::kWaitMs);
            hostmodel::PumpFor(30);
            for (unsigned command : commands) SendMenuCommand(s.frame.frame(), command);
            std::vector<unsigned> received = s.frame.commandsReceived();
            received.erase(std::remove(received.begin(), received.end(), 499u), received.end());  // a save's own
            EXPECT_EQ(received, commands) << "the hook chain goes on to the host";
            const bool failed = allocationFailed() != 0;
            EXPECT_TRUE(s.CloseAndUnload()) << "the worker ended and let go of the library";
            if (!failed)
                break;  // a whole run that never reached allocation n
        } else {
            ++refused;
            EXPECT_TRUE(allocationFailed());
            // Out of memory, or the part of the daemon it kept from being made.
            const auto lines = s.host.LogLines(kLogLevelOutcome);
            EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& line) {
                                       return line.rfind("Orbwick daemon could not load (", 0) == 0 &&
                                              line != "Orbwick daemon could not load (version error)";
                                   }),
                      lines.end())
                << "the refusal is in the host's log";
            // The host unloads the library without CLOSEDOWN: a hook left
            // behind would now run unmapped code for the next message, and a
            // worker would keep the library mapped.
            s.library().reset();
            EXPECT_TRUE(PumpUntil([] { return !fixture::LibraryLoaded(kFailingBuild); }, fixture::kWaitMs));
            for (unsigned command : commands) SendMenuCommand(s.frame.frame(), command);
            EXPECT_EQ(s.frame.commandsReceived(), commands);
        }
        if (HasFatalFailure() || n > 5000)
            break;
    }
    std::printf("allocations failed in turn: %ld (STARTUP refused %d times, accepted %d times)\n", n - 1, refused,
                started);
    // The system's own threads may hold a few handles more at one moment.
    EXPECT_LE(MarkHandles().count, warm.count + 16) << "kernel handles left open";
    EXPECT_GT(refused, 0) << "allocations inside STARTUP were reached";
    EXPECT_GT(started, 1) << "allocations after STARTUP (worker, hook) were reached";
}

// The daemon's per-thread exception data (daemon/exception_data.cpp, linked
// into this program too, so its throws use the same table): an exception
// caught on one thread stays that thread's while another thread throws and
// catches in between. Entries shared between threads would hand the first
// thread's rethrow the second's exception.
struct TwoCatches {
    HANDLE firstCaught = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE secondCaught = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE firstDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    int secondRethrew = 0;
};

// Throws `value`, and rethrows it from its catch once `before` was set;
// `caught` is set in between. Answers what the rethrow threw.
int ThrowAndRethrow(int value, HANDLE caught, HANDLE before) {
    try {
        try {
            throw value;
        } catch (int) {
            SetEvent(caught);
            WaitForSingleObject(before, 10000);
            throw;
        }
    } catch (int rethrown) {
        return rethrown;
    }
}

DWORD WINAPI SecondCatch(void* parameter) {
    auto& two = *static_cast<TwoCatches*>(parameter);
    WaitForSingleObject(two.firstCaught, 10000);
    two.secondRethrew = ThrowAndRethrow(2, two.secondCaught, two.firstDone);
    return 0;
}

TEST(OutOfMemory, ExceptionsInFlightOnTwoThreadsStayApart) {
    TwoCatches two;
    ASSERT_TRUE(two.firstCaught && two.secondCaught && two.firstDone);
    HANDLE second = CreateThread(nullptr, 0, &SecondCatch, &two, 0, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(ThrowAndRethrow(1, two.firstCaught, two.secondCaught), 1) << "the first thread rethrew another's";
    SetEvent(two.firstDone);
    EXPECT_EQ(WaitForSingleObject(second, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(two.secondRethrew, 2) << "the second thread rethrew another's";
    for (HANDLE handle : {second, two.firstCaught, two.secondCaught, two.firstDone}) {
        CloseHandle(handle);
    }
}

}  // namespace
