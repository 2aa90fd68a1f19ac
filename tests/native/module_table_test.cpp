// The module table and the host version rules: pure data, checked natively.

#include <gtest/gtest.h>

#include <set>

#include "host_version.h"
#include "module_table.h"

namespace {

TEST(ModuleTable, EveryModuleHasLetterNameAndCommand) {
    const char letters[] = "SPECDHFWXIB";
    std::set<std::string> names;
    for (int i = 0; i < kModuleCount; ++i) {
        SCOPED_TRACE(testing::Message() << "module " << i);
        EXPECT_EQ(ModuleLetter(i), letters[i]);
        const std::string name = HostModuleName(i);
        EXPECT_EQ(name.size(), 8u);
        EXPECT_EQ(name, std::string("NORVALE") + letters[i]);
        names.insert(name);
        EXPECT_EQ(ModuleCommand(i), 1000u + static_cast<unsigned>(i));
        EXPECT_EQ(SlotOfCommand(ModuleCommand(i)), i);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(kModuleCount));
}

TEST(ModuleTable, OnlyModuleAndCoreCommandsDesignateAnEntry) {
    EXPECT_EQ(SlotOfCommand(1090), kCoreSlot);
    for (unsigned command : {0u, 999u, 1011u, 1089u, 1091u, 1097u, 1098u, 1099u, 0x10000u + 1000u}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(SlotOfCommand(command), kNoSlot);
    }
}

TEST(ModuleTable, RecognitionByClassUnderBothFlags) {
    const struct {
        const wchar_t* className;
        int oldHostSlot;
        int newHostSlot;
    } rows[] = {
        {L"mdlg_core", kCoreSlot, kNoSlot},
        {L"mdlg_msc", 0, kNoSlot},
        {L"mdlg_mpp", 1, kNoSlot},
        {L"mdlg_mce", 2, 2},
        {L"mdlg_mcc", 3, 3},
        {L"mdlg_dpc", 4, 4},
        {L"mdlg_mhc", 5, 5},
        {L"mdlg_mdf", 6, 6},
        {L"mdlg_mdw", 7, 7},
        {L"mdlg_xpc", 8, 8},
        {L"mdlg_mis", 9, 9},
        {L"mdlg_mbs", 10, 10},
        {L"MDLG_MCE", kNoSlot, kNoSlot},
        {L"mdlg_mce ", kNoSlot, kNoSlot},
        {L"mdlg_mc", kNoSlot, kNoSlot},
        {L"NVLMDICHILD", kNoSlot, kNoSlot},
        {L"", kNoSlot, kNoSlot},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "class of length " << std::wstring_view(row.className).size());
        EXPECT_EQ(SlotOfClassName(row.className, false), row.oldHostSlot);
        EXPECT_EQ(SlotOfClassName(row.className, true), row.newHostSlot);
    }
}

TEST(ModuleTable, RecognitionByTitleOnlyOnNewHosts) {
    const struct {
        const wchar_t* title;
        int newHostSlot;
    } rows[] = {
        {L"Norvale SMTP Server", 0},
        {L"Norvale POP3 Server", 1},
        {L"Norvale Core Process", kCoreSlot},
        {L"norvale SMTP Server", kNoSlot},
        {L"Norvale SMTP Server ", kNoSlot},
        {L"System Messages", kNoSlot},
        {L"", kNoSlot},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "title #" << (&row - rows));
        EXPECT_EQ(SlotOfMdiChildTitle(row.title, true), row.newHostSlot);
        EXPECT_EQ(SlotOfMdiChildTitle(row.title, false), kNoSlot);
    }
}

TEST(HostVersion, GateAndNewHostFlag) {
    const struct {
        uint8_t major, minor;
        bool supported, newHost;
    } rows[] = {
        {0, 0, false, false},  {1, 99, false, false}, {2, 19, false, false}, {2, 20, true, false},
        {2, 255, true, false}, {3, 0, true, false},   {4, 0, true, false},   {4, 60, true, false},
        {4, 61, true, true},   {4, 255, true, true},  {5, 0, true, false},   {5, 61, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << int(row.major) << "." << int(row.minor));
        EXPECT_EQ(IsSupportedHostVersion(row.major, row.minor), row.supported);
        EXPECT_EQ(IsNewHostVersion(row.major, row.minor), row.newHost);
    }
}

}  // namespace
