// A test program that hangs, for the test of run-tests.cmd's time limit. It
// says so on its standard output (which run_limited puts into its log file),
// starts a copy of itself, as a test program starts the host, which starts
// a copy in turn; then all three write a line every 200 ms, the first and
// the last for ever (the started copy ends after 2 s): a log
// file that still grows after run-tests.cmd has ended shows a process the
// time limit failed to stop. It also leaves a folder in its temporary folder
// and names that in its log, as a test program stopped at its limit would,
// for the check that the kit removes it. It says whether it runs inside a
// job, and whether its standard input is empty.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void StartCopy(const char* role) {
    char path[MAX_PATH + 1] = {};
    char commandLine[64] = {};
    std::snprintf(commandLine, sizeof commandLine, "kit_hang_probe %s", role);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) != 0 &&
        CreateProcessA(path, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* role = argc > 1 ? argv[1] : "";
    const char* line = "kit_hang_probe: still runs";
    // The started copy ends after 2 s, before the limit of 3 s, as a
    // launcher that leaves its own child running: only a look at the process
    // list while it lived ties the copy's copy to the program.
    const bool launcher = std::strcmp(role, "--child") == 0;
    if (launcher) {
        StartCopy("--grandchild");
        line = "kit_hang_probe: the started copy still runs";
    } else if (std::strcmp(role, "--grandchild") == 0) {
        line = "kit_hang_probe: the copy's copy still runs";
    } else {
        char temp[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH, temp);
        CreateDirectoryA((std::string(temp) + "kit_hang_probe").c_str(), nullptr);
        std::printf("kit_hang_probe: hanging on purpose, temporary folder %s\n", temp);
        // Whether run_limited put it into a job of its own, or watches the
        // process list instead.
        BOOL inJob = FALSE;
        if (IsProcessInJob(GetCurrentProcess(), nullptr, &inJob)) {
            std::printf("kit_hang_probe: %s\n", inJob ? "inside a job" : "not inside a job");
        }
        std::fflush(stdout);
        StartCopy("--child");
        // run_limited gives its programs NUL as standard input: a read ends
        // at once, with nothing.
        char first = 0;
        DWORD read = 0;
        const bool empty = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &first, 1, &read, nullptr) && read == 0;
        std::printf("kit_hang_probe: standard input %s\n", empty ? "empty" : "not NUL");
        std::fflush(stdout);
    }
    for (int written = 0; !launcher || written < 10; ++written) {
        std::puts(line);
        std::fflush(stdout);
        Sleep(200);
    }
}
