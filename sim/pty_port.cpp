#include "sim/pty_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {

bool CPtyPort::Open(std::string& strError) {
    Close();
    auto fail = [&](const char* pStep) {
        strError = std::string(pStep) + ": " + std::strerror(errno);
        Close();
        return false;
    };
    m_nMasterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMasterFd < 0)
        return fail("posix_openpt");
    if (grantpt(m_nMasterFd) != 0)
        return fail("grantpt");
    if (unlockpt(m_nMasterFd) != 0)
        return fail("unlockpt");
    char path[128];
    if (ptsname_r(m_nMasterFd, path, sizeof path) != 0)
        return fail("ptsname_r");
    m_strSlavePath = path;

    m_nSlaveFd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nSlaveFd < 0)
        return fail(path);
    // Raw before anyone talks: a cooked terminal would echo requests back to the gyro and
    // translate line ends.
    termios tio{};
    if (tcgetattr(m_nSlaveFd, &tio) != 0)
        return fail("tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    if (tcsetattr(m_nSlaveFd, TCSANOW, &tio) != 0)
        return fail("tcsetattr");

    const int nFlags = fcntl(m_nMasterFd, F_GETFL);
    if (nFlags < 0 || fcntl(m_nMasterFd, F_SETFL, nFlags | O_NONBLOCK) != 0)
        return fail("fcntl");
    return true;
}

void CPtyPort::Close() {
    if (m_nSlaveFd >= 0)
        close(m_nSlaveFd);
    if (m_nMasterFd >= 0)
        close(m_nMasterFd);
    m_nSlaveFd = -1;
    m_nMasterFd = -1;
}

}  // namespace sim
