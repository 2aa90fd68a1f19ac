// run_limited: runs one program of the test kit with a time limit, its
// output going to a file. run-tests.cmd uses it because cmd.exe has no time
// limit of its own, and a console window keeps only its last few hundred
// lines.
//   run_limited <seconds> <log file> <program> [<argument>...]
//   run_limited --started-from-explorer
//   run_limited --facts <dll>
//   run_limited --check <checksum list> <dll> [<file>...]
//   run_limited --plain-folders
//   run_limited --locked <lock file> <batch file>
// The program's standard output and standard error go to <log file>,
// created anew; its standard input is NUL. When the program is still
// running after <seconds> seconds, it is stopped together with every
// process it started, and a line saying so ends the log file (with another
// when it still runs 10 s after its stop). Whatever it
// leaves running when it ends by itself is stopped too.
// Processes are stopped through a job object that holds the program; where
// the program cannot get one (Windows before 8 when the kit already runs
// inside a job; or the environment variable ORBWICK_KIT_NO_JOB set, which
// the kit's own test uses), through the process list (process_tree.h).
// Exit code: the program's own; 124 when it was stopped at the time limit;
// 125 when it could not be run (the reason is in the log file, or on
// standard error when the log file could not be created).
// With --started-from-explorer it only tells whether the cmd.exe that runs
// it was started by Explorer (a double click, whose console window closes
// when the script ends): exit code 0 if so, 1 otherwise.
// With --facts it prints, for the kit's summary, the SHA-256 of <dll> (with
// the request to compare it with the release's SHA256SUMS.txt), its product
// version, the service pack and the product type of Windows and the date,
// and exits with 0.
// With --check it compares the files of the kit with the checksums the build
// wrote for them (kit_checksums.h); <dll> and every <file> must be listed:
// exit code 0 when they match, 3 when only <dll> differs, 2 when the list is
// missing or damaged, 1 otherwise.
// With --plain-folders it tells whether the current folder and the folder
// for temporary files can be named in the ANSI code page, as the test
// programs name them: exit code 0 if so, 1 otherwise, with a line for each
// that cannot.
// With --locked it runs <batch file> in the current folder through cmd.exe
// while it holds <lock file> open without sharing, so that no other run can
// open it: one run of the kit per folder. The handle is inherited by cmd.exe
// and by everything the run starts, and Windows closes it with the last of
// them, however they end (the file goes with it): a run that was killed
// leaves no lock behind, but one of its processes that still runs keeps it.
// Ctrl+C does not end run_limited itself, only what cmd.exe decides. Exit
// code: the batch file's; 126 when another process holds the lock, and
// nothing was run; 125 when the lock file could not be opened or cmd.exe
// not started (the reason on standard error).
// It uses nothing newer than Windows XP SP3 / Server 2003, as every program
// of the kit.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "kit_checksums.h"
#include "process_tree.h"
#include "sha256.h"

namespace {

constexpr int kExitCheckDiffers = 1;
constexpr int kExitCheckNoList = 2;
constexpr int kExitCheckOtherDll = 3;
constexpr int kExitNotPlain = 1;
constexpr DWORD kExitTimedOut = 124;
constexpr DWORD kExitNotRun = 125;
constexpr DWORD kExitLockHeld = 126;
constexpr DWORD kMaxSeconds = 24 * 60 * 60;
// How long a stopped program may take to end, before run_limited gives up
// waiting for it.
constexpr DWORD kStopWaitMs = 10000;
// Without a job, how often the process list is read while the program runs.
constexpr DWORD kWatchIntervalMs = 500;
constexpr DWORD kMsPerSecond = 1000;

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
// program started outlives run_limited. 0 when there is none to be had; the
// process list then stands in for it.
HANDLE CreateKillJob() {
    if (GetEnvironmentVariableW(L"ORBWICK_KIT_NO_JOB", nullptr, 0) != 0) {
        return nullptr;
    }
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// Waits for the program up to the limit; without a job, reads the process
// list between the waits so that its descendants are known by the end.
bool EndsWithinLimit(HANDLE program, DWORD seconds, ProcessTree* tree) {
    const DWORD limitMs = seconds * kMsPerSecond;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limitMs) {
            return WaitForSingleObject(program, 0) != WAIT_TIMEOUT;
        }
        const DWORD left = limitMs - elapsed;
        const DWORD slice = tree == nullptr || left < kWatchIntervalMs ? left : kWatchIntervalMs;
        if (WaitForSingleObject(program, slice) != WAIT_TIMEOUT) {
            return true;
        }
        if (tree != nullptr) {
            WatchProcessTree(*tree);
        }
    }
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
        if (job != nullptr) {
            CloseHandle(job);
        }
        return kExitNotRun;
    }
    if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ProcessTree tree;
    if (job == nullptr) {
        StartProcessTree(tree, process.hProcess, process.dwProcessId);
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    DWORD exitCode = kExitNotRun;
    if (!EndsWithinLimit(process.hProcess, seconds, job == nullptr ? &tree : nullptr)) {
        if (job != nullptr) {
            TerminateJobObject(job, kExitTimedOut);
        } else {
            EndProcessTree(tree, kExitTimedOut);
        }
        const bool stopped = WaitForSingleObject(process.hProcess, kStopWaitMs) == WAIT_OBJECT_0;
        WriteText(log, "\r\nrun_limited: stopped after the time limit of " + std::to_string(seconds) + " s\r\n");
        if (!stopped) {
            WriteText(log, "run_limited: the program still ran " + std::to_string(kStopWaitMs / kMsPerSecond) +
                               " s after its stop\r\n");
        }
        exitCode = kExitTimedOut;
    } else {
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    CloseHandle(process.hProcess);
    // Ends whatever the program left running.
    if (job != nullptr) {
        CloseHandle(job);
    } else {
        EndProcessTree(tree, kExitTimedOut);
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

// The DLL's product version (which names the commit it was built from), or
// an empty text.
std::wstring ProductVersion(const wchar_t* path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) {
        return std::wstring();
    }
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    void* text = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path, 0, size, &data[0]) ||
        !VerQueryValueW(&data[0], L"\\StringFileInfo\\040904B0\\ProductVersion", &text, &length) || length == 0) {
        return std::wstring();
    }
    return std::wstring(static_cast<const wchar_t*>(text));
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

// What "ver" does not tell: the service pack (every 32-bit XP is 5.1.2600,
// whatever its service pack), and whether Windows is a workstation or a
// server edition (XP x64 and Server 2003 are both 5.2.3790).
void PrintWindowsEdition() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        std::printf("Service pack: unknown\n");
        return;
    }
    const char* type = info.wProductType == VER_NT_WORKSTATION         ? "workstation"
                       : info.wProductType == VER_NT_DOMAIN_CONTROLLER ? "server (domain controller)"
                                                                       : "server";
    const std::string servicePack = Narrow(info.szCSDVersion);
    std::printf("Service pack: %s; product type: %s\n", servicePack.empty() ? "none" : servicePack.c_str(), type);
}

// The lines the kit's summary takes from run_limited, the DLL's checksum
// first: the one fact that ties a run to a release.
void PrintFacts(const wchar_t* dll) {
    const std::string name = Narrow(dll);
    const std::string sum = FileSha256(dll);
    if (sum.empty()) {
        std::printf("%s: missing or unreadable\n", name.c_str());
    } else {
        const std::wstring version = ProductVersion(dll);
        std::printf("%s: SHA-256 %s\n", name.c_str(), sum.c_str());
        std::printf(
            "Compare this SHA-256 with %s's line in SHA256SUMS.txt of the release: only if they are equal "
            "is this the release's %s.\n",
            name.c_str(), name.c_str());
        std::printf("%s: version %s\n", name.c_str(), version.empty() ? "unknown" : Narrow(version).c_str());
    }
    PrintWindowsEdition();
    SYSTEMTIME local = {}, utc = {};
    GetLocalTime(&local);
    GetSystemTime(&utc);
    std::printf("Date: %04u-%02u-%02u %02u:%02u local time (%04u-%02u-%02u %02u:%02u UTC)\n", local.wYear, local.wMonth,
                local.wDay, local.wHour, local.wMinute, utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute);
}

// Whether a path comes back unchanged from the ANSI code page. The test
// programs name their folders through it (GoogleTest's _getcwd for its XML
// file, GetTempPathA): a letter the code page lacks turns into "?" or into a
// look-alike (L with a stroke into L), which names another folder or none.
bool IsAnsiPath(const std::wstring& path) {
    const int size = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size == 0) {
        return false;
    }
    std::string ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &ansi[0], size, nullptr, nullptr);
    wchar_t back[MAX_PATH + 1] = {};
    return MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, back, MAX_PATH + 1) != 0 && path == back;
}

bool PlainFolders() {
    wchar_t current[MAX_PATH + 1] = {};
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD currentLength = GetCurrentDirectoryW(MAX_PATH + 1, current);
    const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
    const bool currentPlain = currentLength != 0 && currentLength <= MAX_PATH && IsAnsiPath(current);
    const bool tempPlain = tempLength != 0 && tempLength <= MAX_PATH && IsAnsiPath(temp);
    if (!currentPlain) {
        std::printf(
            "The kit's folder is named with a letter outside the ANSI code page of this Windows (%u), so "
            "the test programs cannot write their results there: move the kit to a folder with a plain "
            "name, for example C:\\orbwick-tests, and run it there.\n",
            GetACP());
    }
    if (!tempPlain) {
        std::printf(
            "The folder for temporary files (TEMP) is named with a letter outside the ANSI code page of "
            "this Windows (%u), so the test programs cannot use it: in a Command Prompt in the kit's "
            "folder, type md C:\\orbwick-temp, then set TEMP=C:\\orbwick-temp, then run-tests.cmd.\n",
            GetACP());
    }
    return currentPlain && tempPlain;
}

// Ctrl+C and Ctrl+Break reach every process of the console: the lock stays
// until cmd.exe, which asks whether to stop the batch file, has ended.
BOOL WINAPI KeepLockOnInterrupt(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

DWORD RunLocked(const wchar_t* lockPath, const wchar_t* batchFile) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE lock = CreateFileW(lockPath, GENERIC_WRITE | DELETE, 0, &inherit, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (lock == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            return kExitLockHeld;
        }
        std::fprintf(stderr, "run_limited: cannot open the lock file (error %lu)\n", error);
        return kExitNotRun;
    }
    // cmd.exe from the system folder, not one the current folder may hold;
    // the batch file's name in quotes inside the quotes that /c removes.
    wchar_t system[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH + 1);
    const std::wstring shell = std::wstring(system, length <= MAX_PATH ? length : 0) + L"\\cmd.exe";
    std::wstring commandLine = L"\"" + shell + L"\" /d /c \"\"" + batchFile + L"\"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    SetConsoleCtrlHandler(KeepLockOnInterrupt, TRUE);
    if (length == 0 || length > MAX_PATH ||
        !CreateProcessW(shell.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "run_limited: cannot start cmd.exe (error %lu)\n", GetLastError());
        CloseHandle(lock);
        return kExitNotRun;
    }
    CloseHandle(process.hThread);
    DWORD exitCode = kExitNotRun;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &exitCode)) {
        exitCode = kExitNotRun;
    }
    CloseHandle(process.hProcess);
    CloseHandle(lock);
    return exitCode;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 2 && std::wcscmp(argv[1], L"--started-from-explorer") == 0) {
        return StartedFromExplorer() ? 0 : 1;
    }
    if (argc == 3 && std::wcscmp(argv[1], L"--facts") == 0) {
        PrintFacts(argv[2]);
        return 0;
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"--check") == 0) {
        const KitCheck found = CheckKitChecksums(argv[2], argv[3], argv + 3, argc - 3);
        return found == KitCheck::Release    ? 0
               : found == KitCheck::OtherDll ? kExitCheckOtherDll
               : found == KitCheck::NoList   ? kExitCheckNoList
                                             : kExitCheckDiffers;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"--plain-folders") == 0) {
        return PlainFolders() ? 0 : kExitNotPlain;
    }
    if (argc == 4 && std::wcscmp(argv[1], L"--locked") == 0) {
        return static_cast<int>(RunLocked(argv[2], argv[3]));
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
    // Inherited by the program: a program that cannot load (a missing
    // function or library) or that crashes ends with an exit code instead of
    // waiting behind a message box, which would hold up an unattended run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const DWORD exitCode = Run(static_cast<DWORD>(seconds), log, argc, argv);
    CloseHandle(log);
    return static_cast<int>(exitCode);
}
