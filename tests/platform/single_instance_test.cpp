#include "platform/single_instance.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::SingleInstance;

TEST(SingleInstance, ASecondCopyReachesTheFirstWhichHearsItOnce) {
    const std::string strFolder = "/opt/test-" + std::to_string(getpid());
    auto pFirst = std::make_unique<SingleInstance>(strFolder + "/morvane-gyro-tools");
    ASSERT_TRUE(pFirst->IsFirst());
    EXPECT_EQ(pFirst->Problem(), "");
    EXPECT_FALSE(pFirst->TakeActivation());
    // The handheld's backslashes name the same lock; another executable is another program.
    SingleInstance second("\\opt\\test-" + std::to_string(getpid()) + "\\morvane-gyro-tools");
    EXPECT_FALSE(second.IsFirst());
    EXPECT_TRUE(SingleInstance(strFolder + "/copy-elsewhere").IsFirst());

    EXPECT_TRUE(second.ActivateRunningCopy(1, 0));
    EXPECT_TRUE(pFirst->TakeActivation());
    EXPECT_FALSE(pFirst->TakeActivation());
    // When the first copy ends, a copy that never got through gives up after its tries, and
    // the next start is first again.
    pFirst.reset();
    EXPECT_FALSE(second.ActivateRunningCopy(3, 1));
    EXPECT_TRUE(SingleInstance(strFolder + "/copy-elsewhere").IsFirst());
}

// What another local user may plant where the lock belongs: the program is first all the same,
// says why it runs without the lock, and follows no link. Checked as an ordinary user without
// any group (root's test becomes nobody in a child of its own).
TEST(SingleInstance, ALockThatCannotBeTakenIsNoOtherCopy) {
    const bool bRoot = geteuid() == 0;
    const uid_t nUser = bRoot ? 65534 : geteuid();
    const std::string strProgram = "/opt/planted/morvane-gyro-tools";
    const fs::path folder = testing::TempDir() + "morvane-lock-" + std::to_string(getpid());
    const fs::path lock = folder / ("morvane-gyro-tools-" + std::to_string(nUser) + "-" +
                                    std::to_string(std::hash<std::string>{}(strProgram)) + ".lock");
    const struct {
        const char* pszPlanted;
        bool bRootOnly;  // only root can leave a file of another user
        std::function<void()> plant;
        const char* pszProblem;
    } cases[] = {
        {"a link to a file elsewhere", false, [&] { fs::create_symlink(folder / "target", lock); },
         ".lock: Too many levels of symbolic links"},
        {"a file that cannot be opened", false,
         [&] {
             std::ofstream(lock) << "";
             fs::permissions(lock, fs::perms::none);
         },
         ".lock: Permission denied"},
        {"a file of another user, open to all", true,
         [&] {
             std::ofstream(lock) << "";
             fs::permissions(lock, fs::perms::all);
         },
         ".lock: not a file of this user's own"},
        {"a folder others may write to", false, [&] { fs::permissions(folder, fs::perms::all); },
         "-[0-9]+: not a folder of this user alone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszPlanted);
        if (c.bRootOnly && !bRoot)
            continue;
        fs::remove_all(folder);
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_all);
        c.plant();
        // Root's planted files stay root's; the folder becomes the user's.
        if (bRoot) {
            ASSERT_EQ(lchown(folder.c_str(), nUser, nUser), 0);
        }
        EXPECT_EXIT(
            {
                if (bRoot &&
                    (setgroups(0, nullptr) != 0 || setgid(nUser) != 0 || setuid(nUser) != 0))
                    std::_Exit(2);
                setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
                const SingleInstance instance(strProgram);
                std::fputs(instance.Problem().c_str(), stderr);
                std::_Exit(instance.IsFirst() && instance.ActivationFd() < 0 ? 0 : 1);
            },
            testing::ExitedWithCode(0), c.pszProblem);
        EXPECT_FALSE(fs::exists(folder / "target"));
    }
    fs::remove_all(folder);
}

}  // namespace
