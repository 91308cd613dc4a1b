#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace {

using platform::SingleInstance;

TEST(SingleInstance, ASecondCopyReachesTheFirstWhichHearsItOnce) {
    const std::string strFolder = "/opt/test-" + std::to_string(getpid());
    auto pFirst = std::make_unique<SingleInstance>(strFolder + "/morvane-gyro-tools");
    ASSERT_TRUE(pFirst->IsFirst());
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
    EXPECT_TRUE(SingleInstance(strFolder + "/morvane-gyro-tools").IsFirst());
}

}  // namespace
