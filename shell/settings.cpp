#include "shell/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace {

constexpr int SETTING_READ_BYTES = 4;

// The settings file's full path: the executable's folder (up to and including its last '/',
// or the handheld's '\\') followed by "morvane.ini". False when the path does not fit the file
// layer's limit or the program's path is unknown.
bool BuildSettingsPath(char (&szFile)[platform::MAX_FILE_PATH]) {
    char szDirectory[platform::MAX_FILE_PATH] = {};
    if (platform::GetExecutablePath(szDirectory, platform::MAX_FILE_PATH) == 0)
        return false;
    char* pSeparator = std::strrchr(szDirectory, '/');
    char* pBackslash = std::strrchr(szDirectory, '\\');
    if (!pSeparator || (pBackslash && pBackslash > pSeparator))
        pSeparator = pBackslash;
    if (pSeparator)
        pSeparator[1] = '\0';
    else
        szDirectory[0] = '\0';
    const int nLength =
        std::snprintf(szFile, platform::MAX_FILE_PATH, "%smorvane.ini", szDirectory);
    return nLength > 0 && nLength < static_cast<int>(platform::MAX_FILE_PATH);
}

}  // namespace

int LoadComPortSetting() {
    char szFile[platform::MAX_FILE_PATH];
    if (!BuildSettingsPath(szFile))
        return 0;
    const int fd = open(szFile, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buffer[10] = {};
    int nRead = 0;
    while (nRead < SETTING_READ_BYTES) {
        const ssize_t n = read(fd, buffer + nRead, static_cast<size_t>(SETTING_READ_BYTES - nRead));
        if (n <= 0)
            break;
        nRead += static_cast<int>(n);
    }
    close(fd);
    // The text ends at the first zero byte; every character before it must be a digit.
    for (const char* p = buffer; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
    }
    return std::atoi(buffer);
}

bool SaveComPortSetting(int nComPort) {
    char szFile[platform::MAX_FILE_PATH];
    if (!BuildSettingsPath(szFile))
        return false;
    const int fd = open(szFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    char szNumber[16];
    const int nLength = std::snprintf(szNumber, sizeof szNumber, "%i", nComPort);
    // A failed write after a good open is not reported: no caller looks at it.
    if (nLength > 0) {
        [[maybe_unused]] const ssize_t nWritten = write(fd, szNumber, static_cast<size_t>(nLength));
    }
    close(fd);
    return true;
}
