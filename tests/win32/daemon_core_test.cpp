// The daemon's exports and start-up rules, seen as a host sees them: the built
// orbwick.dll loaded with LoadLibrary and driven through a recording host.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "host_model.h"
#include "temp_directory.h"

using hostmodel::DaemonLibrary;
using hostmodel::Op;
using hostmodel::RecordingHost;

namespace {

constexpr char kVersionError[] = "Orbwick daemon could not load (version error)";
constexpr char kLoaded[] = "Orbwick daemon loaded successfully";

TEST(Exports, ResolveByNameAndByOrdinal) {
    DaemonLibrary daemon;
    const struct {
        const char* name;
        WORD ordinal;
    } exports[] = {{"CLOSEDOWN", 1}, {"STARTUP", 2}, {"DAEMON", 3}};
    for (const auto& row : exports) {
        SCOPED_TRACE(row.name);
        FARPROC byName = GetProcAddress(daemon.module(), row.name);
        FARPROC byOrdinal = GetProcAddress(daemon.module(), MAKEINTRESOURCEA(row.ordinal));
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName, byOrdinal);
    }
    EXPECT_EQ(GetProcAddress(daemon.module(), MAKEINTRESOURCEA(4)), nullptr);
}

TEST(Exports, CarryAVersionResource) {
    wchar_t path[MAX_PATH];
    DaemonLibrary daemon;
    ASSERT_GT(GetModuleFileNameW(daemon.module(), path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, info.data()));
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {{L"ProductName", L"Orbwick"},
                   {L"CompanyName", L"The Orbwick developers"},
                   {L"LegalCopyright", L"Copyright (C) 2026 The Orbwick developers. MIT License."}};
    UINT length = 0;
    for (const auto& row : strings) {
        SCOPED_TRACE(testing::Message() << row.name);
        wchar_t* value = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + row.name;
        ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length));
        EXPECT_STREQ(value, row.value);
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

// A started daemon must be closed down before its library goes, so that its
// hook and worker do not outlive it.
struct StartedDaemon {
    RecordingHost host;
    DaemonLibrary daemon;
    int32_t result = 0;
    explicit StartedDaemon(uint8_t major, uint8_t minor, std::optional<std::string> baseDirectory = std::string()) {
        host.SetBaseDirectory(std::move(baseDirectory));
        result = daemon.Startup(host.MakeRecord(major, minor));
    }
    ~StartedDaemon() { daemon.Closedown(); }
};

TEST(Startup, VersionGate) {
    const struct {
        uint8_t major, minor;
        bool accepted;
    } rows[] = {
        {2, 19, false}, {2, 20, true}, {1, 99, false}, {0, 0, false}, {0, 255, false},
        {3, 0, true},   {4, 60, true}, {4, 61, true},  {5, 0, true},  {255, 255, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "host " << int(row.major) << "." << int(row.minor));
        StartedDaemon started(row.major, row.minor);
        const auto logs = started.host.CallsOf(Op::WriteLog);
        if (row.accepted) {
            EXPECT_EQ(started.result & 0xFF, 1);
            // No norvale.ini in the current directory either.
            EXPECT_EQ(started.host.LogLines(15),
                      (std::vector<std::string>{kLoaded, "Orbwick: norvale.ini could not be read"}));
        } else {
            EXPECT_EQ(started.result, 0) << "the whole 32-bit result is 0 on refusal";
            // A refused host is asked nothing: its one call is the log line.
            ASSERT_EQ(started.host.Calls().size(), 1u);
            EXPECT_EQ(logs[0].number, 15);
            EXPECT_EQ(logs[0].text, kVersionError);
            EXPECT_EQ(logs[0].fileName, "10") << "first WriteLog argument";
        }
    }
}

TEST(Startup, AsksForBaseDirectoryThenMainWindow) {
    StartedDaemon started(3, 0, std::string("C:\\norvale"));
    std::vector<int32_t> indices;
    for (const auto& call : started.host.CallsOf(Op::QueryValue)) {
        indices.push_back(call.number);
    }
    EXPECT_EQ(indices, (std::vector<int32_t>{8, 6}));
}

// A folder the host names with "?" (letters its code page lacks) is named
// in the log as the reason; the "?" of the extended-length prefix is not.
TEST(Startup, SurvivesMissingEmptyOrUnreadableBaseDirectory) {
    const std::string notRead = "Orbwick: norvale.ini could not be read";
    const std::string codePage = "Orbwick: the server's folder name has characters outside the system's code page";
    const struct {
        const char* name;
        std::optional<std::string> directory;
        std::vector<std::string> lines;
    } rows[] = {
        {"null pointer", std::nullopt, {kLoaded, notRead}},
        {"empty text", std::string(), {kLoaded, notRead}},
        {"letters outside the code page", std::string("C:\\Norvale \x3f\x3f\x3f\\"), {kLoaded, notRead, codePage}},
        {"a relative folder, its first letter outside", std::string("\x3fserver\\"), {kLoaded, notRead, codePage}},
        {"extended-length prefix", std::string("\\\\?\\C:\\no such folder\\"), {kLoaded, notRead}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartedDaemon started(3, 0, row.directory);
        EXPECT_EQ(started.result & 0xFF, 1);
        // No norvale.ini in the current directory either.
        EXPECT_EQ(started.host.LogLines(15), row.lines);
    }
}

// The base directory decides which norvale.ini is read; the worker's first
// ModuleState question shows which modules that file enabled.
std::string FirstModuleAskedFor(const std::optional<std::string>& baseDirectory) {
    RecordingHost host;
    host.SetBaseDirectory(baseDirectory);
    std::string asked;
    {
        DaemonLibrary daemon;
        EXPECT_EQ(daemon.Startup(host.MakeRecord(3, 0)) & 0xFF, 1);
        hostmodel::PumpUntil([&] { return !host.CallsOf(Op::ModuleState).empty(); }, 20000);
        const auto calls = host.CallsOf(Op::ModuleState);
        asked = calls.empty() ? "(none)" : calls.front().text;
        daemon.Closedown();
    }
    // The worker keeps the library mapped until it has seen CLOSEDOWN.
    EXPECT_TRUE(hostmodel::PumpUntil([] { return GetModuleHandleW(L"orbwick.dll") == nullptr; }, 20000));
    return asked;
}

struct ConfigFileAt {
    std::string path;
    ConfigFileAt(const std::string& directory, const char* moduleName) : path(directory + "norvale.ini") {
        const std::string text = std::string("[Protocols]\r\n") + moduleName + "\r\n";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    ~ConfigFileAt() { DeleteFileA(path.c_str()); }
};

TEST(Startup, ReadsNorvaleIniFromTheBaseDirectory) {
    const fixture::TempDirectory folder;
    const std::string& base = folder.Path();  // ends in a backslash
    ConfigFileAt config(base, "NORVALEB");
    const std::string withoutBackslash = base.substr(0, base.size() - 1);
    const struct {
        const char* name;
        std::string directory;
    } rows[] = {
        {"with trailing backslash", base},
        {"without trailing backslash", withoutBackslash},
        // Without path normalisation a doubled backslash would not name the file.
        {"extended-length form with backslash", "\\\\?\\" + base},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FirstModuleAskedFor(row.directory), "NORVALEB");
    }
}

// A missing or empty base directory means the current directory, never the
// root of the drive.
TEST(Startup, MissingBaseDirectoryReadsTheCurrentDirectory) {
    const fixture::TempDirectory folder;
    const std::string& current = folder.Path();
    ConfigFileAt inCurrent(current, "NORVALEP");
    char root[MAX_PATH];
    GetWindowsDirectoryA(root, MAX_PATH);
    ConfigFileAt inRoot(std::string(root, 3), "NORVALEX");  // "C:\"
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(current.c_str());
    const std::optional<std::string> rows[] = {std::nullopt, std::string()};
    for (const auto& row : rows) {
        SCOPED_TRACE(row ? "empty text" : "null pointer");
        EXPECT_EQ(FirstModuleAskedFor(row), "NORVALEP");
    }
    SetCurrentDirectoryA(previous);
}

TEST(Exports, DaemonAndClosedownReturnZeroInEveryState) {
    RecordingHost host;
    host.SetBaseDirectory(std::string());
    DaemonLibrary daemon;
    EXPECT_EQ(daemon.Daemon(), 0) << "before STARTUP";
    EXPECT_EQ(daemon.Startup(host.MakeRecord(2, 19)), 0);
    EXPECT_EQ(daemon.Daemon(), 0) << "after a refused STARTUP";
    EXPECT_EQ(daemon.Closedown(), 0) << "after a refused STARTUP";
    EXPECT_EQ(daemon.Startup(host.MakeRecord(3, 0)) & 0xFF, 1);
    EXPECT_EQ(daemon.Daemon(), 0) << "after an accepted STARTUP";
    EXPECT_EQ(daemon.Closedown(), 0) << "after an accepted STARTUP";
}

}  // namespace
