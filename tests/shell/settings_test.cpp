#include "shell/settings.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
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
TEST(Settings, TheFileLiesInTheProgramsFolderWhenItCanBeWrittenThereElseInTheUsers) {
    const fs::path here = testing::TempDir() + "settings_test." + std::to_string(getpid());
    const fs::path users = here / "config/morvane/morvane.ini";
    const char* pConfigHome = std::getenv("XDG_CONFIG_HOME");
    const std::string strConfigHome = pConfigHome ? pConfigHome : "";
    setenv("XDG_CONFIG_HOME", (here / "config").c_str(), 1);
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
        {tooLong / "tool", users},
        {here / "missing/tool", users},
        {"", users},  // the program's path is unknown
    };
    const fs::path saved = fs::current_path();
    fs::current_path(here);
    for (int i = 0; i < static_cast<int>(std::size(places)); ++i) {
        const auto& [program, file] = places[i];
        SCOPED_TRACE(program);
        platform::SetExecutablePathOverride(program.string());
        EXPECT_TRUE(SaveComPortSetting(i + 1));
        EXPECT_EQ(LoadComPortSetting(), i + 1);
        EXPECT_EQ(Read(file), std::to_string(i + 1));
    }
    fs::current_path(saved);

    // An installed program's folder, and a file the pilot made read-only in a folder that can
    // be written: neither is replaced. Until the user has a file, theirs still names the port;
    // then the user's file takes over. Root may write anywhere, so under root this part runs
    // as nobody, without any group.
    const fs::path installed = here / "bin", writable = here / "own";
    for (const fs::path& folder : {installed, writable}) {
        fs::create_directories(folder);
        std::ofstream(folder / "morvane.ini") << "3";
        fs::permissions(folder / "morvane.ini", fs::perms::owner_read | fs::perms::others_read);
        fs::permissions(folder, fs::perms::all);
    }
    fs::permissions(here / "config", fs::perms::all);
    fs::permissions(installed,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    for (const fs::path& folder : {installed, writable}) {
        SCOPED_TRACE(folder);
        fs::remove_all(users.parent_path());  // made by this user; nobody must make it anew
        platform::SetExecutablePathOverride((folder / "morvane-gyro-tools").string());
        EXPECT_EXIT(
            {
                if (geteuid() == 0 &&
                    (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                    std::_Exit(2);
                const bool bFallsBack =
                    LoadComPortSetting() == 3 && SaveComPortSetting(7) && LoadComPortSetting() == 7;
                std::_Exit(bFallsBack ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
        EXPECT_EQ(Read(users), "7");
        EXPECT_EQ(Read(folder / "morvane.ini"), "3");
    }

    // A save that cannot be written whole (no room under the file-size limit) keeps the file.
    EXPECT_EXIT(
        {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::_Exit(SaveComPortSetting(8) ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(Read(users), "7");
    EXPECT_EQ(std::distance(fs::directory_iterator(users.parent_path()), {}), 1);
    fs::permissions(installed, fs::perms::all);
    if (pConfigHome)
        setenv("XDG_CONFIG_HOME", strConfigHome.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
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
