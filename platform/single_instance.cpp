#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/files.h"

namespace platform {

namespace {

constexpr char ACTIVATE_MESSAGE[] = "activate";

// The folder of the lock and the socket: the session's own runtime folder, else one made for
// this user alone.
std::string LockFolder() {
    const char* pRuntime = std::getenv("XDG_RUNTIME_DIR");
    if (pRuntime && *pRuntime)
        return pRuntime;
    return "/tmp/morvane-gyro-tools-" + std::to_string(geteuid());
}

std::string Reason(int nError) {
    return nError == EPERM ? "not a folder of this user alone" : std::strerror(nError);
}

bool SocketAddress(const std::string& strPath, sockaddr_un& address, socklen_t& nLength) {
    address = {};
    address.sun_family = AF_UNIX;
    if (strPath.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, strPath.c_str(), strPath.size() + 1);
    nLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + strPath.size() + 1);
    return true;
}

}  // namespace

SingleInstance::SingleInstance(const std::string& strExecutablePath) {
    m_strName = strExecutablePath;
    std::replace(m_strName.begin(), m_strName.end(), '\\', '/');
    // The path can be long and hold any character: the lock file and the socket are named by
    // its hash and the user.
    const std::string strFolder = LockFolder();
    const std::string strKey = strFolder + "/morvane-gyro-tools-" + std::to_string(geteuid()) +
                               "-" + std::to_string(std::hash<std::string>{}(m_strName));
    m_strLockPath = strKey + ".lock";
    m_strSocketPath = strKey + ".socket";
    m_bFirst = true;
    if (const int nError = MakeOwnFolder(strFolder)) {
        m_strProblem = strFolder + ": " + Reason(nError);
        return;
    }
    // Not through a link, and only a file of this user's own.
    m_nLock =
        open(m_strLockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat lock {};
    if (m_nLock < 0) {
        m_strProblem = m_strLockPath + ": " + std::strerror(errno);
    } else if (fstat(m_nLock, &lock) != 0 || !S_ISREG(lock.st_mode) || lock.st_uid != geteuid()) {
        m_strProblem = m_strLockPath + ": not a file of this user's own";
    } else if (flock(m_nLock, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            m_bFirst = false;
            return;
        }
        m_strProblem = m_strLockPath + ": " + std::strerror(errno);
    }
    if (!m_strProblem.empty()) {
        if (m_nLock >= 0)
            close(m_nLock);
        m_nLock = -1;
        return;
    }

    // Holding the lock, this copy owns the socket's name: one left by a copy that died goes.
    sockaddr_un address{};
    socklen_t nLength = 0;
    if (!SocketAddress(m_strSocketPath, address, nLength)) {
        m_strProblem = m_strSocketPath + ": " + std::strerror(ENAMETOOLONG);
        return;
    }
    unlink(m_strSocketPath.c_str());
    m_nSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_nSocket < 0 ||
        bind(m_nSocket, reinterpret_cast<const sockaddr*>(&address), nLength) != 0) {
        m_strProblem = m_strSocketPath + ": " + std::strerror(errno);
        if (m_nSocket >= 0)
            close(m_nSocket);
        m_nSocket = -1;
    }
}

SingleInstance::~SingleInstance() {
    if (m_nSocket >= 0) {
        close(m_nSocket);
        unlink(m_strSocketPath.c_str());
    }
    if (m_nLock >= 0)
        close(m_nLock);
}

bool SingleInstance::ActivateRunningCopy(int nTries, int nWaitMs) const {
    sockaddr_un address{};
    socklen_t nLength = 0;
    if (!SocketAddress(m_strSocketPath, address, nLength))
        return false;
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
