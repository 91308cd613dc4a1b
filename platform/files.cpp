#include "platform/files.h"

#include <unistd.h>

#include <cstdlib>
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

std::string UserConfigFolder() {
    const char* pConfig = std::getenv("XDG_CONFIG_HOME");
    if (pConfig && *pConfig)
        return std::string(pConfig) + "/morvane";
    const char* pHome = std::getenv("HOME");
    if (pHome && *pHome)
        return std::string(pHome) + "/.config/morvane";
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
