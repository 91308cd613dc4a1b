#include "platform/published_ports.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/files.h"

namespace platform {

namespace fs = std::filesystem;

std::string PublishedPortsFolder() {
    const char* pRuntime = std::getenv("XDG_RUNTIME_DIR");
    if (pRuntime && *pRuntime)
        return std::string(pRuntime) + "/morvane-ports";
    return "/tmp/morvane-ports-" + std::to_string(getuid());
}

bool PublishedPortsFolderTrusted() {
    return OwnFolderTrusted(PublishedPortsFolder()) == 0;
}

namespace {

bool ValidName(const std::string& strName) {
    return !strName.empty() && strName.find('/') == std::string::npos && strName != "." &&
           strName != "..";
}

// A link of the folder that leads to a character device; a link left behind by a program that
// died leads nowhere.
bool LeadsToCharacterDevice(const std::string& strLink) {
    struct stat link {
    }, device{};
    if (lstat(strLink.c_str(), &link) != 0 || stat(strLink.c_str(), &device) != 0)
        return false;
    if (S_ISLNK(link.st_mode) && S_ISCHR(device.st_mode))
        return true;
    errno = ENODEV;
    return false;
}

}  // namespace

std::vector<PublishedPort> ListPublishedPorts() {
    std::vector<PublishedPort> ports;
    if (!PublishedPortsFolderTrusted())
        return ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(PublishedPortsFolder(), ec)) {
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (ec || !LeadsToCharacterDevice(entry.path().string()))
            continue;
        ports.push_back({entry.path().filename().string(), target.string()});
    }
    std::sort(ports.begin(), ports.end(), [](const PublishedPort& a, const PublishedPort& b) {
        return a.strFriendlyName < b.strFriendlyName;
    });
    return ports;
}

std::optional<std::string> PublishedPortLink(const std::string& strFriendlyName) {
    const std::string strLink = PublishedPortsFolder() + "/" + strFriendlyName;
    if (!ValidName(strFriendlyName)) {
        errno = ENOENT;
        return std::nullopt;
    }
    if (!PublishedPortsFolderTrusted()) {
        errno = EACCES;
        return std::nullopt;
    }
    if (!LeadsToCharacterDevice(strLink))
        return std::nullopt;
    return strLink;
}

bool PublishPort(const std::string& strFriendlyName, const std::string& strDevicePath) {
    if (!ValidName(strFriendlyName)) {
        errno = EINVAL;
        return false;
    }
    const std::string strFolder = PublishedPortsFolder();
    if (mkdir(strFolder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    if (!PublishedPortsFolderTrusted()) {
        errno = EACCES;
        return false;
    }
    const std::string strLink = strFolder + "/" + strFriendlyName;
    // symlink() never replaces, so of two programs publishing at once only one gets the name.
    // A link that leads to no character device is one left behind, and goes.
    for (int nTry = 0; nTry < 3; ++nTry) {
        if (symlink(strDevicePath.c_str(), strLink.c_str()) == 0)
            return true;
        if (errno != EEXIST)
            return false;
        if (LeadsToCharacterDevice(strLink)) {
            errno = EEXIST;
            return false;
        }
        if (unlink(strLink.c_str()) != 0 && errno != ENOENT)
            return false;
    }
    errno = EEXIST;
    return false;
}

void UnpublishPort(const std::string& strFriendlyName) {
    const std::string strLink = PublishedPortsFolder() + "/" + strFriendlyName;
    unlink(strLink.c_str());
}

}  // namespace platform
