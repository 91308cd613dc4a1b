#include "platform/serial_memory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

namespace {

using platform::ClockKind;
using platform::HeadlessEventLoop;
using platform::MemorySerialLine;

// 10 bits at 19200 baud.
constexpr int64_t BYTE_NS_19200 = 520'833;

struct MemorySerialLineTest : ::testing::Test {
    MemorySerialLineTest() {
        device = line.OpenProgramEnd();
        platform::SerialLineSettings settings;
        settings.nBaudRate = 19200;
        device->SetLineSettings(settings);
    }
    HeadlessEventLoop loop{ClockKind::Virtual};
    MemorySerialLine line{loop};
    std::unique_ptr<platform::SerialDevice> device;
};

TEST_F(MemorySerialLineTest, BytesArriveAtTheLineTimeInBothDirections) {
    std::vector<std::pair<uint8_t, int64_t>> atFar;
    line.SetFarReceiver([&](uint8_t byte) { atFar.emplace_back(byte, loop.NowNs()); });
    uint32_t nWritten = 0;
    ASSERT_TRUE(device->Write(reinterpret_cast<const uint8_t*>("AB"), 2, nWritten));
    EXPECT_EQ(nWritten, 2u);
    loop.RunFor(5);
    ASSERT_EQ(atFar.size(), 2u);
    EXPECT_EQ(atFar[0].second, BYTE_NS_19200);
    EXPECT_EQ(atFar[1].second, 2 * BYTE_NS_19200);

    // Twenty bytes back take 10.4 ms: after 10 ms nineteen have arrived.
    line.FarWrite(std::string(20, 'x'));
    const int64_t nSent = loop.NowNs();
    loop.RunUntil([&] { return line.PendingForProgram() == 19; }, 100);
    EXPECT_EQ(loop.NowNs() - nSent, 19 * BYTE_NS_19200);
    loop.RunFor(1);
    EXPECT_EQ(line.PendingForProgram(), 20u);
}

TEST_F(MemorySerialLineTest, ByteTimeFollowsTheLineSettings) {
    platform::SerialLineSettings settings;
    settings.nBaudRate = 9600;
    settings.nParity = platform::PARITY_EVEN;
    settings.nStopBits = platform::STOP_BITS_TWO;
    ASSERT_TRUE(device->SetLineSettings(settings));
    EXPECT_EQ(line.ByteTimeNs(), 1'250'000);  // 12 bits at 9600
}

TEST_F(MemorySerialLineTest, ReadNeverWaitsAndQueueCountsAreReported) {
    uint8_t buffer[8];
    uint32_t nRead = 99;
    ASSERT_TRUE(device->Read(buffer, sizeof buffer, nRead));
    EXPECT_EQ(nRead, 0u);
    line.FarWrite(std::string("\x00\x41", 2));
    loop.RunFor(2);
    uint32_t nErrors = 1;
    platform::SerialStatus status;
    ASSERT_TRUE(device->ClearErrors(nErrors, status));
    EXPECT_EQ(nErrors, 0u);
    EXPECT_EQ(status.nInQueue, 2u);
    ASSERT_TRUE(device->Read(buffer, sizeof buffer, nRead));
    ASSERT_EQ(nRead, 2u);
    EXPECT_EQ(buffer[0], 0x00);
    EXPECT_EQ(buffer[1], 0x41);
}

TEST_F(MemorySerialLineTest, ExclusiveOpenDisconnectAndInjectedFailures) {
    EXPECT_EQ(line.OpenProgramEnd(), nullptr);
    EXPECT_EQ(platform::LastSystemError(), static_cast<uint32_t>(EBUSY));

    line.FailNext("SetTimeouts", EACCES);
    EXPECT_FALSE(device->SetTimeouts({}));
    EXPECT_EQ(platform::LastSystemError(), static_cast<uint32_t>(EACCES));
    EXPECT_TRUE(device->SetTimeouts({}));

    line.FarWrite("late");
    line.Disconnect();
    loop.RunFor(10);
    uint8_t byte;
    uint32_t nCount = 0;
    EXPECT_FALSE(device->Read(&byte, 1, nCount));
    EXPECT_EQ(platform::LastSystemError(), static_cast<uint32_t>(EIO));
    EXPECT_FALSE(device->Write(&byte, 1, nCount));
    EXPECT_TRUE(device->Close());
    EXPECT_EQ(line.OpenProgramEnd(), nullptr);
    EXPECT_EQ(platform::LastSystemError(), static_cast<uint32_t>(ENODEV));
}

TEST_F(MemorySerialLineTest, ClosingFreesTheLineForTheNextOpen) {
    EXPECT_TRUE(device->Close());
    EXPECT_FALSE(device->Close());
    EXPECT_FALSE(line.IsProgramEndOpen());
    auto again = line.OpenProgramEnd();
    ASSERT_NE(again, nullptr);
    // A stale handle closing late must not free the line under the new one.
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
