// What the channel's and the pages' tests (8N1, a pulled cable, exclusive opens) do not show.
#include "platform/serial_memory.h"

#include <gtest/gtest.h>

namespace {

using platform::MemorySerialLine;

// Deliveries for a line that is gone are dropped (the address sanitizer sees one that is not).
TEST(MemorySerialLine, ByteTimeStaleHandleAndAGoneLine) {
    platform::HeadlessEventLoop loop(platform::ClockKind::Virtual);
    auto pLine = std::make_unique<MemorySerialLine>(loop);
    auto device = pLine->OpenProgramEnd();
    platform::SerialLineSettings settings;  // 9600 E2: 12 bits a byte
    settings.nParity = platform::PARITY_EVEN;
    settings.nStopBits = platform::STOP_BITS_TWO;
    EXPECT_TRUE(device->SetLineSettings(settings) && pLine->ByteTimeNs() == 1'250'000);
    EXPECT_TRUE(device->Close());
    EXPECT_FALSE(device->Close());
    auto again = pLine->OpenProgramEnd();
    ASSERT_NE(again, nullptr);
    device.reset();
    EXPECT_TRUE(pLine->IsProgramEndOpen());

    pLine = std::make_unique<MemorySerialLine>(loop);
    device = pLine->OpenProgramEnd();
    pLine->FarWrite("abc");
    uint32_t nCount = 0;
    device->Write(reinterpret_cast<const uint8_t*>("x"), 1, nCount);
    pLine.reset();
    loop.RunFor(10);
    uint8_t byte;
    EXPECT_FALSE(device->Read(&byte, 1, nCount));
}

}  // namespace
