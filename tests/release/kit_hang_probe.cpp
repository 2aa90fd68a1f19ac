// A test program that hangs, for the test of run-tests.cmd's time limit. It
// says so on its standard output (which run_limited puts into its log file),
// starts a copy of itself, as a test program starts the host, and then both
// write a line every 200 ms for ever: a log file that still grows after
// run-tests.cmd has ended shows a process the time limit failed to stop.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool child = argc > 1 && std::strcmp(argv[1], "--child") == 0;
    if (!child) {
        std::puts("kit_hang_probe: hanging on purpose");
        std::fflush(stdout);
        char path[MAX_PATH + 1] = {};
        char commandLine[] = "kit_hang_probe --child";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (GetModuleFileNameA(nullptr, path, MAX_PATH) != 0 &&
            CreateProcessA(path, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    for (;;) {
        std::puts(child ? "kit_hang_probe: the started copy still runs" : "kit_hang_probe: still runs");
        std::fflush(stdout);
        Sleep(200);
    }
}
