// The channel, the frames and the software gyro together on the virtual clock: a request's
// answer shows up in the 10 ms receive poll that follows the moment its last byte arrives.
#include <gtest/gtest.h>

#include "link/comport.h"
#include "link/frames.h"
#include "platform/serial_memory.h"
#include "sim/gyro_sim.h"

namespace {

constexpr int64_t BYTE_NS = 520'833;  // 10 bits at 19200 baud

// Polls the port every 10 ms like the pages' receive timer and records when the answer test
// first passes.
class CReceivePoller : public platform::CTimerTarget {
  public:
    CReceivePoller(platform::EventLoop& loop, bool (*complete)(const std::wstring&))
        : m_loop(loop), m_complete(complete) {
        m_loop.SetTimer(this, 104, 10);
    }
    ~CReceivePoller() { m_loop.KillTimer(this, 104); }
    void OnTimer(unsigned) override {
        m_strReceived += ReceivePoll(0).strText;
        if (m_nCompleteAtNs < 0 && m_complete(m_strReceived))
            m_nCompleteAtNs = m_loop.NowNs();
    }
    std::wstring m_strReceived;
    int64_t m_nCompleteAtNs = -1;

  private:
    platform::EventLoop& m_loop;
    bool (*m_complete)(const std::wstring&);
};

struct ChannelTimingTest : ::testing::Test {
    ChannelTimingTest() {
        gyro.AttachTo(line);
        opener.Attach("COM1:", &line);
        platform::SetSerialOpener(&opener);
        EXPECT_EQ(ComPortOpen(0, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    }
    ~ChannelTimingTest() override {
        ComPortClose(0);
        platform::SetSerialOpener(nullptr);
    }
    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    platform::MemorySerialLine line{loop};
    sim::CGyroSimulator gyro{loop};
    platform::MemorySerialOpener opener;
};

TEST_F(ChannelTimingTest, ProductIdAnswerIsCompleteAtThePollAfterItsLineTime) {
    std::wstring strFailure;
    CReceivePoller poller(loop, IsIdentityAnswerComplete);
    loop.RunFor(3);  // send between two polls
    ASSERT_EQ(SendFrame(1, BuildReadFrame(0x0008), strFailure), 10);
    const int64_t nSentNs = loop.NowNs();
    // 10 request bytes out, 15 answer bytes back: 13.02 ms on the line.
    const int64_t nArrivedNs = nSentNs + 25 * BYTE_NS;
    loop.RunUntil([&] { return poller.m_nCompleteAtNs >= 0; }, 100);
    ASSERT_GE(poller.m_nCompleteAtNs, 0);
    EXPECT_EQ(poller.m_nCompleteAtNs,
              (nArrivedNs / 10'000'000 + 1) * 10'000'000);  // the 20 ms poll
    uint16_t wWord = 0;
    ASSERT_TRUE(ParseWordAnswer(poller.m_strReceived, wWord));
    EXPECT_EQ(wWord, 0x0480);
}

TEST_F(ChannelTimingTest, WriteIsAcknowledgedAfterTwentyThreeByteTimesAndStored) {
    std::wstring strFailure;
    ASSERT_EQ(SendFrame(1, BuildWriteFrame(0x0104, 100), strFailure), 14);
    // 14 bytes out and 9 back: the last byte of the acknowledgement lands at 23 byte times.
    ASSERT_TRUE(loop.RunUntil([&] { return line.PendingForProgram() == 9; }, 100));
    EXPECT_EQ(loop.NowNs(), 23 * BYTE_NS);
    EXPECT_TRUE(IsWriteAckComplete(ReceivePoll(0).strText));
    EXPECT_EQ(gyro.Word(0x0104), 100);
}

}  // namespace
