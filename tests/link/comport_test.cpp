#include "link/comport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cwchar>

#include "platform/serial_memory.h"

namespace {

struct ComPortTest : ::testing::Test {
    ComPortTest() {
        opener.Attach("COM1:", &com1);
        platform::SetSerialOpener(&opener);
    }
    ~ComPortTest() override {
        for (int i = 0; i < COMPORT_COUNT; ++i)
            ComPortClose(i);
        platform::SetSerialOpener(nullptr);
    }
    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    platform::MemorySerialLine com1{loop};
    platform::MemorySerialOpener opener;
};

TEST_F(ComPortTest, OpenWritesExactlyTheFixedLineSettingsAndKeepsTheDriversOwn) {
    // The driver's own state: everything the program sets is set otherwise here.
    using namespace platform;
    SerialLineSettings driver;
    driver.bParity = driver.bOutxCtsFlow = driver.bOutxDsrFlow = driver.bDsrSensitivity = true;
    driver.bOutX = driver.bInX = driver.bErrorChar = driver.bNull = driver.bAbortOnError = true;
    driver.bBinary = false;
    driver.nDtrControl = driver.nRtsControl = LINE_CONTROL_HANDSHAKE;
    driver.nBaudRate = 115200;
    driver.nByteSize = 7;
    driver.nParity = PARITY_ODD;
    driver.nStopBits = STOP_BITS_TWO;
    driver.cXonChar = driver.cXoffChar = driver.cErrorChar = '?';
    driver.cEofChar = driver.cEvtChar = 0x1A;
    const SerialTimeouts driverTimeouts{10, 20, 30, 40, 50};
    {
        auto device = com1.OpenProgramEnd();
        device->SetLineSettings(driver);
        device->SetTimeouts(driverTimeouts);
    }
    // The flow control limits are a quarter of the input buffer, at most 128.
    for (const auto& [nInBuffer, nLimit] : {std::pair{64, 16}, {512, 128}, {1024, 128}}) {
        ASSERT_EQ(ComPortOpen(0, nInBuffer, COMPORT_BUFFER_SIZE), 0);
        // Only parity checking, the error-character flag and the error and end-of-file
        // characters stay the driver's.
        SerialLineSettings expected;
        expected.bParity = expected.bErrorChar = expected.bTxContinueOnXoff = true;
        expected.nDtrControl = expected.nRtsControl = LINE_CONTROL_DISABLE;
        expected.nBaudRate = 19200;
        expected.nXonLim = expected.nXoffLim = static_cast<uint16_t>(nLimit);
        expected.cErrorChar = '?';
        expected.cEofChar = expected.cEvtChar = 0x1A;
        EXPECT_EQ(com1.LineSettings(), expected) << nInBuffer;
        EXPECT_EQ(com1.Timeouts(), (SerialTimeouts{0xFFFFFFFF, 0, 0, 0, 0}));
        EXPECT_EQ(com1.InBufferSize(), uint32_t(nInBuffer));
        EXPECT_EQ(com1.OutBufferSize(), 64u);
        // Closing puts the device's own time-outs back.
        EXPECT_NE(ComPortClose(0), 0);
        EXPECT_EQ(com1.Timeouts(), driverTimeouts);
    }
}

// Codes for a bad index, a closed slot and failures of the system, whose text is cut to the
// caller's room; a failed open leaves the slot for the caller to close.
TEST_F(ComPortTest, EveryFailureHasItsCode) {
    for (const int nIndex : {-1, 8}) {
        EXPECT_EQ(ComPortOpen(nIndex, 64, 64), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortClose(nIndex), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortWrite(nIndex, "01234", 5), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortReadByte(nIndex), COMPORT_BAD_INDEX);
        EXPECT_EQ(ComPortErrorText(nIndex, nullptr, 0), COMPORT_BAD_INDEX);
    }
    EXPECT_EQ(ComPortReadByte(0), COMPORT_NOT_OPEN);
    EXPECT_EQ(ComPortOpen(2, 64, 64), COMPORT_SYSTEM_ERROR);  // nobody provides COM3
    wchar_t text[8];
    std::wmemset(text, L'#', 8);
    EXPECT_EQ(ComPortErrorText(0, text, 0), ENOENT);
    EXPECT_EQ(text[0], L'#');
    EXPECT_EQ(ComPortErrorText(0, text, 5), ENOENT);  // ERROR_FILE_NOT_FOUND, too
#ifdef _WIN32
    EXPECT_STREQ(text, L"File");  // "File not found"
#else
    EXPECT_STREQ(text, L"No s");
#endif
    EXPECT_EQ(text[5], L'#');
    for (const char* pStep : {"GetTimeouts", "GetLineSettings", "SetLineSettings", "SetTimeouts"}) {
        SCOPED_TRACE(pStep);
        com1.FailNext(pStep, EIO);
        EXPECT_EQ(ComPortOpen(0, 64, 64), COMPORT_SYSTEM_ERROR);
        EXPECT_EQ(ComPortErrorText(0, nullptr, 0), EIO);
        EXPECT_TRUE(com1.IsProgramEndOpen());
        EXPECT_NE(ComPortClose(0), COMPORT_NOT_OPEN);
        EXPECT_FALSE(com1.IsProgramEndOpen());
    }
    com1.FailNext("SetBufferSizes", EINVAL);  // buffer sizes the driver refuses do not matter
    EXPECT_EQ(ComPortOpen(0, 64, 64), 0);
}

}  // namespace
