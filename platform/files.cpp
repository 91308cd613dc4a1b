#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/files_system.h"

namespace platform {

std::string RunningProgramPath() {
    std::string strPath(256, '\0');
    for (;;) {
        const ssize_t nLength = readlink("/proc/self/exe", strPath.data(), strPath.size());
        if (nLength < 0)
            return {};
        if (static_cast<size_t>(nLength) < strPath.size()) {
            strPath.resize(static_cast<size_t>(nLength));
            return strPath;
        }
        // Possibly cut: try again with more room.
        strPath.resize(strPath.size() * 2);
    }
}

namespace {

// Writes all of the text; 0 or the errno of the failed write.
int WriteAll(int fd, const std::string& strContent) {
    for (size_t nDone = 0; nDone < strContent.size();) {
        const ssize_t n = write(fd, strContent.data() + nDone, strContent.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        nDone += static_cast<size_t>(n);
    }
    return 0;
}

std::string FolderOf(const std::string& strPath) {
    const size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}

}  // namespace

// The folder and its missing parents (~/.local/state on a fresh account), each for this user
// alone; 0 when it exists afterwards.
int MakeFolders(const std::string& strFolder) {
    if (mkdir(strFolder.c_str(), 0700) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const std::string strParent = FolderOf(strFolder);
    if (strParent == strFolder)
        return ENOENT;
    if (const int nError = MakeFolders(strParent); nError != 0)
        return nError;
    return mkdir(strFolder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

int ReplaceFile(const std::string& strPath, const std::string& strContent, mode_t nMode) {
    struct stat old {};
    const bool bExists = stat(strPath.c_str(), &old) == 0;
    if (bExists && !S_ISREG(old.st_mode)) {
        const int fd = open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        const int nError = WriteAll(fd, strContent);
        close(fd);
        return nError;
    }
    // The file aside: a new name of the same folder, so that the rename stays within one file
    // system and replaces the old file in one step.
    const size_t nSlash = strPath.rfind('/');
    const std::string strFolder = FolderOf(strPath);
    const std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    const std::string strStem = (nSlash == std::string::npos ? "" : strPath.substr(0, nSlash + 1)) +
                                "." + strName + "." + std::to_string(getpid()) + ".";
    std::string strAside;
    int fd = -1;
    for (int nTry = 0; fd < 0 && nTry < 100; ++nTry) {
        strAside = strStem + std::to_string(nTry) + ".tmp";
        fd = open(strAside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                  bExists ? 0600 : nMode);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    int nError = WriteAll(fd, strContent);
    if (bExists && nError == 0) {
        // Root replacing a pilot's file leaves it the pilot's; others keep their own owner.
        if (old.st_uid != geteuid() || old.st_gid != getegid()) {
            const int nOwned = fchown(fd, old.st_uid, old.st_gid);
            static_cast<void>(nOwned);
        }
        if (fchmod(fd, old.st_mode & 07777) != 0)
            nError = errno;
    }
    if (nError == 0 && fsync(fd) != 0)
        nError = errno;
    if (close(fd) != 0 && nError == 0)
        nError = errno;
    if (nError == 0 && rename(strAside.c_str(), strPath.c_str()) != 0)
        nError = errno;
    if (nError != 0) {
        unlink(strAside.c_str());
        return nError;
    }
    // The rename itself reaches the disk with the folder.
    const int nFolder = open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nFolder >= 0) {
        fsync(nFolder);
        close(nFolder);
    }
    return 0;
}

int OwnFolderTrusted(const std::string& strFolder) {
    struct stat folder {};
    // lstat: a link planted in the folder's place is not followed.
    if (lstat(strFolder.c_str(), &folder) != 0)
        return errno;
    if (!S_ISDIR(folder.st_mode))
        return ENOTDIR;
    if (folder.st_uid != geteuid() || (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return EPERM;
    return 0;
}

std::string XdgUserFolder(const char* pszVariable, const std::string& strUnderHome,
                          const std::string& strTail) {
    const char* pFolder = std::getenv(pszVariable);
    if (pFolder && *pFolder)
        return std::string(pFolder) + "/" + strTail;
    const char* pHome = std::getenv("HOME");
    if (pHome && *pHome)
        return std::string(pHome) + "/" + strUnderHome + "/" + strTail;
    return {};
}

std::string NativePath(const std::wstring& strPath) {
    std::string strNative;
    for (const wchar_t c : strPath) {
        auto nCode = static_cast<uint32_t>(c);
        if (nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
            nCode = 0xFFFD;
        if (nCode < 0x80) {
            strNative += static_cast<char>(nCode);
        } else if (nCode < 0x800) {
            strNative += static_cast<char>(0xC0 | (nCode >> 6));
            strNative += static_cast<char>(0x80 | (nCode & 0x3F));
        } else if (nCode < 0x10000) {
            strNative += static_cast<char>(0xE0 | (nCode >> 12));
            strNative += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
            strNative += static_cast<char>(0x80 | (nCode & 0x3F));
        } else {
            strNative += static_cast<char>(0xF0 | (nCode >> 18));
            strNative += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
            strNative += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
            strNative += static_cast<char>(0x80 | (nCode & 0x3F));
        }
    }
    return strNative;
}

}  // namespace platform
