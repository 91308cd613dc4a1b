// What the channel's, the pages' and the simulator's tests do not already show of the
// in-memory line (a pulled cable, the byte time, exclusive opens are theirs).
#include "platform/serial_memory.h"

#include <gtest/gtest.h>

namespace {

using platform::MemorySerialLine;

// Deliveries scheduled for a line that is gone are dropped: run under the address sanitizer
// to see one touch the destroyed line.
TEST(MemorySerialLine, AStaleHandleFreesNothingAndAGoneLineFailsTheDevice) {
    platform::HeadlessEventLoop loop(platform::ClockKind::Virtual);
    auto pLine = std::make_unique<MemorySerialLine>(loop);
    auto device = pLine->OpenProgramEnd();
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
