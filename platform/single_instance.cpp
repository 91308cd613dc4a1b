#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

namespace platform {

namespace {

constexpr char ACTIVATE_MESSAGE[] = "activate";

std::string RuntimeFolder() {
    const char* pRuntime = std::getenv("XDG_RUNTIME_DIR");
    if (pRuntime && *pRuntime)
        return pRuntime;
    return "/tmp";
}

// An abstract socket address: no file to leave behind when a copy dies.
sockaddr_un SocketAddress(const std::string& strName, socklen_t& nLength) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string strAbstract = "morvane-gyro-tools/" + strName;
    const size_t nCopy = std::min(strAbstract.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, strAbstract.data(), nCopy);
    nLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + nCopy);
    return address;
}

}  // namespace

SingleInstance::SingleInstance(const std::string& strExecutablePath) {
    m_strName = strExecutablePath;
    std::replace(m_strName.begin(), m_strName.end(), '\\', '/');
    // The path can be long and hold any character: the lock file is named by its hash and
    // the user, the socket by the same.
    m_strKey = std::to_string(getuid()) + "-" + std::to_string(std::hash<std::string>{}(m_strName));
    const std::string& strKey = m_strKey;
    const std::string strLockPath = RuntimeFolder() + "/morvane-gyro-tools-" + strKey + ".lock";
    m_nLock = open(strLockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    m_bFirst = m_nLock >= 0 && flock(m_nLock, LOCK_EX | LOCK_NB) == 0;
    if (m_nLock >= 0 && !m_bFirst && errno != EWOULDBLOCK)
        m_bFirst = true;  // no locking here
    if (!m_bFirst)
        return;

    m_nSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    socklen_t nLength = 0;
    const sockaddr_un address = SocketAddress(strKey, nLength);
    if (m_nSocket >= 0 &&
        bind(m_nSocket, reinterpret_cast<const sockaddr*>(&address), nLength) != 0) {
        close(m_nSocket);
        m_nSocket = -1;
    }
}

SingleInstance::~SingleInstance() {
    if (m_nSocket >= 0)
        close(m_nSocket);
    if (m_nLock >= 0)
        close(m_nLock);
}

bool SingleInstance::ActivateRunningCopy(int nTries, int nWaitMs) const {
    socklen_t nLength = 0;
    const sockaddr_un address = SocketAddress(m_strKey, nLength);
    const int nSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (nSocket < 0)
        return false;
    bool bReached = false;
    for (int nTry = 0; nTry < nTries && !bReached; ++nTry) {
        if (nTry > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(nWaitMs));
        bReached = sendto(nSocket, ACTIVATE_MESSAGE, sizeof ACTIVATE_MESSAGE - 1, 0,
                          reinterpret_cast<const sockaddr*>(&address), nLength) >= 0;
    }
    close(nSocket);
    return bReached;
}

bool SingleInstance::TakeActivation() const {
    if (m_nSocket < 0)
        return false;
    char buffer[32];
    bool bTaken = false;
    while (recv(m_nSocket, buffer, sizeof buffer, 0) > 0)
        bTaken = true;
    return bTaken;
}

}  // namespace platform
