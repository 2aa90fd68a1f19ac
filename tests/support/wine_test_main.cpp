// The entry point of the Win32 test programs: GoogleTest's, with a fault on
// any thread failing the whole program.

#include <gtest/gtest.h>

#include "fault_filter.h"

int main(int argc, char** argv) {
    fixture::FailOnFaultOnAnyThread();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
