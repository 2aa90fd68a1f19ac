// The daemon's per-thread exception data, with two threads throwing and
// catching at once.

#include <gtest/gtest.h>

#include <windows.h>

namespace {

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

TEST(ExceptionData, ExceptionsInFlightOnTwoThreadsStayApart) {
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
