// The entry point of the Win32 test programs: GoogleTest's, with a fault on
// any thread failing the whole program, and so does a call into the daemon
// that does not return (see hang_watch.h).

#include <gtest/gtest.h>

#include "fault_filter.h"
#include "hang_watch.h"

int main(int argc, char** argv) {
    fixture::FailOnFaultOnAnyThread();
    testing::InitGoogleTest(&argc, argv);
    fixture::BoundDaemonCalls();
    return RUN_ALL_TESTS();
}
