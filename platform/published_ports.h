// Ports published by programs such as the gyro simulator: a symbolic link named after the
// port's friendly name, pointing at the device, in one folder per user.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// $XDG_RUNTIME_DIR/morvane-ports, or /tmp/morvane-ports-<uid> when that variable is unset.
std::string PublishedPortsFolder();

struct PublishedPort {
    std::string strFriendlyName;  // the link's name
    std::string strDevicePath;    // where the link points
};

// The folder is trusted only when it is a folder of this user that nobody else may write to:
// otherwise another local user could plant a "gyro" there that leads to any device the pilot
// may open. Untrusted, it publishes and lists nothing.
bool PublishedPortsFolderTrusted();

// The live published ports, sorted by friendly name: the links in a trusted folder that lead
// to a character device.
std::vector<PublishedPort> ListPublishedPorts();

// The link of a port with that friendly name when it is one ListPublishedPorts would list;
// otherwise nothing, with errno set.
std::optional<std::string> PublishedPortLink(const std::string& strFriendlyName);

// Creates the folder when needed and the link; false with errno set on failure, EACCES for an
// untrusted folder, EEXIST when a live port holds the name (its link leads to a character
// device). A link of the same name that leads nowhere, left by a program that died, is replaced.
bool PublishPort(const std::string& strFriendlyName, const std::string& strDevicePath);
void UnpublishPort(const std::string& strFriendlyName);

}  // namespace platform
