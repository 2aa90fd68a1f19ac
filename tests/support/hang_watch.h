// A bound on every call the host model makes into the daemon from the test
// program's main thread (hostmodel::WatchedStep: an export, the load and the
// unload, a menu command, a message the fixture's waits dispatch). The host's
// thread must make those calls itself, so a call that never returns cannot be
// abandoned: once one has held the thread for kHangMs (the host model's own
// bounded waits inside it not counted), a watching thread ends the program
// with a failure that names the test, the steps under way and what the
// process's threads were doing, on standard output and, when GoogleTest was
// asked for one (--gtest_output=xml or xml:<file>; not a folder), in its XML
// result; exit code 1. The tests after it do not run.
#pragma once

#include <windows.h>

namespace fixture {

// As generous as the fixture's waits (kWaitMs): a loaded machine never needs it.
constexpr DWORD kHangMs = 20000;

// Installs the watch for the calling thread, which must be the one making
// the host's calls; once, after testing::InitGoogleTest and before any test.
// Starts the watching thread then, so that it is among the program's own
// threads for every test that counts them.
void BoundDaemonCalls();

}  // namespace fixture
