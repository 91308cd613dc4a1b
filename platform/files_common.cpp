// The file services that are the same on every system, over what each system's own file
// gives: its folders, its trust rule and the running program's path.
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/files.h"
#include "platform/files_system.h"

namespace platform {

namespace {

std::optional<std::string> g_executableOverride;

}  // namespace

int MakeOwnFolder(const std::string& strFolder) {
    if (strFolder.empty())
        return ENOENT;
    const int nError = MakeFolders(strFolder);
    return nError != 0 ? nError : OwnFolderTrusted(strFolder);
}

uint32_t GetExecutablePath(char* pBuffer, uint32_t nCapacity) {
    if (!pBuffer || nCapacity == 0)
        return 0;
    const std::string strPath = g_executableOverride ? *g_executableOverride : RunningProgramPath();
    // A cut path would name another folder: no path at all is safer.
    if (strPath.empty() || strPath.size() >= nCapacity) {
        pBuffer[0] = '\0';
        return 0;
    }
    std::memcpy(pBuffer, strPath.c_str(), strPath.size() + 1);
    return static_cast<uint32_t>(strPath.size());
}

void SetExecutablePathOverride(std::optional<std::string> strPath) {
    g_executableOverride = std::move(strPath);
}

std::string UserConfigFolder() {
    return XdgUserFolder("XDG_CONFIG_HOME", ".config", "morvane");
}

}  // namespace platform
