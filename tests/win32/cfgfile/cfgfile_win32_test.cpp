// The Windows side of the configuration reader, driven through its own API:
// conversions in the ANSI code page 1252, CharUpperBuffW's upper-casing, and
// CreateFileW's sharing rule (other readers allowed, writers refused).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "cfgfile.h"
#include "internal/config_reader.h"

namespace {

struct EntryRow {
    std::string Section, Key, Value;
    bool operator==(const EntryRow& other) const {
        return Section == other.Section && Key == other.Key && Value == other.Value;
    }
};

std::vector<EntryRow> RowsOf(const ConfigEntry* list) {
    std::vector<EntryRow> rows;
    for (; list != nullptr; list = list->Next)
        rows.push_back(
            {std::string(list->Section.View()), std::string(list->Key.View()), std::string(list->Value.View())});
    return rows;
}

// The 8-bit texts of these tests are in code page 1252, the one Wine gives
// for the test environment's locale. Anywhere else they mean other letters.
bool AnsiCodePageIs1252() { return GetACP() == 1252; }

TEST(Win32Text, ConvertsInCodePage1252) {
    if (!AnsiCodePageIs1252())
        GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 1252";
    const struct {
        const char* Name;
        std::string Ansi;
        std::wstring Wide;
    } rows[] = {
        {"ASCII", "Protocols", L"Protocols"},       {"e-acute", "r\xE9seau", L"r\u00E9seau"},
        {"euro sign at 0x80", "\x80", L"\u20AC"},   {"Y-diaeresis at 0x9F", "\x9F", L"\u0178"},
        {"y-diaeresis at 0xFF", "\xFF", L"\u00FF"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(AnsiToUtf16(row.Ansi), row.Wide);
        EXPECT_EQ(Utf16ToAnsi(row.Wide), row.Ansi);
    }
    EXPECT_EQ(Utf16ToAnsi(L"a\u4E2Db"), "a?b");
}

TEST(Win32Text, UpperCasesByTheLocale) {
    const struct {
        const char* Name;
        std::wstring Text;
        std::wstring Expected;
    } rows[] = {
        {"empty", L"", L""},
        {"ASCII", L"HiddenWindows 1", L"HIDDENWINDOWS 1"},
        {"e-acute", L"r\u00E9seau", L"R\u00C9SEAU"},
        {"y-diaeresis", L"\u00FF", L"\u0178"},
        {"beyond Latin-1", L"\u0101\u03B1", L"\u0100\u0391"},
        {"sharp s is not expanded", L"stra\u00DFe", L"STRA\u00DFE"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(UpperCaseText(row.Text), row.Expected);
    }
}

class Win32ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        ASSERT_GT(length, 0u);
        directory_ = std::wstring(temp, length) + L"cfgfile_win32_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(directory_.c_str(), nullptr);
    }
    void TearDown() override {
        ListClear(list_);
        for (const std::wstring& path : written_) DeleteFileW(path.c_str());
        RemoveDirectoryW(directory_.c_str());
    }
    // Writes bytes to a new file in the test directory; returns its wide path.
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        std::wstring path = directory_ + L"\\" + name;
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(file);
        written_.push_back(path);
        return path;
    }
    static HANDLE OpenBy(const std::wstring& path, DWORD access, DWORD share) {
        return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::wstring directory_;
    std::vector<std::wstring> written_;
    ConfigList list_ = ListNew();
};

const char kNorvaleIni[] = "[Protocols]\r\nNORVALES=smtp.dll\r\n";
const std::vector<EntryRow> kNorvaleRows = {{"Protocols", "NORVALES", "smtp.dll"}};

TEST_F(Win32ConfigFile, FileHeldOpenForWritingIsNotRead) {
    const std::wstring path = Write(L"norvale.ini", kNorvaleIni);
    LoadConfigText("kept=1\n", list_, '=');
    const std::vector<EntryRow> before = RowsOf(list_);

    LoadConfigFile(Utf16ToAnsi(directory_ + L"\\missing.ini"), list_, '=');
    EXPECT_EQ(RowsOf(list_), before) << "a missing file changed the list";

    HANDLE writer = OpenBy(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    LoadConfigFile(Utf16ToAnsi(path), list_, '=');
    EXPECT_EQ(RowsOf(list_), before) << "read although another holds it open for writing";
    CloseHandle(writer);

    std::vector<EntryRow> after = before;
    after.insert(after.end(), kNorvaleRows.begin(), kNorvaleRows.end());
    LoadConfigFile(Utf16ToAnsi(path), list_, '=');
    EXPECT_EQ(RowsOf(list_), after) << "not read once the writer has closed it";
}

TEST_F(Win32ConfigFile, FileHeldOpenForReadingIsRead) {
    const std::wstring path = Write(L"norvale.ini", kNorvaleIni);
    HANDLE reader = OpenBy(path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    LoadConfigFile(Utf16ToAnsi(path), list_, '=');
    CloseHandle(reader);
    EXPECT_EQ(RowsOf(list_), kNorvaleRows);
}

// The 8-bit file name reaches CreateFileW through the ANSI code page, and the
// section names match by the locale's upper-casing.
TEST_F(Win32ConfigFile, EightBitNamesAndSections) {
    if (!AnsiCodePageIs1252())
        GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 1252";
    const std::wstring path = Write(L"r\u00E9seau.ini", "[R\xE9seau]\r\nServeur = \xE9t\xE9\r\n\x80=1\r\n");
    const std::string ansiPath = Utf16ToAnsi(path);
    ASSERT_NE(ansiPath.find('\xE9'), std::string::npos);
    LoadConfigFile(ansiPath, list_, '=');
    EXPECT_EQ(CollectSection("R\xC9SEAU", list_, true), L"Serveur \u00E9t\u00E9\r\n\u20AC 1\r\n");
}

// The section reader on Windows: the same sharing rule; 8-bit section names
// matched by CharUpperBuffW; ASCII names compared without building texts,
// which relies on the code page and the upper-casing leaving every byte below
// 0x80 ASCII and mapping exactly a-z to capitals among them.
TEST_F(Win32ConfigFile, SectionReaderSharingAndNames) {
    for (int code = 0; code < 0x80; ++code) {
        const char c = static_cast<char>(code);
        const wchar_t upper = c >= 'a' && c <= 'z' ? static_cast<wchar_t>(c - 'a' + 'A') : static_cast<wchar_t>(c);
        EXPECT_EQ(UpperCaseText(AnsiToUtf16(std::string(1, c))), std::wstring(1, upper)) << "code " << code;
    }
    std::wstring appended = L"ab";
    AppendAnsiAsUtf16(appended, "c\xE9\x80");
    EXPECT_EQ(appended, L"ab" + AnsiToUtf16("c\xE9\x80"));

    const std::wstring path = Write(L"norvale.ini", "[protocols]\r\nNORVALES\r\n[R\xE9seau]\r\n\xE9t\xE9=1\r\n");
    SectionRequest sections[] = {{"PROTOCOLS", {}}, {"R\xC9SEAU", {}}};
    HANDLE writer = OpenBy(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReadConfigSections(Utf16ToAnsi(path), '#', false, sections, 2));
    EXPECT_TRUE(sections[0].Text.empty()) << "read although another holds it open for writing";
    CloseHandle(writer);

    EXPECT_TRUE(ReadConfigSections(Utf16ToAnsi(path), '#', false, sections, 2));
    EXPECT_EQ(sections[0].Text, L"NORVALES\r\n");
    if (AnsiCodePageIs1252()) {
        EXPECT_EQ(sections[1].Text, L"\u00E9t\u00E9=1\r\n");
    }
}

}  // namespace
