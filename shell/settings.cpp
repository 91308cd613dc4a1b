#include "shell/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/files.h"

namespace {

constexpr int SETTING_READ_BYTES = 4;

constexpr char SETTINGS_NAME[] = "morvane.ini";

// The settings file's full path. Beside the program: the executable's folder (up to and
// including its last '/', or the handheld's '\\') followed by the name, when that file can be
// written or, while it does not exist, created. Otherwise in the user's configuration folder.
// False when neither place has a path within the file layer's limit.
bool BuildSettingsPath(char (&szFile)[platform::MAX_FILE_PATH]) {
    char szDirectory[platform::MAX_FILE_PATH] = {};
    if (platform::GetExecutablePath(szDirectory, platform::MAX_FILE_PATH) != 0) {
        char* pSeparator = std::strrchr(szDirectory, '/');
        char* pBackslash = std::strrchr(szDirectory, '\\');
        if (!pSeparator || (pBackslash && pBackslash > pSeparator))
            pSeparator = pBackslash;
        if (pSeparator)
            pSeparator[1] = '\0';
        else
            szDirectory[0] = '\0';
        const int nLength =
            std::snprintf(szFile, platform::MAX_FILE_PATH, "%s%s", szDirectory, SETTINGS_NAME);
        // The folder that holds the file (a '\\' is part of a name on Linux) decides only while
        // the file does not exist.
        const std::string strFile = szFile;
        const size_t nSlash = strFile.rfind('/');
        const std::string strFolder =
            nSlash == std::string::npos ? "." : strFile.substr(0, nSlash + 1);
        if (nLength > 0 && nLength < static_cast<int>(platform::MAX_FILE_PATH) &&
            (access(szFile, F_OK) == 0 ? access(szFile, W_OK) == 0
                                       : access(strFolder.c_str(), W_OK) == 0))
            return true;
    }
    const std::string strFolder = platform::UserConfigFolder();
    const int nLength =
        std::snprintf(szFile, platform::MAX_FILE_PATH, "%s/%s", strFolder.c_str(), SETTINGS_NAME);
    return !strFolder.empty() && nLength > 0 && nLength < static_cast<int>(platform::MAX_FILE_PATH);
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
    // The user's configuration folder may not exist yet.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(szFile).parent_path(), ec);
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
