// Ports published by programs such as the gyro simulator: a symbolic link named after the
// port's friendly name, pointing at the device, in one folder per user.
#pragma once

#include <string>
#include <vector>

namespace platform {

// $XDG_RUNTIME_DIR/morvane-ports, or /tmp/morvane-ports-<uid> when that variable is unset.
std::string PublishedPortsFolder();

struct PublishedPort {
    std::string strFriendlyName;  // the link's name
    std::string strDevicePath;    // where the link points
};

// The live published ports (links whose device exists), sorted by friendly name.
std::vector<PublishedPort> ListPublishedPorts();

// Creates the folder when needed and the link; false with errno set on failure. An existing
// link of the same name is replaced.
bool PublishPort(const std::string& strFriendlyName, const std::string& strDevicePath);
void UnpublishPort(const std::string& strFriendlyName);

}  // namespace platform
