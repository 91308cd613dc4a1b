// The termios backend on real pseudo-terminals: the test holds the master, the device under
// test opens the slave.
#include "platform/serial_termios.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class TermiosDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(m_nMaster, 0) << std::strerror(errno);
        ASSERT_EQ(grantpt(m_nMaster) | unlockpt(m_nMaster), 0);
        m_strSlave = ptsname(m_nMaster);
        m_pDevice = OpenTermiosDevice(m_strSlave);
        ASSERT_TRUE(m_pDevice) << LastSystemError();
    }
    void TearDown() override {
        m_pDevice.reset();
        close(m_nMaster);
    }

    // Termios calls on the master act on the slave's settings.
    termios SlaveTermios() const {
        termios tio{};
        EXPECT_EQ(tcgetattr(m_nMaster, &tio), 0);
        return tio;
    }

    // Up to nCount bytes from the master, pausing after each read; gives up after 5 s quiet.
    std::string ReadMaster(size_t nCount, std::chrono::microseconds pause = 0us,
                           std::atomic<size_t>* pProgress = nullptr) const {
        std::string strBytes;
        char buffer[2048];
        pollfd pfd = {m_nMaster, POLLIN, 0};
        while (strBytes.size() < nCount && poll(&pfd, 1, 5000) > 0) {
            const ssize_t n =
                read(m_nMaster, buffer, std::min(sizeof buffer, nCount - strBytes.size()));
            if (n <= 0)
                break;
            strBytes.append(buffer, static_cast<size_t>(n));
            if (pProgress)
                *pProgress = strBytes.size();
            std::this_thread::sleep_for(pause);
        }
        return strBytes;
    }

    int m_nMaster = -1;
    std::string m_strSlave;
    std::unique_ptr<SerialDevice> m_pDevice;
};

TEST(TermiosLineMapping, ParityUsesStickParityForMarkAndSpace) {
    // Mark and space are stick parity: CMSPAR with PARODD for mark.
    const std::pair<uint8_t, tcflag_t> parities[] = {{PARITY_NONE, 0},
                                                     {PARITY_ODD, PARENB | PARODD},
                                                     {PARITY_EVEN, PARENB},
                                                     {PARITY_MARK, PARENB | PARODD | CMSPAR},
                                                     {PARITY_SPACE, PARENB | CMSPAR}};
    for (const auto& [nParity, nBits] : parities) {
        SerialLineSettings settings, back;
        settings.nParity = nParity;
        settings.nByteSize = 7;
        termios tio{};
        ASSERT_TRUE(ApplyLineSettingsToTermios(settings, tio));
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR | CSIZE), nBits | CS7) << int(nParity);
        ReadLineSettingsFromTermios(tio, back);
        EXPECT_EQ(back, settings);
    }
}

TEST_F(TermiosDeviceTest, OpenLeavesTheTtyRawAt19200_8N1) {
    const termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(cfgetispeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL | CLOCAL | CREAD),
              tcflag_t(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN] | tio.c_cc[VTIME], 0);

    SerialLineSettings settings, expected;
    expected.nBaudRate = 19200;
    expected.nDtrControl = expected.nRtsControl = LINE_CONTROL_DISABLE;
    ASSERT_TRUE(m_pDevice->GetLineSettings(settings));
    EXPECT_EQ(settings, expected);
}

TEST_F(TermiosDeviceTest, SecondHolderIsBusyEvenForRoot) {
    const std::string strLink = testing::TempDir() + "termios_link." + std::to_string(getpid());
    std::filesystem::remove(strLink);
    ASSERT_EQ(symlink(m_strSlave.c_str(), strLink.c_str()), 0);
    for (const std::string& strPath : {m_strSlave, strLink}) {
        SetLastSystemError(0);
        EXPECT_FALSE(OpenTermiosDevice(strPath)) << strPath;
        EXPECT_EQ(LastSystemError(), uint32_t(EBUSY)) << strPath;
    }
    ASSERT_TRUE(m_pDevice->Close());
    EXPECT_TRUE(OpenTermiosDevice(strLink)) << "released by Close, and again on destruction";
    EXPECT_TRUE(OpenTermiosDevice(m_strSlave));

    // Another program holding the tty by flock only, or by TIOCEXCL only.
    for (int nWay : {0, 1}) {
        const int nOther = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(nWay == 0 ? flock(nOther, LOCK_EX) : ioctl(nOther, TIOCEXCL), 0);
        EXPECT_FALSE(OpenTermiosDevice(m_strSlave)) << nWay;
        EXPECT_EQ(LastSystemError(), uint32_t(EBUSY));
        close(nOther);
    }
    std::filesystem::remove(strLink);
}

TEST_F(TermiosDeviceTest, FailuresCarryTheSystemErrorAndItsText) {
    EXPECT_FALSE(OpenTermiosDevice("/nonexistent/tty"));
    EXPECT_EQ(LastSystemError(), uint32_t(ENOENT));
    EXPECT_FALSE(OpenTermiosDevice("/dev/null"));
    EXPECT_EQ(LastSystemError(), uint32_t(ENOTTY));
    for (int nCode : {EBUSY, ENOENT, ENOTTY, EINVAL, EIO, EBADF})
        EXPECT_NE(SystemErrorText(nCode), L"") << nCode;

    // A closed device refuses everything.
    ASSERT_TRUE(m_pDevice->Close());
    uint8_t byte = 0;
    uint32_t nCount = 0;
    SerialLineSettings settings;
    SetLastSystemError(0);
    EXPECT_FALSE(m_pDevice->Read(&byte, 1, nCount) || m_pDevice->Write(&byte, 1, nCount) ||
                 m_pDevice->GetLineSettings(settings) || m_pDevice->Close());
    EXPECT_EQ(LastSystemError(), uint32_t(EBADF));
}

TEST_F(TermiosDeviceTest, BytesPassUnchangedAndEmptyReadsReturnAtOnce) {
    // Reads never wait, whatever time-outs the caller keeps.
    ASSERT_TRUE(m_pDevice->SetTimeouts(SerialTimeouts{0, 10, 1000, 0, 0}));
    uint8_t buffer[512];
    uint32_t nRead = 99;
    const auto start = Clock::now();
    ASSERT_TRUE(m_pDevice->Read(buffer, sizeof buffer, nRead));
    EXPECT_EQ(nRead, 0u);
    EXPECT_LT(Clock::now() - start, 100ms);

    // Every byte value, CR, ^C, XON and XOFF included, both ways.
    std::string strAll;
    for (int i = 0; i < 256; ++i)
        strAll += static_cast<char>(i);
    ASSERT_EQ(write(m_nMaster, strAll.data(), strAll.size()), 256);
    uint32_t nErrors = 1;
    SerialStatus status;
    for (auto deadline = Clock::now() + 2s; Clock::now() < deadline;
         std::this_thread::sleep_for(1ms))
        if (!m_pDevice->ClearErrors(nErrors, status) || status.nInQueue >= 256)
            break;
    EXPECT_EQ(status.nInQueue, 256u);
    EXPECT_EQ(nErrors, 0u);
    ASSERT_TRUE(m_pDevice->Read(buffer, sizeof buffer, nRead));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), nRead), strAll);

    uint32_t nWritten = 0;
    ASSERT_TRUE(m_pDevice->Write(reinterpret_cast<const uint8_t*>(strAll.data()), 256, nWritten));
    EXPECT_EQ(nWritten, 256u);
    EXPECT_EQ(ReadMaster(256), strAll);
}

TEST_F(TermiosDeviceTest, WriteReturnsWhenASlowReaderTookEveryByte) {
    // Far more than a pty buffers, so the writer has to wait for the reader.
    constexpr size_t SIZE = 256 * 1024;
    constexpr size_t MOST_A_PTY_HOLDS = 128 * 1024;
    std::string strData(SIZE, '\0');
    for (size_t i = 0; i < SIZE; ++i)
        strData[i] = static_cast<char>(i * 7 + i / 251);
    std::atomic<size_t> nDrained = 0;
    std::string strReceived;
    std::thread reader([&] { strReceived = ReadMaster(SIZE, 500us, &nDrained); });
    uint32_t nWritten = 0;
    const bool bOk =
        m_pDevice->Write(reinterpret_cast<const uint8_t*>(strData.data()), SIZE, nWritten);
    const size_t nDrainedAtReturn = nDrained;
    reader.join();
    EXPECT_TRUE(bOk) << LastSystemError();
    EXPECT_EQ(nWritten, SIZE);
    EXPECT_GE(nDrainedAtReturn, SIZE - MOST_A_PTY_HOLDS);
    EXPECT_TRUE(strReceived == strData) << strReceived.size() << " bytes arrived";
}

TEST_F(TermiosDeviceTest, CloseRestoresTheEarlierTermios) {
    m_pDevice.reset();
    termios before = SlaveTermios();
    before.c_cflag |= CSTOPB;
    cfsetospeed(&before, B9600);
    ASSERT_EQ(tcsetattr(m_nMaster, TCSANOW, &before), 0);
    before = SlaveTermios();

    m_pDevice = OpenTermiosDevice(m_strSlave);
    ASSERT_TRUE(m_pDevice);
    ASSERT_NE(SlaveTermios().c_lflag, before.c_lflag);
    ASSERT_TRUE(m_pDevice->Close());
    const termios after = SlaveTermios();
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
}

TEST_F(TermiosDeviceTest, LineSettingsRoundTrip) {
    SerialLineSettings wanted, back;
    wanted.nBaudRate = 57600;
    wanted.nStopBits = STOP_BITS_TWO;
    wanted.bParity = wanted.bOutxCtsFlow = wanted.bOutX = wanted.bInX = true;
    wanted.cXonChar = 0x05;
    wanted.cXoffChar = 0x06;
    // No termios meaning: kept by the device.
    wanted.bOutxDsrFlow = wanted.bNull = true;
    wanted.nDtrControl = LINE_CONTROL_HANDSHAKE;
    wanted.nRtsControl = RTS_CONTROL_TOGGLE;
    wanted.nXonLim = 100;
    wanted.cEvtChar = 'E';
    ASSERT_TRUE(m_pDevice->SetLineSettings(wanted)) << LastSystemError();
    ASSERT_TRUE(m_pDevice->GetLineSettings(back));
    EXPECT_EQ(back, wanted);
    const termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), B57600);
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), tcflag_t(CSTOPB | CRTSCTS));
    EXPECT_EQ(tio.c_iflag & (INPCK | IXON | IXOFF), tcflag_t(INPCK | IXON | IXOFF));
    EXPECT_EQ(tio.c_cc[VSTART] * 256 + tio.c_cc[VSTOP], 0x0506);

    // What the tty cannot take fails and changes nothing: a rate with no constant, 9 data bits,
    // 1.5 stop bits with 8 data bits, and 7E1 on a pty, which stays at CS8 without parity.
    SerialLineSettings badRate = wanted, badSize = wanted, badStop = wanted, badFraming = wanted;
    badRate.nBaudRate = 12345;
    badSize.nByteSize = 9;
    badStop.nStopBits = STOP_BITS_ONE_AND_HALF;
    badFraming.nByteSize = 7;
    badFraming.nParity = PARITY_EVEN;
    for (const SerialLineSettings& bad : {badRate, badSize, badStop, badFraming}) {
        SetLastSystemError(0);
        EXPECT_FALSE(m_pDevice->SetLineSettings(bad));
        EXPECT_EQ(LastSystemError(), uint32_t(EINVAL));
        ASSERT_TRUE(m_pDevice->GetLineSettings(back));
        EXPECT_EQ(back, wanted);
        EXPECT_EQ(SlaveTermios().c_cflag, tio.c_cflag);
    }
}

TEST_F(TermiosDeviceTest, AHungUpTtyFailsReadAndWriteWithEio) {
    // As when a USB adapter is pulled: reads would answer 0 bytes from then on.
    const int nOther = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY);
    const int nHangup = ioctl(nOther, TIOCVHANGUP);
    close(nOther);
    if (nHangup != 0)
        GTEST_SKIP() << "TIOCVHANGUP needs CAP_SYS_ADMIN";
    uint8_t byte = 'x';
    uint32_t nCount = 0;
    EXPECT_FALSE(m_pDevice->Read(&byte, 1, nCount));
    EXPECT_EQ(LastSystemError(), uint32_t(EIO));
    EXPECT_FALSE(m_pDevice->Write(&byte, 1, nCount));
    EXPECT_EQ(LastSystemError(), uint32_t(EIO));
    EXPECT_TRUE(m_pDevice->Close());
}

}  // namespace
}  // namespace platform
