// LoadConfigFile on real files: opening failures, appending, large files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "internal/config_reader.h"
#include "entry_rows.h"

namespace {

namespace fs = std::filesystem;

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        directory_ = fs::temp_directory_path() / ("cfgfile_test_" + std::to_string(random()));
        fs::create_directories(directory_);
    }
    void TearDown() override {
        ListClear(list_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = directory_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path directory_;
    ConfigList list_ = ListNew();
};

TEST_F(ConfigFile, UnreadableFilesLeaveTheListAsItWas) {
    LoadConfigText("[S]\nkept=1\n", list_, '=');
    const std::vector<EntryRow> before = RowsOf(list_);
    const struct {
        const char* Name;
        std::string Path;
    } rows[] = {
        {"missing file", (directory_ / "missing.ini").string()},
        {"empty file", Write("empty.ini", "")},
        {"comments only", Write("comments.ini", "# a=1\r\n; b=2\r\n\r\n[Protocols]\r\n")},
        {"a directory", directory_.string()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        LoadConfigFile(row.Path, list_, '=');
        EXPECT_EQ(RowsOf(list_), before);
    }
}

TEST_F(ConfigFile, AppendsFileEntriesInOrder) {
    LoadConfigText("first=0\n", list_, '=');
    LoadConfigFile(Write("norvale.ini", "[Protocols]\r\nNORVALES=1\r\nNORVALEP=2\r\n"), list_, '\0');
    const std::vector<EntryRow> expected = {
        {"", "first", "0"}, {"Protocols", "NORVALES", "1"}, {"Protocols", "NORVALEP", "2"}};
    EXPECT_EQ(RowsOf(list_), expected);
}

// About 10 MB: lines cross every read boundary, including CR LF pairs split
// between two reads; every entry must come back, in order, exactly once.
TEST_F(ConfigFile, ReadsLargeFileWhole) {
    constexpr int kLines = 110000;
    std::string bytes;
    bytes.reserve(std::size_t{kLines} * 96);
    for (int i = 0; i < kLines; ++i) {
        if (i % 1000 == 0)
            bytes += "[Part" + std::to_string(i / 1000) + "]\r\n";
        bytes += "key" + std::to_string(i) + " = value" + std::to_string(i) +
                 " ; padding padding padding padding padding padding padding padding padding\r\n";
    }
    ASSERT_GT(bytes.size(), 10u * 1000 * 1000);
    LoadConfigFile(Write("large.ini", bytes), list_, '=');

    int index = 0;
    for (const ConfigEntry* entry = list_; entry != nullptr; entry = entry->Next, ++index) {
        if (entry->Key.View() != "key" + std::to_string(index) ||
            entry->Value.View() != "value" + std::to_string(index) ||
            entry->Section.View() != "Part" + std::to_string(index / 1000)) {
            ADD_FAILURE() << "entry " << index << " is " << RowsOf(entry).front();
            break;
        }
    }
    EXPECT_EQ(index, kLines);
}

// ReadConfigSections: a file it cannot read gives empty texts; a file of
// many pieces gives each requested section whole, however its lines fall on
// the pieces, and nothing of the others.
TEST_F(ConfigFile, ReadsRequestedSectionsOfFiles) {
    std::string bytes;
    std::string expected[2];
    for (int i = 0; i < 30000; ++i) {
        if (i % 1000 == 0)
            bytes +=
                "[" + std::string(i / 1000 % 2 ? "hiddenwindows" : "Part") + std::to_string(i / 1000 % 3) + "]\r\n";
        const std::string key = "key" + std::to_string(i);
        bytes += key + " = value ; padding padding padding\r\n";
        if (i / 1000 % 6 == 1)
            expected[0] += key + "\r\n";
        if (i / 1000 % 6 == 0)
            expected[1] += key + " value\r\n";
    }
    const std::string path = Write("large.ini", bytes);
    SectionRequest sections[] = {{"HIDDENWINDOWS1", {}}, {"Part0", {}}};
    EXPECT_TRUE(ReadConfigSections(path, '=', false, sections, 1));
    EXPECT_EQ(sections[0].Text, AnsiToUtf16(expected[0]));
    EXPECT_TRUE(ReadConfigSections(path, '\0', true, sections + 1, 1));
    EXPECT_EQ(sections[1].Text, AnsiToUtf16(expected[1]));

    for (const std::string& unreadable : {(directory_ / "missing.ini").string(), directory_.string()}) {
        EXPECT_FALSE(ReadConfigSections(unreadable, '=', true, sections, 2)) << unreadable << " counts as read";
        EXPECT_TRUE(sections[0].Text.empty() && sections[1].Text.empty()) << unreadable;
    }
}

}  // namespace
