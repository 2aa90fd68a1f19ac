#include "e2e_support.h"

#include <sstream>

namespace e2e {

namespace {

const wchar_t kStateName[] = L"state.txt";
const wchar_t kLogName[] = L"norvhost.log";

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 1);
    std::wstring directory(path);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

void RemoveTree(const std::wstring& directory) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((directory + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((directory + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(directory.c_str());
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream stream(line);
    while (std::getline(stream, field, '\t')) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

BaseDirectory::BaseDirectory() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static int serial = 0;
    path_ = std::wstring(temp) + L"norvhost-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++serial) + L"\\";
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

BaseDirectory::~BaseDirectory() { RemoveTree(path_); }

void BaseDirectory::WriteFile(const wchar_t* name, const std::string& bytes) const {
    const HANDLE file =
        CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string BaseDirectory::ReadFile(const wchar_t* name) const {
    const HANDLE file = CreateFileW(File(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return bytes;
}

bool BaseDirectory::Exists(const wchar_t* name) const {
    return GetFileAttributesW(File(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

HostRun RunHost(const BaseDirectory& base, const std::wstring& arguments, DWORD limitMs) {
    std::wstring commandLine = L"\"" + ProgramDirectory() + L"norvhost.exe\" --base-dir \"" + base.path() +
                               L".\" --log \"" + base.File(kLogName) + L"\" --state \"" + base.File(kStateName) +
                               L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    HostRun run;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, base.path().c_str(), &startup,
                        &process)) {
        return run;
    }
    run.finished = WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0;
    if (!run.finished) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, limitMs);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.log = base.ReadFile(kLogName);
    return run;
}

HostState ReadState(const BaseDirectory& base) {
    HostState state;
    std::istringstream report(base.ReadFile(kStateName));
    std::string line;
    while (std::getline(report, line)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() == 3 && fields[0] == "window") {
            state.windowVisible[fields[1]] = fields[2] == "visible";
        } else if (fields.size() == 3 && fields[0] == "menu") {
            state.menuPresent = fields[2] == "present";
        } else if (fields.size() == 3 && fields[0] == "count") {
            state.displayControlItems = std::stoi(fields[2]);
        } else if (fields.size() == 4 && fields[0] == "item") {
            state.items.push_back({static_cast<unsigned>(std::stoul(fields[1])), fields[2] == "checked", fields[3]});
        }
    }
    return state;
}

std::vector<std::string> LogLinesWith(const std::string& log, const std::string& part) {
    std::vector<std::string> lines;
    std::istringstream stream(log);
    std::string line;
    while (std::getline(stream, line)) {
        if (line.find(part) != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace e2e
