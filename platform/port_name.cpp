// The handheld's port names, the same on every system.
#include <cctype>
#include <string_view>

#include "platform/port_map.h"

namespace platform {

std::optional<int> PortMap::ParseComName(const std::string& strComName) {
    std::string_view name(strComName);
    if (!name.empty() && name.back() == ':')
        name.remove_suffix(1);
    if (name.size() < 4 || name.size() > 5)
        return std::nullopt;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return std::nullopt;
    }
    int nNumber = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        nNumber = nNumber * 10 + (c - '0');
    }
    // No leading zero: "COM03" is not a device name.
    if (name[3] == '0' || nNumber < MIN_PORT_NUMBER)
        return std::nullopt;
    return nNumber;
}

}  // namespace platform
