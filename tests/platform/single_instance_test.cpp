#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace {

std::string UniquePath(const char* pName) {
    return std::string("/opt/test-") + std::to_string(getpid()) + "/" + pName;
}

TEST(SingleInstance, ASecondCopyReachesTheFirstAndTheFirstHearsIt) {
    const std::string strPath = UniquePath("morvane-gyro-tools");
    auto pFirst = std::make_unique<platform::SingleInstance>(strPath);
    ASSERT_TRUE(pFirst->IsFirst());
    EXPECT_FALSE(pFirst->TakeActivation());

    platform::SingleInstance second(strPath);
    EXPECT_FALSE(second.IsFirst());
    EXPECT_TRUE(second.ActivateRunningCopy(1, 0));
    EXPECT_TRUE(pFirst->TakeActivation());
    EXPECT_FALSE(pFirst->TakeActivation());

    // Another executable is another program.
    platform::SingleInstance other(UniquePath("copy-elsewhere"));
    EXPECT_TRUE(other.IsFirst());

    // When the first copy ends, the next start is first again.
    pFirst.reset();
    platform::SingleInstance third(strPath);
    EXPECT_TRUE(third.IsFirst());
}

TEST(SingleInstance, BackslashesNameTheSameLockAsSlashes) {
    const std::string strPath = UniquePath("gyro");
    platform::SingleInstance first(strPath);
    std::string strBackslashed = strPath;
    for (char& c : strBackslashed)
        if (c == '/')
            c = '\\';
    platform::SingleInstance second(strBackslashed);
    EXPECT_TRUE(first.IsFirst());
    EXPECT_FALSE(second.IsFirst());
    EXPECT_EQ(second.LockName(), strPath);
}

TEST(SingleInstance, ACopyThatNeverAnswersIsGivenUpAfterTheTries) {
    const std::string strPath = UniquePath("gone");
    auto pFirst = std::make_unique<platform::SingleInstance>(strPath);
    platform::SingleInstance second(strPath);
    pFirst.reset();  // the running copy ends before it could be reached
    EXPECT_FALSE(second.ActivateRunningCopy(3, 1));
}

}  // namespace
