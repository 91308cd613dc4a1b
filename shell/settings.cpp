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

// "morvane.ini" beside the program: the executable's folder (up to and including its last '/',
// or the handheld's '\\') followed by the name. Empty when the program's path is unknown or the
// result is beyond the file layer's limit.
std::string ProgramSettingsPath() {
    char szDirectory[platform::MAX_FILE_PATH] = {};
    if (platform::GetExecutablePath(szDirectory, platform::MAX_FILE_PATH) == 0)
        return {};
    char* pSeparator = std::strrchr(szDirectory, '/');
    char* pBackslash = std::strrchr(szDirectory, '\\');
    if (!pSeparator || (pBackslash && pBackslash > pSeparator))
        pSeparator = pBackslash;
    if (pSeparator)
        pSeparator[1] = '\0';
    else
        szDirectory[0] = '\0';
    char szFile[platform::MAX_FILE_PATH];
    const int nLength =
        std::snprintf(szFile, platform::MAX_FILE_PATH, "%s%s", szDirectory, SETTINGS_NAME);
    return nLength > 0 && nLength < static_cast<int>(platform::MAX_FILE_PATH) ? szFile : "";
}

// "morvane.ini" in the user's configuration folder; empty when there is none.
std::string UserSettingsPath() {
    const std::string strFolder = platform::UserConfigFolder();
    const std::string strFile = strFolder + "/" + SETTINGS_NAME;
    return strFolder.empty() || strFile.size() >= platform::MAX_FILE_PATH ? "" : strFile;
}

// The file is replaced through a new file beside it, so its folder must be writable; a file
// the pilot made read-only keeps its port and is not replaced.
bool Replaceable(const std::string& strFile) {
    if (strFile.empty())
        return false;
    const size_t nSlash = strFile.rfind('/');
    const std::string strFolder = nSlash == std::string::npos ? "." : strFile.substr(0, nSlash + 1);
    return access(strFolder.c_str(), W_OK | X_OK) == 0 &&
           (access(strFile.c_str(), F_OK) != 0 || access(strFile.c_str(), W_OK) == 0);
}

}  // namespace

// Beside the program when that file can be replaced there. Otherwise the user's file, and
// while the user has none yet, the one beside the program still tells the port.
int LoadComPortSetting() {
    const std::string strProgram = ProgramSettingsPath(), strUser = UserSettingsPath();
    const std::string& strFile =
        Replaceable(strProgram) || strUser.empty() || access(strUser.c_str(), F_OK) != 0
            ? strProgram
            : strUser;
    if (strFile.empty())
        return 0;
    const int fd = open(strFile.c_str(), O_RDONLY | O_CLOEXEC);
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

// Beside the program when the file can be replaced there, else in the user's folder.
bool SaveComPortSetting(int nComPort) {
    const std::string strProgram = ProgramSettingsPath();
    const std::string strFile = Replaceable(strProgram) ? strProgram : UserSettingsPath();
    if (strFile.empty())
        return false;
    // The user's configuration folder may not exist yet.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(strFile).parent_path(), ec);
    char szNumber[16];
    const int nLength = std::snprintf(szNumber, sizeof szNumber, "%i", nComPort);
    return nLength > 0 &&
           platform::ReplaceFile(strFile, std::string(szNumber, static_cast<size_t>(nLength)),
                                 0644) == 0;
}
