// The daemon's exports and start-up rules, seen as a host sees them: the built
// orbwick.dll loaded with LoadLibrary and driven through a recording host.

#include <gtest/gtest.h>

#include <windows.h>

#include "test_host.h"

using testhost::DaemonLibrary;
using testhost::Op;
using testhost::RecordingHost;

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
    wchar_t* product = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(product, L"Orbwick");
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
            EXPECT_EQ(started.host.LogLines(15), std::vector<std::string>{kLoaded});
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

TEST(Startup, SurvivesMissingOrEmptyBaseDirectory) {
    const std::optional<std::string> rows[] = {std::nullopt, std::string()};
    for (const auto& row : rows) {
        SCOPED_TRACE(row ? "empty text" : "null pointer");
        StartedDaemon started(3, 0, row);
        EXPECT_EQ(started.result & 0xFF, 1);
        EXPECT_EQ(started.host.LogLines(15), std::vector<std::string>{kLoaded});
    }
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
