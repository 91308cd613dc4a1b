#include "platform/append_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

CAppendFile::~CAppendFile() {
    if (m_bOwned)
        close(m_nFd);
}

int CAppendFile::Open(const std::string& strPath) {
    if (strPath == "-") {
        m_nFd = STDERR_FILENO;
        return 0;
    }
    // Non-blocking only while opening: a pipe without a reader fails instead of waiting.
    const int nFd =
        open(strPath.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK, 0644);
    if (nFd < 0)
        return errno;
    const int nFlags = fcntl(nFd, F_GETFL);
    if (nFlags < 0 || fcntl(nFd, F_SETFL, nFlags & ~O_NONBLOCK) < 0) {
        const int nError = errno;
        close(nFd);
        return nError;
    }
    m_nFd = nFd;
    m_bOwned = true;
    return 0;
}

bool CAppendFile::Append(std::string_view strText) {
    while (m_nFd >= 0 && !strText.empty()) {
        const ssize_t nWritten = write(m_nFd, strText.data(), strText.size());
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0)
            return false;
        strText.remove_prefix(static_cast<size_t>(nWritten));
    }
    return m_nFd >= 0;
}

}  // namespace platform
