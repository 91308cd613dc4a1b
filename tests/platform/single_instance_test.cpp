#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

using platform::SingleInstance;

std::string UniquePath(const char* pName) {
    return std::string("/opt/test-") + std::to_string(getpid()) + "/" + pName;
}

TEST(SingleInstance, ASecondCopyReachesTheFirstWhichHearsItOnce) {
    const std::string strPath = UniquePath("morvane-gyro-tools");
    auto pFirst = std::make_unique<SingleInstance>(strPath);
    ASSERT_TRUE(pFirst->IsFirst());
    EXPECT_FALSE(pFirst->TakeActivation());
    // The handheld's backslashes name the same lock; another executable is another program.
    std::string strBackslashed = strPath;
    std::replace(strBackslashed.begin(), strBackslashed.end(), '/', '\\');
    SingleInstance second(strBackslashed);
    EXPECT_FALSE(second.IsFirst());
    EXPECT_EQ(second.LockName(), strPath);
    EXPECT_TRUE(SingleInstance(UniquePath("copy-elsewhere")).IsFirst());

    EXPECT_TRUE(second.ActivateRunningCopy(1, 0));
    EXPECT_TRUE(pFirst->TakeActivation());
    EXPECT_FALSE(pFirst->TakeActivation());
    // When the first copy ends, a copy that never got through gives up after its tries, and
    // the next start is first again.
    pFirst.reset();
    EXPECT_FALSE(second.ActivateRunningCopy(3, 1));
    EXPECT_TRUE(SingleInstance(strPath).IsFirst());
}

}  // namespace
