#include "platform/files.h"

#include <unistd.h>

#include <cstring>
#include <utility>

namespace platform {

namespace {

std::optional<std::string> g_executableOverride;

std::string ReadExecutableLink() {
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

}  // namespace

uint32_t GetExecutablePath(char* pBuffer, uint32_t nCapacity) {
    if (!pBuffer || nCapacity == 0)
        return 0;
    const std::string strPath = g_executableOverride ? *g_executableOverride : ReadExecutableLink();
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

}  // namespace platform
