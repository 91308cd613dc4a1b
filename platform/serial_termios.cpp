#include "platform/serial_termios.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

struct BaudSpeed {
    uint32_t nBaudRate;
    speed_t speed;
};

// The rates a tty takes by constant.
constexpr BaudSpeed BAUD_SPEEDS[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedForBaud(uint32_t nBaudRate, speed_t& speed) {
    for (const BaudSpeed& entry : BAUD_SPEEDS) {
        if (entry.nBaudRate == nBaudRate) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool BaudForSpeed(speed_t speed, uint32_t& nBaudRate) {
    for (const BaudSpeed& entry : BAUD_SPEEDS) {
        if (entry.speed == speed) {
            nBaudRate = entry.nBaudRate;
            return true;
        }
    }
    return false;
}

bool Fail(int nCode) {
    SetLastSystemError(static_cast<uint32_t>(nCode));
    return false;
}

// Ptys have no modem lines and answer ENOTTY or EINVAL; that is not a failure.
bool ChangeModemLines(int nFd, unsigned long nRequest, int nLines) {
    if (nLines == 0 || ioctl(nFd, nRequest, &nLines) == 0)
        return true;
    return errno == ENOTTY || errno == EINVAL;
}

// Whether the tty holds every line setting that was asked of it.
bool TookLineSettings(const termios& wanted, const termios& taken) {
    tcflag_t nCflagMask = CSIZE | PARENB | CSTOPB | CRTSCTS;
    if (wanted.c_cflag & PARENB)
        nCflagMask |= PARODD | CMSPAR;
    const tcflag_t nIflagMask = INPCK | IXON | IXOFF;
    if ((wanted.c_cflag & nCflagMask) != (taken.c_cflag & nCflagMask) ||
        (wanted.c_iflag & nIflagMask) != (taken.c_iflag & nIflagMask) ||
        cfgetospeed(&wanted) != cfgetospeed(&taken) ||
        cfgetispeed(&wanted) != cfgetispeed(&taken)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

class TermiosDevice final : public SerialDevice {
  public:
    TermiosDevice(int nFd, const termios& saved) : m_nFd(nFd), m_savedTermios(saved) {
        m_settings.nDtrControl = LINE_CONTROL_DISABLE;
        m_settings.nRtsControl = LINE_CONTROL_DISABLE;
    }
    ~TermiosDevice() override { Release(); }
    TermiosDevice(const TermiosDevice&) = delete;
    TermiosDevice& operator=(const TermiosDevice&) = delete;

    bool GetLineSettings(SerialLineSettings& settings) override {
        if (!CheckOpen())
            return false;
        termios tio;
        if (tcgetattr(m_nFd, &tio) != 0)
            return Fail(errno);
        SerialLineSettings result = m_settings;
        result.nLength = sizeof(SerialLineSettings);
        ReadLineSettingsFromTermios(tio, result);
        // The lines themselves, where the tty has them and the record says they are held
        // (with CRTSCTS the driver moves RTS itself).
        int nLines = 0;
        if (ioctl(m_nFd, TIOCMGET, &nLines) == 0) {
            if (result.nDtrControl <= LINE_CONTROL_ENABLE)
                result.nDtrControl =
                    (nLines & TIOCM_DTR) ? LINE_CONTROL_ENABLE : LINE_CONTROL_DISABLE;
            if (result.nRtsControl <= LINE_CONTROL_ENABLE && !(tio.c_cflag & CRTSCTS))
                result.nRtsControl =
                    (nLines & TIOCM_RTS) ? LINE_CONTROL_ENABLE : LINE_CONTROL_DISABLE;
        } else if (errno != ENOTTY && errno != EINVAL) {
            return Fail(errno);
        }
        settings = result;
        return true;
    }

    bool SetLineSettings(const SerialLineSettings& settings) override {
        if (!CheckOpen())
            return false;
        if (settings.nDtrControl > LINE_CONTROL_HANDSHAKE ||
            settings.nRtsControl > RTS_CONTROL_TOGGLE)
            return Fail(EINVAL);
        termios before;
        if (tcgetattr(m_nFd, &before) != 0)
            return Fail(errno);
        termios tio = before;
        if (!ApplyLineSettingsToTermios(settings, tio))
            return Fail(errno);
        // tcsetattr succeeds when the tty took any part of the settings: look at what it has.
        // A pty, for one, stays at CS8 without parity.
        termios taken;
        if (tcsetattr(m_nFd, TCSANOW, &tio) != 0 || tcgetattr(m_nFd, &taken) != 0 ||
            !TookLineSettings(tio, taken)) {
            const int nCode = errno;
            tcsetattr(m_nFd, TCSANOW, &before);
            return Fail(nCode);
        }
        // Handshake and toggle leave the line to the driver.
        int nRaise = 0;
        int nLower = 0;
        if (settings.nDtrControl == LINE_CONTROL_ENABLE)
            nRaise |= TIOCM_DTR;
        if (settings.nDtrControl == LINE_CONTROL_DISABLE)
            nLower |= TIOCM_DTR;
        if (settings.nRtsControl == LINE_CONTROL_ENABLE)
            nRaise |= TIOCM_RTS;
        if (settings.nRtsControl == LINE_CONTROL_DISABLE)
            nLower |= TIOCM_RTS;
        if (!ChangeModemLines(m_nFd, TIOCMBIS, nRaise) ||
            !ChangeModemLines(m_nFd, TIOCMBIC, nLower))
            return Fail(errno);
        m_settings = settings;
        return true;
    }

    bool GetTimeouts(SerialTimeouts& timeouts) override {
        if (!CheckOpen())
            return false;
        timeouts = m_timeouts;
        return true;
    }

    // Kept for the caller only: reads never wait here.
    bool SetTimeouts(const SerialTimeouts& timeouts) override {
        if (!CheckOpen())
            return false;
        m_timeouts = timeouts;
        return true;
    }

    // Linux sizes its tty buffers itself.
    bool SetBufferSizes(uint32_t nInBytes, uint32_t nOutBytes) override {
        if (!CheckOpen())
            return false;
        m_nInBufferSize = nInBytes;
        m_nOutBufferSize = nOutBytes;
        return true;
    }

    bool ClearErrors(uint32_t& nErrors, SerialStatus& status) override {
        if (!CheckOpen())
            return false;
        int nIn = 0;
        int nOut = 0;
        if (ioctl(m_nFd, FIONREAD, &nIn) != 0)
            return Fail(errno);
        if (ioctl(m_nFd, TIOCOUTQ, &nOut) != 0)
            return Fail(errno);
        nErrors = 0;
        status.nInQueue = static_cast<uint32_t>(nIn);
        status.nOutQueue = static_cast<uint32_t>(nOut);
        return true;
    }

    bool Read(uint8_t* pBuffer, uint32_t nCount, uint32_t& nRead) override {
        nRead = 0;
        if (!CheckOpen())
            return false;
        if (nCount == 0)
            return true;
        for (;;) {
            const ssize_t n = read(m_nFd, pBuffer, nCount);
            if (n > 0) {
                nRead = static_cast<uint32_t>(n);
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return Fail(errno);
            break;
        }
        // Nothing there (with VMIN = VTIME = 0 the tty answers 0, not EAGAIN). A tty that was
        // hung up, an unplugged USB adapter, answers 0 as well: poll tells them apart.
        pollfd pfd = {m_nFd, POLLIN, 0};
        if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return Fail(EIO);
        return true;
    }

    bool Write(const uint8_t* pBuffer, uint32_t nCount, uint32_t& nWritten) override {
        nWritten = 0;
        if (!CheckOpen())
            return false;
        while (nWritten < nCount) {
            const ssize_t n = write(m_nFd, pBuffer + nWritten, nCount - nWritten);
            if (n > 0) {
                nWritten += static_cast<uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitWritable())
                    return false;
                continue;
            }
            return Fail(errno);
        }
        return true;
    }

    bool Close() override {
        if (!CheckOpen())
            return false;
        Release();
        return true;
    }

  private:
    bool CheckOpen() const { return m_nFd >= 0 || Fail(EBADF); }

    // Waits without a time limit until the tty takes more bytes.
    bool WaitWritable() {
        for (;;) {
            pollfd pfd = {m_nFd, POLLOUT, 0};
            const int nReady = poll(&pfd, 1, -1);
            if (nReady < 0) {
                if (errno == EINTR)
                    continue;
                return Fail(errno);
            }
            if (pfd.revents & POLLOUT)
                return true;
            if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))
                return Fail(EIO);
        }
    }

    // Gives the tty back as it was found. Best effort: a device that is gone cannot take it.
    void Release() {
        if (m_nFd < 0)
            return;
        tcsetattr(m_nFd, TCSANOW, &m_savedTermios);
        ioctl(m_nFd, TIOCNXCL);
        flock(m_nFd, LOCK_UN);
        close(m_nFd);
        m_nFd = -1;
    }

    int m_nFd;
    termios m_savedTermios;
    SerialLineSettings m_settings;
    SerialTimeouts m_timeouts;
    uint32_t m_nInBufferSize = 4096;
    uint32_t m_nOutBufferSize = 4096;
};

}  // namespace

bool ApplyLineSettingsToTermios(const SerialLineSettings& settings, termios& tio) {
    speed_t speed = B0;
    bool bValid = SpeedForBaud(settings.nBaudRate, speed);
    tcflag_t nSize = CS8;
    switch (settings.nByteSize) {
        case 5:
            nSize = CS5;
            break;
        case 6:
            nSize = CS6;
            break;
        case 7:
            nSize = CS7;
            break;
        case 8:
            nSize = CS8;
            break;
        default:
            bValid = false;
    }
    // CSTOPB is 1.5 stop bits with 5 data bits and 2 otherwise.
    switch (settings.nStopBits) {
        case STOP_BITS_ONE:
            break;
        case STOP_BITS_ONE_AND_HALF:
            bValid = bValid && settings.nByteSize == 5;
            break;
        case STOP_BITS_TWO:
            bValid = bValid && settings.nByteSize != 5;
            break;
        default:
            bValid = false;
    }
    if (!bValid || settings.nParity > PARITY_SPACE) {
        errno = EINVAL;
        return false;
    }

    termios raw = tio;
    cfmakeraw(&raw);
    raw.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    raw.c_cflag |= CLOCAL | CREAD | nSize;
    if (settings.nParity != PARITY_NONE)
        raw.c_cflag |= PARENB;
    if (settings.nParity == PARITY_ODD || settings.nParity == PARITY_MARK)
        raw.c_cflag |= PARODD;
    if (settings.nParity == PARITY_MARK || settings.nParity == PARITY_SPACE)
        raw.c_cflag |= CMSPAR;
    if (settings.nStopBits != STOP_BITS_ONE)
        raw.c_cflag |= CSTOPB;
    if (settings.bOutxCtsFlow)
        raw.c_cflag |= CRTSCTS;

    raw.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR);
    if (settings.bParity)
        raw.c_iflag |= INPCK;
    if (settings.bOutX)
        raw.c_iflag |= IXON;
    if (settings.bInX)
        raw.c_iflag |= IXOFF;
    raw.c_cc[VSTART] = static_cast<cc_t>(settings.cXonChar);
    raw.c_cc[VSTOP] = static_cast<cc_t>(settings.cXoffChar);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    cfsetispeed(&raw, speed);
    cfsetospeed(&raw, speed);
    tio = raw;
    return true;
}

void ReadLineSettingsFromTermios(const termios& tio, SerialLineSettings& settings) {
    BaudForSpeed(cfgetospeed(&tio), settings.nBaudRate);
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            settings.nByteSize = 5;
            break;
        case CS6:
            settings.nByteSize = 6;
            break;
        case CS7:
            settings.nByteSize = 7;
            break;
        default:
            settings.nByteSize = 8;
            break;
    }
    const bool bOdd = tio.c_cflag & PARODD;
    if (!(tio.c_cflag & PARENB))
        settings.nParity = PARITY_NONE;
    else if (tio.c_cflag & CMSPAR)
        settings.nParity = bOdd ? PARITY_MARK : PARITY_SPACE;
    else
        settings.nParity = bOdd ? PARITY_ODD : PARITY_EVEN;
    if (!(tio.c_cflag & CSTOPB))
        settings.nStopBits = STOP_BITS_ONE;
    else
        settings.nStopBits = settings.nByteSize == 5 ? STOP_BITS_ONE_AND_HALF : STOP_BITS_TWO;
    settings.bParity = tio.c_iflag & INPCK;
    settings.bOutxCtsFlow = tio.c_cflag & CRTSCTS;
    settings.bOutX = tio.c_iflag & IXON;
    settings.bInX = tio.c_iflag & IXOFF;
    settings.cXonChar = static_cast<char>(tio.c_cc[VSTART]);
    settings.cXoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

std::unique_ptr<SerialDevice> OpenTermiosDevice(const std::string& strPath) {
    const int nFd = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0) {
        Fail(errno);
        return nullptr;
    }
    // Closing the descriptor also drops the flock taken on it.
    auto failOpen = [nFd](int nCode) -> std::unique_ptr<SerialDevice> {
        close(nFd);
        Fail(nCode);
        return nullptr;
    };
    // The lock sits on the device inode, whatever path led there; unlike TIOCEXCL it holds
    // against root.
    if (flock(nFd, LOCK_EX | LOCK_NB) != 0)
        return failOpen(errno == EWOULDBLOCK ? EBUSY : errno);
    termios saved;
    if (tcgetattr(nFd, &saved) != 0)
        return failOpen(errno);
    // A program that holds the tty with TIOCEXCL alone does not stop root from opening it.
    int nExclusive = 0;
    if (ioctl(nFd, TIOCGEXCL, &nExclusive) == 0 && nExclusive != 0)
        return failOpen(EBUSY);
    if (ioctl(nFd, TIOCEXCL) != 0)
        return failOpen(errno);

    auto pDevice = std::make_unique<TermiosDevice>(nFd, saved);
    SerialLineSettings settings;
    settings.nBaudRate = 19200;
    settings.nDtrControl = LINE_CONTROL_DISABLE;
    settings.nRtsControl = LINE_CONTROL_DISABLE;
    if (!pDevice->SetLineSettings(settings)) {
        const uint32_t nCode = LastSystemError();
        pDevice.reset();
        SetLastSystemError(nCode);
        return nullptr;
    }
    return pDevice;
}

}  // namespace platform
