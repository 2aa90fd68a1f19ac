// run_limited: runs one program of the test kit with a time limit, its
// output going to a file. run-tests.cmd uses it because cmd.exe has no time
// limit of its own, and a console window keeps only its last few hundred
// lines.
//   run_limited <seconds> <log file> <program> [<argument>...]
//   run_limited --started-from-explorer
// The program's standard output and standard error go to <log file>,
// created anew; its standard input is NUL. When the program is still
// running after <seconds> seconds, it is stopped together with every
// process it started, and a line saying so ends the log file.
// Exit code: the program's own; 124 when it was stopped at the time limit;
// 125 when it could not be run (the reason is in the log file, or on
// standard error when the log file could not be created).
// With --started-from-explorer it only tells whether the cmd.exe that runs
// it was started by Explorer (a double click, whose console window closes
// when the script ends): exit code 0 if so, 1 otherwise.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kExitTimedOut = 124;
constexpr DWORD kExitNotRun = 125;
constexpr DWORD kMaxSeconds = 24 * 60 * 60;
// How long a stopped program may take to end, before run_limited gives up
// waiting for it.
constexpr DWORD kStopWaitMs = 10000;

// One argument as the program's C runtime will read it back: in quotes when
// it holds a blank or a quote (or is empty), a quote escaped with a
// backslash, and backslashes doubled where they come before a quote.
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

void WriteText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The log file, created anew and handed on to the program as its standard
// output and error.
HANDLE CreateLog(const wchar_t* path) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A job that ends every process in it when it is closed, so that nothing the
// program started outlives run_limited. 0 when there is none to be had (an
// older Windows can put a process into one job only, and the kit may already
// run inside one); the program then runs outside a job and only it is
// stopped at the limit.
HANDLE CreateKillJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    return job;
}

DWORD Run(DWORD seconds, HANDLE log, int argc, wchar_t** argv) {
    std::wstring commandLine;
    for (int i = 3; i < argc; ++i) {
        commandLine += (i > 3 ? L" " : L"") + QuoteArgument(argv[i]);
    }
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE input =
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = log;
    startup.hStdError = log;
    PROCESS_INFORMATION process = {};
    HANDLE job = CreateKillJob();
    const BOOL started = CreateProcessW(argv[3], &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                        nullptr, &startup, &process);
    const DWORD startError = GetLastError();
    if (input != INVALID_HANDLE_VALUE) {
        CloseHandle(input);
    }
    if (!started) {
        WriteText(log, "run_limited: could not start the program (error " + std::to_string(startError) + ")\r\n");
        return kExitNotRun;
    }
    if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    DWORD exitCode = kExitNotRun;
    if (WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_TIMEOUT) {
        if (job != nullptr) {
            TerminateJobObject(job, kExitTimedOut);
        } else {
            TerminateProcess(process.hProcess, kExitTimedOut);
        }
        WaitForSingleObject(process.hProcess, kStopWaitMs);
        WriteText(log, "\r\nrun_limited: stopped after the time limit of " + std::to_string(seconds) + " s\r\n");
        exitCode = kExitTimedOut;
    } else {
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    CloseHandle(process.hProcess);
    if (job != nullptr) {
        CloseHandle(job);  // ends whatever the program left running
    }
    return exitCode;
}

// The parent of this program's parent, by the process list: Explorer when
// the script was double-clicked. The process list is the only record of
// parents that every Windows since XP offers.
bool StartedFromExplorer() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    auto find = [snapshot](DWORD id, PROCESSENTRY32W& entry) {
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ProcessID == id) {
                return true;
            }
        }
        return false;
    };
    PROCESSENTRY32W self = {};
    PROCESSENTRY32W script = {};
    PROCESSENTRY32W starter = {};
    const bool found = find(GetCurrentProcessId(), self) && find(self.th32ParentProcessID, script) &&
                       find(script.th32ParentProcessID, starter);
    CloseHandle(snapshot);
    return found && _wcsicmp(script.szExeFile, L"cmd.exe") == 0 && _wcsicmp(starter.szExeFile, L"explorer.exe") == 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 2 && std::wcscmp(argv[1], L"--started-from-explorer") == 0) {
        return StartedFromExplorer() ? 0 : 1;
    }
    wchar_t* end = nullptr;
    const unsigned long seconds = argc >= 4 ? std::wcstoul(argv[1], &end, 10) : 0;
    if (argc < 4 || end == argv[1] || *end != L'\0' || seconds == 0 || seconds > kMaxSeconds) {
        std::fputs("usage: run_limited <seconds> <log file> <program> [<argument>...]\n", stderr);
        return static_cast<int>(kExitNotRun);
    }
    HANDLE log = CreateLog(argv[2]);
    if (log == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "run_limited: cannot create the log file (error %lu)\n", GetLastError());
        return static_cast<int>(kExitNotRun);
    }
    const DWORD exitCode = Run(static_cast<DWORD>(seconds), log, argc, argv);
    CloseHandle(log);
    return static_cast<int>(exitCode);
}
