// The real path end to end in real time: gyro-sim on a pseudo-terminal, published as a port,
// opened by its COM number through the port map and the termios backend.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "link/comport.h"
#include "link/frames.h"
#include "platform/port_map.h"
#include "platform/published_ports.h"
#include "pty_support.h"

namespace {

// Polls the port like the 10 ms receive timer until the test passes or a second goes by.
template <typename Complete>
std::wstring ReceiveUntil(int nIndex, Complete complete) {
    std::wstring strReceived;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!complete(strReceived) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        strReceived += ReceivePoll(nIndex).strText;
    }
    return strReceived;
}

TEST(GyroSimPty, ChannelOpensThePublishedPortByNumberAndReadsTheProductId) {
    const std::string strName = "Simulated tq480 gyro " + std::to_string(getpid());
    GyroSimProcess sim(strName);
    ASSERT_FALSE(sim.Tty().empty());
    ASSERT_TRUE(fs::exists(sim.Tty()));

    platform::PortMap& map = platform::PortMap::Instance();
    map.Refresh();
    int nNumber = 0;
    for (const auto& entry : map.Entries())
        if (entry.strFriendlyName == strName)
            nNumber = entry.nNumber;
    ASSERT_GE(nNumber, 1);
    ASSERT_LE(nNumber, COMPORT_COUNT);
    const int nIndex = nNumber - 1;

    ASSERT_EQ(ComPortOpen(nIndex, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    // Exclusive while open, also for root.
    EXPECT_EQ(ComPortOpen(nIndex, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), COMPORT_SYSTEM_ERROR);

    std::wstring strFailure;
    ASSERT_EQ(SendFrame(nNumber, WAKEUP_STRING, strFailure), 5)
        << std::string(strFailure.begin(), strFailure.end());
    EXPECT_TRUE(IsWakeupEchoComplete(ReceiveUntil(nIndex, IsWakeupEchoComplete)));

    ASSERT_EQ(SendFrame(nNumber, BuildReadFrame(0x0008), strFailure), 10);
    const std::wstring strAnswer = ReceiveUntil(nIndex, IsIdentityAnswerComplete);
    ASSERT_TRUE(IsIdentityAnswerComplete(strAnswer));
    uint16_t wProductId = 0;
    ASSERT_TRUE(ParseWordAnswer(strAnswer, wProductId));
    EXPECT_EQ(wProductId, 0x0480);

    EXPECT_NE(ComPortClose(nIndex), COMPORT_NOT_OPEN);
    // Closed, the port opens again.
    ASSERT_EQ(ComPortOpen(nIndex, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    ComPortClose(nIndex);

    // The simulator takes its link away when it ends.
    sim.Stop();
    EXPECT_FALSE(
        fs::is_symlink(fs::symlink_status(fs::path(platform::PublishedPortsFolder()) / strName)));
}

}  // namespace
