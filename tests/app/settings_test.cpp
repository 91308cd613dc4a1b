#include "app/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

// Each test has its own program folder, named through the executable-path override.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        UseProgram(m_folder / "morvane-gyro-tools");
    }
    void TearDown() override {
        platform::SetExecutablePathOverride(std::nullopt);
        fs::remove_all(m_folder);
    }

    static void UseProgram(const fs::path& program) {
        platform::SetExecutablePathOverride(program.string());
    }
    static void WriteFile(const fs::path& file, const std::string& strBytes) {
        std::ofstream(file, std::ios::binary) << strBytes;
    }
    static std::string ReadFile(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    const fs::path m_folder =
        fs::path(testing::TempDir()) / ("settings_test." + std::to_string(getpid()));
    const fs::path m_file = m_folder / "morvane.ini";
};

TEST_F(SettingsTest, SaveWritesTheNumberAloneOverAnyOldContent) {
    const std::pair<int, std::string> cases[] = {
        {1, "1"}, {0, "0"}, {-1, "-1"}, {123456, "123456"}, {INT_MIN, "-2147483648"}};
    for (const auto& [nPort, strText] : cases) {
        WriteFile(m_file, "99999999 old content");
        EXPECT_TRUE(SaveComPortSetting(nPort));
        EXPECT_EQ(ReadFile(m_file), strText) << nPort;
    }
    fs::remove(m_file);
    EXPECT_TRUE(SaveComPortSetting(3));  // created on the first run
    EXPECT_EQ(ReadFile(m_file), "3");
}

TEST_F(SettingsTest, LoadTakesOnlyAllDigitTextInTheFirstFourBytes) {
    // The text ends at a zero byte: what follows it is not looked at.
    const std::pair<std::string, int> numbers[] = {
        {"1", 1}, {"0005", 5}, {"12345", 1234}, {"1234x", 1234}, {{"5\0z9", 4}, 5}};
    for (const auto& [strBytes, nExpected] : numbers) {
        WriteFile(m_file, strBytes);
        EXPECT_EQ(LoadComPortSetting(), nExpected) << '"' << strBytes << '"';
    }
    // Nothing stored: no digits, a sign (the -1 of an empty port list), space, line ends, bytes
    // that are no digits.
    for (const char* pBytes : {"", "0", "-1", "+5", " 5", "5 ", "5\n", "3\r\n", "12a4", "\xB3"}) {
        WriteFile(m_file, pBytes);
        EXPECT_EQ(LoadComPortSetting(), 0) << '"' << pBytes << '"';
    }
    fs::remove(m_file);
    EXPECT_EQ(LoadComPortSetting(), 0);
}

TEST_F(SettingsTest, TheFileLiesInTheFolderUpToTheLastSeparator) {
    // On Linux '/' separates; the handheld's '\' counts too, whichever comes last.
    fs::create_directories(m_folder / "a\\b");
    UseProgram(m_folder / "a\\b" / "tool");
    EXPECT_TRUE(SaveComPortSetting(4));
    EXPECT_EQ(ReadFile(m_folder / "a\\b" / "morvane.ini"), "4");
    UseProgram(m_folder.string() + "/x\\tool.exe");
    EXPECT_TRUE(SaveComPortSetting(6));
    EXPECT_EQ(ReadFile(m_folder / "x\\morvane.ini"), "6");
    EXPECT_FALSE(fs::exists(m_file));

    // No separator at all: the bare file name, in the current folder.
    const fs::path saved = fs::current_path();
    fs::current_path(m_folder);
    UseProgram("tool");
    EXPECT_TRUE(SaveComPortSetting(7));
    EXPECT_EQ(LoadComPortSetting(), 7);
    fs::current_path(saved);
    EXPECT_EQ(ReadFile(m_file), "7");
}

TEST_F(SettingsTest, PathsLongerThan259CharactersCannotBeOpened) {
    // Folders whose "<folder>/morvane.ini" is 259 and 260 characters long.
    const std::string strBase = m_folder.string() + "/";
    const size_t nPad = 259 - strBase.size() - std::string("/morvane.ini").size();
    ASSERT_LT(nPad, 250u);  // one folder name holds it
    const fs::path fits = strBase + std::string(nPad, 'f');
    const fs::path tooLong = strBase + std::string(nPad + 1, 'l');
    fs::create_directories(fits);
    fs::create_directories(tooLong);

    UseProgram(fits / "tool");
    EXPECT_TRUE(SaveComPortSetting(2));
    EXPECT_EQ(LoadComPortSetting(), 2);

    UseProgram(tooLong / "tool");
    EXPECT_FALSE(SaveComPortSetting(2));
    EXPECT_FALSE(fs::exists(tooLong / "morvane.ini"));
    WriteFile(tooLong / "morvane.ini", "2");
    EXPECT_EQ(LoadComPortSetting(), 0);
}

TEST_F(SettingsTest, AFolderThatCannotBeWrittenOrAnUnknownProgramPathStoresNothing) {
    for (const std::string& strProgram :
         {(m_folder / "missing" / "tool").string(), std::string()}) {
        UseProgram(strProgram);
        EXPECT_FALSE(SaveComPortSetting(1)) << strProgram;
        EXPECT_EQ(LoadComPortSetting(), 0) << strProgram;
    }
}

TEST(ExecutablePath, IsTheRunningProgramsOwnAndNeverCut) {
    platform::SetExecutablePathOverride(std::nullopt);
    char szPath[platform::MAX_FILE_PATH];
    const uint32_t nLength = platform::GetExecutablePath(szPath, platform::MAX_FILE_PATH);
    EXPECT_EQ(std::string(szPath), fs::canonical("/proc/self/exe").string());
    EXPECT_EQ(nLength, std::strlen(szPath));
    EXPECT_EQ(platform::GetExecutablePath(szPath, nLength), 0u);  // no room for the terminator
    EXPECT_EQ(szPath[0], '\0');
}

}  // namespace
