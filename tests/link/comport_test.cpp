#include "link/comport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cwchar>
#include <string>

#include "platform/serial_memory.h"

namespace {

using platform::ClockKind;
using platform::HeadlessEventLoop;
using platform::MemorySerialLine;

struct ComPortTest : ::testing::Test {
    ComPortTest() {
        opener.Attach("COM1:", &com1);
        opener.Attach("COM8:", &com8);
        platform::SetSerialOpener(&opener);
    }
    ~ComPortTest() override {
        for (int i = 0; i < COMPORT_COUNT; ++i)
            ComPortClose(i);
        platform::SetSerialOpener(nullptr);
    }
    HeadlessEventLoop loop{ClockKind::Virtual};
    MemorySerialLine com1{loop};
    MemorySerialLine com8{loop};
    platform::MemorySerialOpener opener;
};

TEST_F(ComPortTest, OpenWritesExactlyTheFixedLineSettingsAndKeepsTheDriversOwn) {
    // The driver's own state before the program touches the port.
    platform::SerialLineSettings driver;
    driver.nBaudRate = 115200;
    driver.bParity = true;
    driver.bErrorChar = true;
    driver.cErrorChar = '?';
    driver.cEofChar = 0x1A;
    driver.cEvtChar = '\n';
    driver.bOutxCtsFlow = driver.bOutxDsrFlow = driver.bInX = driver.bOutX = true;
    driver.bNull = driver.bAbortOnError = driver.bDsrSensitivity = true;
    driver.nDtrControl = platform::LINE_CONTROL_HANDSHAKE;
    driver.nRtsControl = platform::LINE_CONTROL_HANDSHAKE;
    driver.nByteSize = 7;
    driver.nParity = platform::PARITY_ODD;
    driver.nStopBits = platform::STOP_BITS_TWO;
    driver.bBinary = false;
    platform::SerialTimeouts driverTimeouts{10, 20, 30, 40, 50};
    {
        auto device = com1.OpenProgramEnd();
        device->SetLineSettings(driver);
        device->SetTimeouts(driverTimeouts);
    }

    ASSERT_EQ(ComPortOpen(0, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);

    platform::SerialLineSettings expected = driver;
    expected.bBinary = true;
    expected.bOutxCtsFlow = expected.bOutxDsrFlow = false;
    expected.nDtrControl = platform::LINE_CONTROL_DISABLE;
    expected.bDsrSensitivity = false;
    expected.bTxContinueOnXoff = true;
    expected.bOutX = expected.bInX = false;
    expected.bNull = false;
    expected.nRtsControl = platform::LINE_CONTROL_DISABLE;
    expected.bAbortOnError = false;
    expected.nBaudRate = 19200;
    expected.nByteSize = 8;
    expected.nParity = platform::PARITY_NONE;
    expected.nStopBits = platform::STOP_BITS_ONE;
    expected.cXonChar = 0x11;
    expected.cXoffChar = 0x13;
    expected.nXonLim = expected.nXoffLim = 16;
    EXPECT_EQ(com1.LineSettings(), expected);
    EXPECT_EQ(com1.Timeouts(), (platform::SerialTimeouts{0xFFFFFFFF, 0, 0, 0, 0}));
    EXPECT_EQ(com1.InBufferSize(), 64u);
    EXPECT_EQ(com1.OutBufferSize(), 64u);

    // Closing puts the device's own time-outs back.
    EXPECT_NE(ComPortClose(0), 0);
    EXPECT_EQ(com1.Timeouts(), driverTimeouts);
    EXPECT_FALSE(com1.IsProgramEndOpen());
}

TEST_F(ComPortTest, FlowControlLimitsFollowTheInputBufferSize) {
    ASSERT_EQ(ComPortOpen(0, 512, 64), 0);
    EXPECT_EQ(com1.LineSettings().nXonLim, 128);
    ComPortClose(0);
    ASSERT_EQ(ComPortOpen(0, 1024, 64), 0);
    EXPECT_EQ(com1.LineSettings().nXoffLim, 128);
}

TEST_F(ComPortTest, CodesForBadIndexClosedSlotAndBadArguments) {
    const char frame[] = "000801F7aa";
    for (const int nIndex : {-1, 8, 9}) {
        EXPECT_EQ(ComPortOpen(nIndex, 64, 64), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortClose(nIndex), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortWrite(nIndex, frame, 10), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortReadByte(nIndex), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortErrorText(nIndex, nullptr, 0), COMPORT_BAD_INDEX);
    }
    EXPECT_EQ(ComPortClose(0), COMPORT_NOT_OPEN);
    EXPECT_EQ(ComPortWrite(0, frame, 10), COMPORT_NOT_OPEN);
    EXPECT_EQ(ComPortReadByte(0), COMPORT_NOT_OPEN);
    ASSERT_EQ(ComPortOpen(0, 64, 64), 0);
    EXPECT_EQ(ComPortWrite(0, frame, 0), COMPORT_BAD_ARGUMENT);
    EXPECT_EQ(ComPortWrite(0, nullptr, 10), COMPORT_BAD_ARGUMENT);
    EXPECT_EQ(ComPortWrite(0, frame, 10), 10);
    EXPECT_EQ(com1.SentByProgram(), "000801F7aa");
}

TEST_F(ComPortTest, SecondOpenOfAnOpenPortFailsAtThePlatform) {
    ASSERT_EQ(ComPortOpen(7, 64, 64), 0);
    EXPECT_EQ(ComPortOpen(7, 64, 64), COMPORT_SYSTEM_ERROR);
    wchar_t text[256];
    EXPECT_EQ(ComPortErrorText(7, text, 256), EBUSY);
    EXPECT_STREQ(text, L"Device or resource busy");
    // The first open still works.
    EXPECT_EQ(ComPortWrite(7, "01234", 5), 5);
    // A port nobody provides fails the same way, with its own code.
    EXPECT_EQ(ComPortOpen(2, 64, 64), COMPORT_SYSTEM_ERROR);
    EXPECT_EQ(ComPortErrorText(0, nullptr, 0), ENOENT);
}

TEST_F(ComPortTest, FailureAfterTheDeviceOpenedLeavesTheSlotOpenForTheCallerToClose) {
    for (const char* pStep : {"GetTimeouts", "GetLineSettings", "SetLineSettings", "SetTimeouts"}) {
        SCOPED_TRACE(pStep);
        com1.FailNext(pStep, EIO);
        EXPECT_EQ(ComPortOpen(0, 64, 64), COMPORT_SYSTEM_ERROR);
        EXPECT_EQ(ComPortErrorText(0, nullptr, 0), EIO);
        EXPECT_TRUE(com1.IsProgramEndOpen());
        EXPECT_NE(ComPortClose(0), COMPORT_NOT_OPEN);
        EXPECT_FALSE(com1.IsProgramEndOpen());
    }
    // Buffer sizes the driver refuses do not matter.
    com1.FailNext("SetBufferSizes", EINVAL);
    EXPECT_EQ(ComPortOpen(0, 64, 64), 0);
}

TEST_F(ComPortTest, ReadByteHandsBackEachByteIncludingZeroWithoutWaiting) {
    ASSERT_EQ(ComPortOpen(0, 64, 64), 0);
    EXPECT_EQ(ComPortReadByte(0), COMPORT_NO_DATA);
    com1.FarWrite(std::string("\x00\xFF\x41", 3));
    loop.RunFor(1);
    EXPECT_EQ(ComPortReadByte(0), 0x00);             // a byte, not the absence of one
    EXPECT_EQ(ComPortReadByte(0), COMPORT_NO_DATA);  // the rest is still on the line
    loop.RunFor(1);
    EXPECT_EQ(ComPortReadByte(0), 0xFF);
    EXPECT_EQ(ComPortReadByte(0), 0x41);
    EXPECT_EQ(ComPortReadByte(0), COMPORT_NO_DATA);
    EXPECT_EQ(loop.NowMs(), 2);
}

TEST_F(ComPortTest, ReadAndWriteFailuresKeepTheSystemCode) {
    ASSERT_EQ(ComPortOpen(0, 64, 64), 0);
    com1.FarWrite("x");
    loop.RunFor(1);
    com1.FailNext("Read", EPROTO);
    EXPECT_EQ(ComPortReadByte(0), COMPORT_SYSTEM_ERROR);
    EXPECT_EQ(ComPortErrorText(0, nullptr, 0), EPROTO);
    com1.Disconnect();
    EXPECT_EQ(ComPortWrite(0, "01234", 5), COMPORT_SYSTEM_ERROR);
    EXPECT_EQ(ComPortErrorText(0, nullptr, 0), EIO);
    // A pulled cable reads as silence: the answer time-out speaks for it.
    EXPECT_EQ(ComPortReadByte(0), COMPORT_NO_DATA);
}

TEST_F(ComPortTest, ErrorTextIsCutToTheCapacityAndLeftAloneAtZero) {
    EXPECT_EQ(ComPortOpen(2, 64, 64), COMPORT_SYSTEM_ERROR);  // ENOENT
    wchar_t text[8];
    std::wmemset(text, L'#', 8);
    EXPECT_EQ(ComPortErrorText(0, text, 0), ENOENT);
    EXPECT_EQ(text[0], L'#');
    EXPECT_EQ(ComPortErrorText(0, text, 5), ENOENT);
    EXPECT_STREQ(text, L"No s");
    EXPECT_EQ(text[5], L'#');
}

}  // namespace
