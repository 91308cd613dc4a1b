#include "shell/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

// Each test has its own program folder, named through the executable-path override. What a
// load makes of any content is for the settings fuzz target to check.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(m_folder); }
    void TearDown() override {
        platform::SetExecutablePathOverride(std::nullopt);
        fs::remove_all(m_folder);
    }

    static void UseProgram(const fs::path& p) { platform::SetExecutablePathOverride(p.string()); }
    static void Write(const fs::path& file, const std::string& str) { std::ofstream(file) << str; }
    static std::string Read(const fs::path& file) {
        return {std::istreambuf_iterator<char>(std::ifstream(file).rdbuf()), {}};
    }

    const fs::path m_folder = testing::TempDir() + "settings_test." + std::to_string(getpid());
};

TEST_F(SettingsTest, TheFileLiesInTheProgramsFolderWhenThatPathCanBeOpened) {
    // Folders whose "<folder>/morvane.ini" is 259 and 260 characters long.
    const fs::path fits = (m_folder.string() + '/' + std::string(259, 'f')).substr(0, 259 - 12);
    const fs::path tooLong = fits.string() + "l", here = m_folder;
    for (const fs::path& folder : {here / "a\\b", fits, tooLong})
        fs::create_directories(folder);
    Write(tooLong / "morvane.ini", "2");
    Write(here / "morvane.ini", "99999999999 old content");  // a save writes the number alone
    // On Linux '/' separates; the handheld's '\' counts too, whichever comes last. Without
    // either: the bare file name, in the current folder.
    const std::pair<fs::path, fs::path> places[] = {
        {here / "a\\b/tool", here / "a\\b/morvane.ini"},
        {here / "x\\tool.exe", here / "x\\morvane.ini"},
        {"tool", here / "morvane.ini"},
        {fits / "tool", fits / "morvane.ini"},
        {tooLong / "tool", ""},
        {here / "missing/tool", ""},
        {"", ""},  // the program's path is unknown
    };
    const fs::path saved = fs::current_path();
    fs::current_path(m_folder);
    for (int i = 0; i < static_cast<int>(std::size(places)); ++i) {
        const auto& [program, file] = places[i];
        UseProgram(program);
        EXPECT_EQ(SaveComPortSetting(i + 1), !file.empty()) << program;
        EXPECT_EQ(LoadComPortSetting(), file.empty() ? 0 : i + 1) << program;
        EXPECT_EQ(Read(file), file.empty() ? "" : std::to_string(i + 1)) << program;
    }
    fs::current_path(saved);
    EXPECT_EQ(Read(tooLong / "morvane.ini"), "2");
}

TEST(ExecutablePath, IsTheRunningProgramsOwnAndNeverCut) {
    char szPath[platform::MAX_FILE_PATH];
    const uint32_t nLength = platform::GetExecutablePath(szPath, platform::MAX_FILE_PATH);
    EXPECT_EQ(std::string(szPath), fs::canonical("/proc/self/exe").string());
    EXPECT_EQ(nLength, std::strlen(szPath));
    EXPECT_EQ(platform::GetExecutablePath(szPath, nLength), 0u);  // no room for the terminator
    EXPECT_EQ(szPath[0], '\0');
}

}  // namespace
