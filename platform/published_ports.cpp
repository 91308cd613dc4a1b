#include "platform/published_ports.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace platform {

namespace fs = std::filesystem;

std::string PublishedPortsFolder() {
    const char* pRuntime = std::getenv("XDG_RUNTIME_DIR");
    if (pRuntime && *pRuntime)
        return std::string(pRuntime) + "/morvane-ports";
    return "/tmp/morvane-ports-" + std::to_string(getuid());
}

std::vector<PublishedPort> ListPublishedPorts() {
    std::vector<PublishedPort> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(PublishedPortsFolder(), ec)) {
        if (!entry.is_symlink(ec))
            continue;
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (ec)
            continue;
        // A link left behind by a program that died points at nothing: skip it.
        if (!fs::exists(entry.path(), ec))
            continue;
        ports.push_back({entry.path().filename().string(), target.string()});
    }
    std::sort(ports.begin(), ports.end(), [](const PublishedPort& a, const PublishedPort& b) {
        return a.strFriendlyName < b.strFriendlyName;
    });
    return ports;
}

bool PublishPort(const std::string& strFriendlyName, const std::string& strDevicePath) {
    if (strFriendlyName.empty() || strFriendlyName.find('/') != std::string::npos ||
        strFriendlyName == "." || strFriendlyName == "..") {
        errno = EINVAL;
        return false;
    }
    const std::string strFolder = PublishedPortsFolder();
    if (mkdir(strFolder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    const std::string strLink = strFolder + "/" + strFriendlyName;
    unlink(strLink.c_str());
    return symlink(strDevicePath.c_str(), strLink.c_str()) == 0;
}

void UnpublishPort(const std::string& strFriendlyName) {
    const std::string strLink = PublishedPortsFolder() + "/" + strFriendlyName;
    unlink(strLink.c_str());
}

}  // namespace platform
