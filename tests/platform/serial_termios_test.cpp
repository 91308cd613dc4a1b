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

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <tuple>

namespace platform {
namespace {

using namespace std::chrono_literals;

class TermiosDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(m_nMaster, 0) << std::strerror(errno);
        ASSERT_EQ(grantpt(m_nMaster) | unlockpt(m_nMaster), 0);
        m_strSlave = ptsname(m_nMaster);
        m_before = SlaveTermios();
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

    int m_nMaster = -1;
    std::string m_strSlave;
    termios m_before{};  // the slave as the device found it
    std::unique_ptr<SerialDevice> m_pDevice;
};

TEST_F(TermiosDeviceTest, OpenMakesTheTtyRaw19200_8N1AndCloseGivesBackTheEarlierSettings) {
    const termios tio = SlaveTermios();  // raw mode shows in the bytes passing unchanged
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(cfgetispeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL | CLOCAL | CREAD),
              tcflag_t(CS8 | CLOCAL | CREAD));

    ASSERT_TRUE(m_pDevice->Close());
    const termios after = SlaveTermios();
    EXPECT_EQ(std::tie(after.c_iflag, after.c_oflag, after.c_cflag, after.c_lflag),
              std::tie(m_before.c_iflag, m_before.c_oflag, m_before.c_cflag, m_before.c_lflag));
    EXPECT_EQ(std::memcmp(after.c_cc, m_before.c_cc, sizeof after.c_cc), 0);
}

TEST_F(TermiosDeviceTest, ASecondHolderIsBusyEvenForRootAndThroughAnotherPath) {
    const std::string strLink = testing::TempDir() + "termios_link." + std::to_string(getpid());
    unlink(strLink.c_str());
    ASSERT_EQ(symlink(m_strSlave.c_str(), strLink.c_str()), 0);
    auto busy = [](const std::string& strPath) {
        return !OpenTermiosDevice(strPath) && LastSystemError() == EBUSY;
    };
    EXPECT_TRUE(busy(m_strSlave) && busy(strLink));
    ASSERT_TRUE(m_pDevice->Close());
    EXPECT_TRUE(OpenTermiosDevice(strLink)) << "released by Close, and again on destruction";
    EXPECT_TRUE(OpenTermiosDevice(m_strSlave));
    unlink(strLink.c_str());

    // Another program holding the tty by flock only, or by TIOCEXCL only.
    for (int nWay : {0, 1}) {
        const int nOther = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(nWay == 0 ? flock(nOther, LOCK_EX) : ioctl(nOther, TIOCEXCL), 0);
        EXPECT_TRUE(busy(m_strSlave)) << nWay;
        close(nOther);
    }
}

TEST_F(TermiosDeviceTest, EveryBytePassesBothWaysUntilAHangUpEndsReadAndWriteWithEio) {
    // Far more than a pty buffers; each 256 holds every byte value, CR, ^C, XON and XOFF too.
    std::string strData(256 * 1024, '\0'), strReceived;
    for (size_t i = 0; i < strData.size(); ++i)
        strData[i] = static_cast<char>(i * 7 + i / 256);
    // Reads return at once with what has arrived, whatever time-outs the caller keeps.
    ASSERT_TRUE(m_pDevice->SetTimeouts(SerialTimeouts{0, 10, 1000, 0, 0}));
    uint8_t buffer[512];
    uint32_t nCount = 99;
    ASSERT_TRUE(m_pDevice->Read(buffer, sizeof buffer, nCount));
    EXPECT_EQ(nCount, 0u);

    ASSERT_EQ(write(m_nMaster, strData.data(), 256), 256);
    uint32_t nErrors = 0;
    SerialStatus status;
    for (int i = 0; i < 2000 && m_pDevice->ClearErrors(nErrors, status) && status.nInQueue < 256;
         ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(status.nInQueue, 256u);
    ASSERT_TRUE(m_pDevice->Read(buffer, sizeof buffer, nCount));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), nCount), strData.substr(0, 256));

    // The write returns when a slow reader took every byte.
    std::thread reader([&] {
        char chunk[2048];
        pollfd pfd = {m_nMaster, POLLIN, 0};
        ssize_t n = 0;
        while (strReceived.size() < strData.size() && poll(&pfd, 1, 5000) > 0 &&
               (n = read(m_nMaster, chunk, sizeof chunk)) > 0) {
            strReceived.append(chunk, static_cast<size_t>(n));
            std::this_thread::sleep_for(500us);
        }
    });
    EXPECT_TRUE(m_pDevice->Write(reinterpret_cast<const uint8_t*>(strData.data()),
                                 static_cast<uint32_t>(strData.size()), nCount))
        << LastSystemError();
    reader.join();
    EXPECT_EQ(nCount, strData.size());
    EXPECT_TRUE(strReceived == strData) << strReceived.size() << " bytes arrived";

    // A hung-up tty, as when a USB adapter is pulled, would answer reads with 0 bytes.
    const int nOther = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY);
    const int nHangup = ioctl(nOther, TIOCVHANGUP);
    close(nOther);
    if (nHangup != 0)
        GTEST_SKIP() << "TIOCVHANGUP needs CAP_SYS_ADMIN";
    EXPECT_FALSE(m_pDevice->Read(buffer, 1, nCount));
    EXPECT_EQ(LastSystemError(), uint32_t(EIO));
    EXPECT_FALSE(m_pDevice->Write(buffer, 1, nCount));
    EXPECT_EQ(LastSystemError(), uint32_t(EIO));
}

TEST_F(TermiosDeviceTest, LineSettingsRoundTripAndWhatTheTtyCannotTakeChangesNothing) {
    SerialLineSettings wanted, back;
    wanted.nBaudRate = 57600;
    wanted.nStopBits = STOP_BITS_TWO;
    wanted.bParity = wanted.bOutxCtsFlow = wanted.bOutX = wanted.bInX = true;
    wanted.cXonChar = 0x05;
    wanted.cXoffChar = 0x06;
    wanted.nXonLim = 100;  // no termios meaning: kept by the device
    ASSERT_TRUE(m_pDevice->SetLineSettings(wanted)) << LastSystemError();
    ASSERT_TRUE(m_pDevice->GetLineSettings(back));
    EXPECT_EQ(back, wanted);
    const termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), B57600);
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), tcflag_t(CSTOPB | CRTSCTS));
    EXPECT_EQ(tio.c_iflag & (INPCK | IXON | IXOFF), tcflag_t(INPCK | IXON | IXOFF));
    EXPECT_EQ(tio.c_cc[VSTART] * 256 + tio.c_cc[VSTOP], 0x0506);

    // A rate with no constant, 9 data bits, 1.5 stop bits with 8 data bits, and 7E1 on a pty,
    // which stays at CS8 without parity.
    SerialLineSettings bad[] = {wanted, wanted, wanted, wanted};
    bad[0].nBaudRate = 12345;
    bad[1].nByteSize = 9;
    bad[2].nStopBits = STOP_BITS_ONE_AND_HALF;
    bad[3].nByteSize = 7;
    bad[3].nParity = PARITY_EVEN;
    for (const SerialLineSettings& settings : bad) {
        SetLastSystemError(0);
        EXPECT_FALSE(m_pDevice->SetLineSettings(settings));
        EXPECT_EQ(LastSystemError(), uint32_t(EINVAL));
        ASSERT_TRUE(m_pDevice->GetLineSettings(back));
        EXPECT_EQ(back, wanted);
    }
}

}  // namespace
}  // namespace platform
