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

// How another program left the tty: cooked, echoing, mapping CR and LF, XON/XOFF and hardware
// flow control, parity, two stop bits (and 9600 baud); and which of it raw mode turns off. A
// pty keeps 8 bits without parity; ONLCR does nothing without OPOST.
const std::tuple<tcflag_t termios::*, tcflag_t, tcflag_t> DIRTY_FLAGS[] = {
    {&termios::c_iflag, ICRNL | INLCR | IGNCR | IXON | IXOFF | INPCK | ISTRIP, ~0u},
    {&termios::c_oflag, OPOST | ONLCR, OPOST},
    {&termios::c_cflag, CRTSCTS | CSTOPB | PARENB | HUPCL, ~0u},
    {&termios::c_lflag, ICANON | ECHO | ISIG | IEXTEN, ~0u}};

class TermiosDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(m_nMaster, 0) << std::strerror(errno);
        ASSERT_EQ(grantpt(m_nMaster) | unlockpt(m_nMaster), 0);
        m_strSlave = ptsname(m_nMaster);
        // The slave's settings, left dirty, as the device finds them.
        termios dirty{};
        ASSERT_EQ(tcgetattr(m_nMaster, &dirty), 0);
        for (const auto& [pField, nDirty, nRawOff] : DIRTY_FLAGS)
            dirty.*pField |= nDirty;
        cfsetspeed(&dirty, B9600);
        ASSERT_EQ(tcsetattr(m_nMaster, TCSANOW, &dirty), 0);
        ASSERT_EQ(tcgetattr(m_nMaster, &m_before), 0);
        ASSERT_EQ(m_before.c_cflag & (CRTSCTS | CSTOPB), tcflag_t(CRTSCTS | CSTOPB));
        m_pDevice = OpenTermiosDevice(m_strSlave);
        ASSERT_TRUE(m_pDevice) << LastSystemError();
    }
    void TearDown() override {
        m_pDevice.reset();
        if (m_nMaster >= 0)
            close(m_nMaster);
    }
    bool Busy() const { return !OpenTermiosDevice(m_strSlave) && LastSystemError() == EBUSY; }

    int m_nMaster = -1;
    std::string m_strSlave;
    termios m_before{};
    std::unique_ptr<SerialDevice> m_pDevice;
};

// Raw mode also shows in the bytes passing unchanged. What the tty cannot take (7E1 on a pty,
// which stays at CS8 without parity) fails and changes nothing.
TEST_F(TermiosDeviceTest, OpenMakesADirtyTtyRaw19200_8N1AndCloseGivesBackItsSettings) {
    termios tio{};
    ASSERT_EQ(tcgetattr(m_nMaster, &tio), 0);
    EXPECT_TRUE(cfgetispeed(&tio) == B19200 && cfgetospeed(&tio) == B19200);
    EXPECT_EQ(tio.c_cflag & (CSIZE | CLOCAL | CREAD), tcflag_t(CS8 | CLOCAL | CREAD));
    for (const auto& [pField, nDirty, nRawOff] : DIRTY_FLAGS)
        EXPECT_EQ(tio.*pField & nDirty & nRawOff, 0u) << nDirty;
    EXPECT_EQ(tio.c_cc[VMIN] | tio.c_cc[VTIME], 0);
    SerialLineSettings opened, bad, back;
    ASSERT_TRUE(m_pDevice->GetLineSettings(opened));
    bad = opened;
    bad.nByteSize = 7;
    bad.nParity = PARITY_EVEN;
    EXPECT_FALSE(m_pDevice->SetLineSettings(bad));
    EXPECT_EQ(LastSystemError(), uint32_t(EINVAL));
    ASSERT_TRUE(m_pDevice->GetLineSettings(back));
    EXPECT_EQ(back, opened);

    ASSERT_TRUE(m_pDevice->Close());
    ASSERT_EQ(tcgetattr(m_nMaster, &tio), 0);
    EXPECT_EQ(std::tie(tio.c_iflag, tio.c_oflag, tio.c_cflag, tio.c_lflag),
              std::tie(m_before.c_iflag, m_before.c_oflag, m_before.c_cflag, m_before.c_lflag));
    EXPECT_EQ(std::memcmp(tio.c_cc, m_before.c_cc, sizeof tio.c_cc), 0);
}

// Also for root (the lock is on the open file, so another process is refused alike), through
// another path, and against a program holding the tty by flock only or by TIOCEXCL only. No
// program started meanwhile inherits the tty.
TEST_F(TermiosDeviceTest, ASecondHolderIsBusy) {
    std::string strInherited(4096, '\0');
    FILE* pChild = popen("ls -l /proc/self/fd", "r");
    strInherited.resize(std::fread(strInherited.data(), 1, strInherited.size(), pChild));
    pclose(pChild);
    EXPECT_EQ(strInherited.find(" " + m_strSlave + "\n"), std::string::npos) << strInherited;
    const std::string strLink = testing::TempDir() + "termios_link." + std::to_string(getpid());
    ASSERT_EQ(symlink(m_strSlave.c_str(), strLink.c_str()), 0);
    EXPECT_TRUE(Busy() && !OpenTermiosDevice(strLink) && LastSystemError() == EBUSY);
    ASSERT_TRUE(m_pDevice->Close());
    EXPECT_TRUE(OpenTermiosDevice(strLink)) << "released by Close, and again on destruction";
    EXPECT_TRUE(OpenTermiosDevice(m_strSlave));
    unlink(strLink.c_str());
    for (int nWay : {0, 1}) {
        const int nOther = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(nWay == 0 ? flock(nOther, LOCK_EX) : ioctl(nOther, TIOCEXCL), 0);
        EXPECT_TRUE(Busy()) << nWay;
        close(nOther);
    }
}

TEST_F(TermiosDeviceTest, EveryBytePassesBothWaysUntilAHangUpEndsReadAndWriteWithEio) {
    // Far more than a pty buffers; each 256 holds every byte value, CR, ^C, XON and XOFF too.
    std::string strData(256 * 1024, '\0'), strReceived;
    for (size_t i = 0; i < strData.size(); ++i)
        strData[i] = static_cast<char>(i * 7 + i / 256);
    uint8_t buffer[512];
    uint32_t nCount = 0;
    ASSERT_EQ(write(m_nMaster, strData.data(), 256), 256);
    uint32_t nErrors = 0;
    SerialStatus status;
    for (int i = 0; i < 2000 && m_pDevice->ClearErrors(nErrors, status) && status.nInQueue < 256;
         ++i)
        std::this_thread::sleep_for(1ms);
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
                                 static_cast<uint32_t>(strData.size()), nCount));
    reader.join();
    EXPECT_EQ(nCount, strData.size());
    EXPECT_TRUE(strReceived == strData) << strReceived.size() << " bytes arrived";

    // The far end closed hangs the tty up, as a pulled USB adapter does: its queue counts and
    // writes fail, and its reads, which would give 0 bytes, fail too.
    close(m_nMaster);
    m_nMaster = -1;
    EXPECT_FALSE(m_pDevice->ClearErrors(nErrors, status));
    EXPECT_EQ(LastSystemError(), uint32_t(EIO));
    EXPECT_FALSE(m_pDevice->Read(buffer, 1, nCount));
    EXPECT_EQ(LastSystemError(), uint32_t(EIO));
    EXPECT_FALSE(m_pDevice->Write(buffer, 1, nCount));
    EXPECT_EQ(LastSystemError(), uint32_t(EIO));
    EXPECT_TRUE(m_pDevice->Close());
}

}  // namespace
}  // namespace platform
