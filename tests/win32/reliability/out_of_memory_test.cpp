// Running out of memory inside the daemon, at each of its allocations in
// turn, through every entry from the host: STARTUP, the worker's pass with
// its window enumeration, the hook's commands and CLOSEDOWN. Nothing thrown
// may reach the host (the test program would end with it), a refused start
// leaves neither hook nor worker, and every command still reaches the host.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "daemon_session.h"
#include "message_box_closer.h"
#include "object_count.h"

using fixture::DaemonSession;
using hostmodel::Op;
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

// Module P restarted by the host while the daemon runs (its window destroyed
// and a new one made), the new one hidden by the host: its slot is lost, so
// the next command looks for it, which may run out of memory.
void RestartHiddenP(DaemonSession& s, HWND& slotOfP) {
    SendMessageW(s.frame.client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(GetParent(slotOfP)), 0);
    slotOfP = s.frame.AddModuleWindow(L"Norvale POP3 Server", L"mdlg_mpp");
    ShowWindow(GetParent(slotOfP), SW_HIDE);
}

// A save merges the windows hidden now (S shown, P hidden, E absent), or it
// is refused where the operator sees it: a level-15 line and the box.
void ExpectSavedOrRefused(DaemonSession& s, const fixture::MessageBoxCloser& boxes, size_t linesBefore) {
    const auto merges = s.host.CallsOf(Op::MergeSection);
    if (!merges.empty()) {
        EXPECT_EQ(merges.back().fileBytes, "NORVALEP\r\n") << "the save merged what is hidden now";
        return;
    }
    EXPECT_GT(s.host.LogLines(kLogLevelOutcome).size(), linesBefore) << "a save that merged nothing says why";
    EXPECT_EQ(boxes.count, 1) << "a save that merged nothing shows the failure box";
}

TEST(OutOfMemory, EachAllocationFailingInTurn) {
    int refused = 0, started = 0;
    long n = 1;
    // One configuration folder for every round, as one host has: a handle
    // left open in one round would still be open in the next.
    const fixture::TempDirectory base;
    const std::string config = base.Path() + "norvale.ini";
    ASSERT_TRUE(base.WriteFile("norvale.ini", fixture::ConfigText("SPE", "P")));
    for (;; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        const int threadsBefore = fixture::ThreadCount();
        DaemonSession s;
        s.host.SetBaseDirectory(base.Path());
        s.libraryName = kFailingBuild;
        s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc");
        HWND slotOfP = s.frame.AddModuleWindow(L"Norvale POP3 Server", L"mdlg_mpp");
        s.AddCore();
        // Armed and counted through a reference of the test's own, dropped
        // once the count is read and its patches are gone.
        HMODULE build = LoadLibraryW(kFailingBuild);
        ASSERT_NE(build, nullptr);
        auto failAllocation =
            reinterpret_cast<FailAllocationFn>(reinterpret_cast<void*>(GetProcAddress(build, "FailAllocation")));
        auto allocationFailed =
            reinterpret_cast<AllocationFailedFn>(reinterpret_cast<void*>(GetProcAddress(build, "AllocationFailed")));
        ASSERT_TRUE(failAllocation && allocationFailed);
        std::optional<fixture::ObjectCount> objects(std::in_place, build);
        ASSERT_EQ(objects->patched(), 10) << "every import that opens or closes a handle or menu is counted";
        failAllocation(n);
        const bool accepted = (s.Start() & 0xFF) == 1;
        EXPECT_TRUE(OpensForWriting(config)) << "norvale.ini is closed again after STARTUP";
        const std::vector<unsigned> commands = {1099, 1001, 1097, 1098, 1099, 1090};
        bool failed = true;
        if (accepted) {
            ++started;
            PumpUntil([&] { return s.MenuAttached() || allocationFailed(); }, fixture::kWaitMs);
            hostmodel::PumpFor(30);
            RestartHiddenP(s, slotOfP);
            {
                const fixture::MessageBoxCloser boxes;
                const size_t lines = s.host.LogLines(kLogLevelOutcome).size();
                SendMenuCommand(s.frame.frame(), commands[0]);
                if (s.MenuAttached()) {
                    ExpectSavedOrRefused(s, boxes, lines);
                }
                for (size_t c = 1; c < commands.size(); ++c) SendMenuCommand(s.frame.frame(), commands[c]);
            }
            std::vector<unsigned> received = s.frame.commandsReceived();
            received.erase(std::remove(received.begin(), received.end(), 499u), received.end());  // a save's own
            EXPECT_EQ(received, commands) << "the hook chain goes on to the host";
            failed = allocationFailed() != 0;
            s.library()->Closedown();
            EXPECT_TRUE(PumpUntil([&] { return fixture::ThreadCount() <= threadsBefore; }, fixture::kWaitMs))
                << "the worker ended";
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
        }
        EXPECT_EQ(objects->openHandles(), 0u) << "kernel handles the daemon opened and did not close";
        const std::vector<HMENU> menus = objects->liveMenus();
        EXPECT_LE(menus.size(), 1u) << "menus the daemon made and did not destroy";
        if (menus.size() == 1) {
            EXPECT_EQ(menus[0], s.DisplayMenu()) << "the one menu left is the Display control in the host's menu";
        }
        objects.reset();
        FreeLibrary(build);
        EXPECT_TRUE(s.CloseAndUnload()) << "the worker ended and let go of the library";
        if (!accepted) {
            for (unsigned command : commands) SendMenuCommand(s.frame.frame(), command);
            EXPECT_EQ(s.frame.commandsReceived(), commands);
        }
        if (!failed)
            break;  // a whole run that never reached allocation n
        if (HasFatalFailure() || n > 5000)
            break;
    }
    std::printf("allocations failed in turn: %ld (STARTUP refused %d times, accepted %d times)\n", n - 1, refused,
                started);
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
