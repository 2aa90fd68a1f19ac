// norvhost: a stand-in for the Norvale mail server as far as a daemon can see
// it. It shows the host's window tree, hands daemons the host interface
// record, and drives them through STARTUP, DAEMON and CLOSEDOWN.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config_file.h"
#include "daemon_loader.h"
#include "frame_window.h"
#include "host_frame.h"
#include "host_log.h"
#include "host_operations.h"
#include "host_options.h"
#include "host_state.h"
#include "module_windows.h"
#include "script.h"

namespace {

const wchar_t kDefaultDaemon[] = L"orbwick.dll";
const wchar_t kDefaultLogName[] = L"norvhost.log";

std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv != nullptr && i < count; ++i) {
        args.emplace_back(argv[i]);
    }
    LocalFree(argv);
    return args;
}

std::wstring WithBackslash(std::wstring directory) {
    if (!directory.empty() && directory.back() != L'\\' && directory.back() != L'/') {
        directory += L'\\';
    }
    return directory;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    return (length > 0 && length < MAX_PATH * 4) ? std::wstring(full) : path;
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 1);
    std::wstring directory(path);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

void SetUpPaths(HostState& host) {
    host.exeDir = ProgramDirectory();
    host.baseDir = WithBackslash(FullPath(host.options.baseDir.empty() ? L"." : host.options.baseDir));
    host.baseDirAnsi = ToAnsi(host.baseDir);
    if (host.options.daemons.empty()) {
        host.options.daemons.push_back(host.exeDir + kDefaultDaemon);
    }
    if (host.options.logFile.empty()) {
        host.options.logFile = host.baseDir + kDefaultLogName;
    }
}

void ChooseModules(HostState& host) {
    if (host.options.modules) {
        host.modulesToRun = *host.options.modules;
        return;
    }
    std::string config;
    ReadWholeFile(ConfigFilePath(), config, true);
    host.modulesToRun = ModulesListedIn(config, "Protocols");
}

bool StartHost() {
    HostState& host = Host();
    OpenHostLog(host.options.logFile);
    LogLine(kHostLevelInfo, L"norvhost " + FromAnsi(NORVHOST_VERSION) + L" starting: host version " +
                                std::to_wstring(host.options.majorVersion) + L"." +
                                std::to_wstring(host.options.minorVersion) + L", base directory " + host.baseDir);
    if (GetFileAttributesW(ConfigFilePath().c_str()) == INVALID_FILE_ATTRIBUTES) {
        LogLine(kHostLevelError, L"Configuration file " + ConfigFilePath() + L" not found");
    }
    ChooseModules(host);
    if (!CreateFrameWindow()) {
        LogLine(kHostLevelError, L"The host's windows could not be created");
        return false;
    }
    CreateFixedChildren();
    StartInitialModules();
    UpdateStatistics();
    LoadDaemons(host.options.daemons, HostInterfaceRecord());
    SetTimer(host.frame, kTimerDaemon, kDaemonIntervalMs, nullptr);
    StartScript();
    return true;
}

}  // namespace

HostState& Host() {
    static HostState state;
    return state;
}

int main() {
    HostState& host = Host();
    host.startTick = GetTickCount();
    std::wstring error;
    if (!ParseHostOptions(CommandLineArguments(), host.options, error)) {
        std::fwprintf(stderr, L"norvhost: %ls\n%ls", error.c_str(), HostUsageText());
        return 2;
    }
    if (host.options.help) {
        std::fwprintf(stdout, L"%ls", HostUsageText());
        return 0;
    }
    if (host.options.version) {
        std::fwprintf(stdout, L"norvhost %hs\n", NORVHOST_VERSION);
        return 0;
    }
    SetUpPaths(host);
    if (!StartHost()) {
        CloseHostLog();
        return 1;
    }
    const int exitCode = hostmodel::RunHostLoop(host.client);
    LogLine(kHostLevelInfo, L"norvhost exits with code " + std::to_wstring(exitCode));
    CloseHostLog();
    return exitCode;
}
