// The stand-in host's command line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_options.h"

namespace {

TEST(HostOptions, ParsesEveryOption) {
    HostOptions options;
    std::wstring error;
    const std::vector<std::wstring> args = {L"--base-dir",      L"C:\\base",
                                            L"--host-version",  L"2.19",
                                            L"--modules",       L"spd",
                                            L"--late",          L"d=700",
                                            L"--never",         L"X",
                                            L"--restart",       L"p=900",
                                            L"--run-ms",        L"5000",
                                            L"--commands",      L"100:1097,50:1099",
                                            L"--open-menu",     L"300",
                                            L"--screenshot",    L"a.png",
                                            L"--screenshot-ms", L"900",
                                            L"--after-menu",    L"4000",
                                            L"--merge-fails",   L"--auto-close-boxes",
                                            L"--log",           L"l.txt",
                                            L"--state",         L"s.txt",
                                            L"--daemon",        L"a.dll",
                                            L"--daemon",        L"b.dll"};
    ASSERT_TRUE(ParseHostOptions(args, options, error)) << std::string(error.begin(), error.end());
    EXPECT_EQ(options.baseDir, L"C:\\base");
    EXPECT_EQ(options.majorVersion, 2);
    EXPECT_EQ(options.minorVersion, 19);
    ASSERT_TRUE(options.modules.has_value());
    EXPECT_EQ(*options.modules, "SPD");
    ASSERT_EQ(options.late.size(), 1u);
    EXPECT_EQ(options.late[0].letter, 'D');
    EXPECT_EQ(options.late[0].delayMs, 700u);
    EXPECT_EQ(options.never, "X");
    ASSERT_EQ(options.restarts.size(), 1u);
    EXPECT_EQ(options.restarts[0].letter, 'P');
    EXPECT_EQ(options.restarts[0].atMs, 900u);
    EXPECT_EQ(options.runMs, 5000u);
    ASSERT_EQ(options.commands.size(), 2u);
    EXPECT_EQ(options.commands[0].atMs, 100u);
    EXPECT_EQ(options.commands[0].commandId, 1097u);
    EXPECT_EQ(options.commands[1].atMs, 50u);
    EXPECT_EQ(options.commands[1].commandId, 1099u);
    EXPECT_EQ(options.openMenuMs.value_or(0), 300u);
    EXPECT_EQ(options.screenshot, L"a.png");
    EXPECT_EQ(options.screenshotMs.value_or(0), 900u);
    EXPECT_EQ(options.afterMenuTimeoutMs.value_or(0), 4000u);
    EXPECT_TRUE(options.mergeFails);
    EXPECT_TRUE(options.autoCloseBoxes);
    EXPECT_EQ(options.logFile, L"l.txt");
    EXPECT_EQ(options.stateFile, L"s.txt");
    EXPECT_EQ(options.daemons, (std::vector<std::wstring>{L"a.dll", L"b.dll"}));
    EXPECT_FALSE(options.version);
}

// --version asks for norvhost's own version; it takes no value.
TEST(HostOptions, VersionIsAFlag) {
    HostOptions options;
    std::wstring error;
    ASSERT_TRUE(ParseHostOptions({L"--version", L"--run-ms", L"5"}, options, error));
    EXPECT_TRUE(options.version);
    EXPECT_EQ(options.runMs, 5u);
    EXPECT_EQ(options.majorVersion, 4);
}

TEST(HostOptions, DefaultsWithoutArguments) {
    HostOptions options;
    std::wstring error;
    ASSERT_TRUE(ParseHostOptions({}, options, error));
    EXPECT_EQ(options.majorVersion, 4);
    EXPECT_EQ(options.minorVersion, 70);
    EXPECT_FALSE(options.modules.has_value());
    EXPECT_EQ(options.runMs, 0u);
    EXPECT_TRUE(options.daemons.empty());
    EXPECT_FALSE(options.mergeFails);
}

TEST(HostOptions, RejectsMalformedArguments) {
    const std::vector<std::vector<std::wstring>> rows = {
        {L"--bogus"},
        {L"--run-ms"},
        {L"--run-ms", L"12x"},
        {L"--run-ms", L"-5"},
        {L"--host-version", L"4"},
        {L"--host-version", L"4.256"},
        {L"--host-version", L"a.b"},
        {L"--modules", L"SPZ"},
        {L"--never", L"1"},
        {L"--late", L"D700"},
        {L"--late", L"Q=700"},
        {L"--late", L"D="},
        {L"--restart", L"Q=700"},
        {L"--restart", L"P=7s"},
        {L"--commands", L"100"},
        {L"--commands", L"100:1099,"},
        {L"--commands", L"100:70000"},
        {L"--base-dir", L""},
    };
    for (const auto& args : rows) {
        std::wstring joined;
        for (const auto& arg : args) {
            joined += arg + L" ";
        }
        SCOPED_TRACE(std::string(joined.begin(), joined.end()));
        HostOptions options;
        std::wstring error;
        EXPECT_FALSE(ParseHostOptions(args, options, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(HostOptions, UsageNamesEveryOption) {
    const std::wstring usage = HostUsageText();
    for (const wchar_t* option :
         {L"--base-dir", L"--host-version", L"--version", L"--modules", L"--late", L"--restart", L"--never",
          L"--daemon", L"--run-ms", L"--commands", L"--open-menu", L"--screenshot", L"--screenshot-ms", L"--after-menu",
          L"--merge-fails", L"--auto-close-boxes", L"--log", L"--state"}) {
        SCOPED_TRACE(std::string(option, option + wcslen(option)));
        EXPECT_NE(usage.find(option), std::wstring::npos);
    }
}

}  // namespace
