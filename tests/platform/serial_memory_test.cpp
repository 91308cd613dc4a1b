// What the channel's and the simulator's tests do not already show of the in-memory line.
#include "platform/serial_memory.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using platform::ClockKind;
using platform::HeadlessEventLoop;
using platform::MemorySerialLine;

struct MemorySerialLineTest : ::testing::Test {
    HeadlessEventLoop loop{ClockKind::Virtual};
    MemorySerialLine line{loop};
    std::unique_ptr<platform::SerialDevice> device = line.OpenProgramEnd();
};

TEST_F(MemorySerialLineTest, ByteTimeFollowsTheLineSettings) {
    platform::SerialLineSettings settings;
    settings.nBaudRate = 9600;
    settings.nParity = platform::PARITY_EVEN;
    settings.nStopBits = platform::STOP_BITS_TWO;
    ASSERT_TRUE(device->SetLineSettings(settings));
    EXPECT_EQ(line.ByteTimeNs(), 1'250'000);  // 12 bits at 9600
}

TEST_F(MemorySerialLineTest, QueueCountsUntilAPulledCableFailsReadsAndTheNextOpen) {
    line.FarWrite("late");
    loop.RunFor(10);
    uint32_t nErrors = 1;
    platform::SerialStatus status;
    ASSERT_TRUE(device->ClearErrors(nErrors, status));
    EXPECT_EQ(status.nInQueue, 4u);
    EXPECT_EQ(nErrors, 0u);
    line.Disconnect();
    uint8_t byte;
    uint32_t nCount = 0;
    EXPECT_FALSE(device->Read(&byte, 1, nCount));
    EXPECT_EQ(platform::LastSystemError(), static_cast<uint32_t>(EIO));
    EXPECT_TRUE(device->Close());
    EXPECT_EQ(line.OpenProgramEnd(), nullptr);
    EXPECT_EQ(platform::LastSystemError(), static_cast<uint32_t>(ENODEV));
}

TEST_F(MemorySerialLineTest, ClosingFreesTheLineAndAStaleHandleCannotFreeItAgain) {
    EXPECT_TRUE(device->Close());
    EXPECT_FALSE(device->Close());
    EXPECT_FALSE(line.IsProgramEndOpen());
    auto again = line.OpenProgramEnd();
    ASSERT_NE(again, nullptr);
    device.reset();
    EXPECT_TRUE(line.IsProgramEndOpen());
}

TEST(MemorySerialLineLifetime, DeliveriesScheduledForALineThatIsGoneAreDropped) {
    HeadlessEventLoop loop(ClockKind::Virtual);
    auto pLine = std::make_unique<MemorySerialLine>(loop);
    auto device = pLine->OpenProgramEnd();
    pLine->FarWrite("abc");
    uint32_t nWritten = 0;
    device->Write(reinterpret_cast<const uint8_t*>("x"), 1, nWritten);
    pLine.reset();
    loop.RunFor(10);  // must not touch the destroyed line
    uint8_t byte;
    uint32_t nRead = 0;
    EXPECT_FALSE(device->Read(&byte, 1, nRead));
}

}  // namespace
