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

std::string Read(const fs::path& file) {
    return {std::istreambuf_iterator<char>(std::ifstream(file).rdbuf()), {}};
}

// What a load makes of any content is for the settings fuzz target to check.
TEST(Settings, TheFileLiesInTheProgramsFolderWhenThatPathCanBeOpened) {
    const fs::path here = testing::TempDir() + "settings_test." + std::to_string(getpid());
    // Folders whose "<folder>/morvane.ini" is 259 and 260 characters long.
    const fs::path fits = (here.string() + '/' + std::string(259, 'f')).substr(0, 259 - 12);
    const fs::path tooLong = fits.string() + "l";
    for (const fs::path& folder : {here / "a\\b", fits, tooLong})
        fs::create_directories(folder);
    std::ofstream(here / "morvane.ini")
        << "99999999999 old content";  // a save writes the number alone
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
    fs::current_path(here);
    for (int i = 0; i < static_cast<int>(std::size(places)); ++i) {
        const auto& [program, file] = places[i];
        SCOPED_TRACE(program);
        platform::SetExecutablePathOverride(program.string());
        EXPECT_EQ(SaveComPortSetting(i + 1), !file.empty());
        EXPECT_EQ(LoadComPortSetting(), file.empty() ? 0 : i + 1);
        EXPECT_EQ(Read(file), file.empty() ? "" : std::to_string(i + 1));
    }
    fs::current_path(saved);
    fs::remove_all(here);

    // Without the override: the running program's own path, never cut.
    platform::SetExecutablePathOverride(std::nullopt);
    char szPath[platform::MAX_FILE_PATH];
    const uint32_t nLength = platform::GetExecutablePath(szPath, platform::MAX_FILE_PATH);
    EXPECT_EQ(std::string(szPath), fs::canonical("/proc/self/exe").string());
    EXPECT_EQ(nLength, std::strlen(szPath));
    EXPECT_EQ(platform::GetExecutablePath(szPath, nLength), 0u);  // no room for the terminator
    EXPECT_EQ(szPath[0], '\0');
}

}  // namespace
