#include "platform/port_map.h"

#include <cctype>
#include <cerrno>
#include <string_view>
#include <utility>

#include "platform/published_ports.h"
#include "platform/serial.h"
#include "platform/serial_termios.h"

namespace platform {

PortMap& PortMap::Instance() {
    static PortMap s_map;
    return s_map;
}

bool PortMap::Add(int nNumber, std::string strFriendlyName, std::string strDevicePath) {
    if (nNumber < MIN_PORT_NUMBER || nNumber > MAX_PORT_NUMBER)
        return false;
    std::lock_guard lock(m_mutex);
    std::vector<Port> displaced;
    auto it = m_ports.find(nNumber);
    if (it != m_ports.end() && it->second.source == SOURCE_PUBLISHED)
        displaced.push_back(std::move(it->second));
    m_ports[nNumber] = Port{SOURCE_ADDED, "added:" + std::to_string(nNumber),
                            std::move(strFriendlyName), std::move(strDevicePath)};
    AssignNumbers(std::move(displaced));
    return true;
}

void PortMap::Remove(int nNumber) {
    std::lock_guard lock(m_mutex);
    m_ports.erase(nNumber);
}

void PortMap::Clear() {
    std::lock_guard lock(m_mutex);
    m_ports.clear();
    m_rememberedNumbers.clear();
}

void PortMap::Refresh() {
    std::vector<PublishedPort> published = ListPublishedPorts();
    std::lock_guard lock(m_mutex);
    // Published ports still there keep their numbers; the others are dropped.
    std::map<std::string, int> live;
    for (auto it = m_ports.begin(); it != m_ports.end();) {
        if (it->second.source == SOURCE_PUBLISHED) {
            live[it->second.strKey] = it->first;
            it = m_ports.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<Port> newcomers;
    for (PublishedPort& port : published) {
        Port entry{SOURCE_PUBLISHED, "published:" + port.strFriendlyName,
                   std::move(port.strFriendlyName), std::move(port.strDevicePath)};
        auto it = live.find(entry.strKey);
        if (it != live.end())
            m_ports.emplace(it->second, std::move(entry));
        else
            newcomers.push_back(std::move(entry));
    }
    AssignNumbers(std::move(newcomers));
}

void PortMap::AssignNumbers(std::vector<Port> unnumbered) {
    // First those coming back to a number that is free, then the rest in the order given.
    std::vector<Port> rest;
    for (Port& port : unnumbered) {
        auto it = m_rememberedNumbers.find(port.strKey);
        if (it != m_rememberedNumbers.end() && !m_ports.contains(it->second))
            m_ports.emplace(it->second, std::move(port));
        else
            rest.push_back(std::move(port));
    }
    for (Port& port : rest) {
        const int nNumber = LowestFreeNumber();
        if (nNumber == 0)
            break;  // every number taken: the port stays off the map
        m_rememberedNumbers.emplace(port.strKey, nNumber);
        m_ports.emplace(nNumber, std::move(port));
    }
}

int PortMap::LowestFreeNumber() const {
    for (int nNumber = MIN_PORT_NUMBER; nNumber <= MAX_PORT_NUMBER; ++nNumber) {
        if (!m_ports.contains(nNumber))
            return nNumber;
    }
    return 0;
}

std::vector<PortMapEntry> PortMap::Entries() const {
    std::lock_guard lock(m_mutex);
    std::vector<PortMapEntry> entries;
    entries.reserve(m_ports.size());
    for (const auto& [nNumber, port] : m_ports)
        entries.push_back({nNumber, port.strFriendlyName, port.strDevicePath});
    return entries;
}

std::optional<std::string> PortMap::DevicePathFor(const std::string& strComName) const {
    const std::optional<int> number = ParseComName(strComName);
    if (!number)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    auto it = m_ports.find(*number);
    if (it == m_ports.end())
        return std::nullopt;
    return it->second.strDevicePath;
}

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

namespace {

class PortMapSerialOpener final : public SerialOpener {
  public:
    std::unique_ptr<SerialDevice> Open(const std::string& strName) override {
        PortMap& map = PortMap::Instance();
        map.Refresh();
        const std::optional<std::string> path = map.DevicePathFor(strName);
        if (!path) {
            SetLastSystemError(ENOENT);
            return nullptr;
        }
        return OpenTermiosDevice(*path);
    }
};

}  // namespace

SerialOpener& DefaultSerialOpener() {
    static PortMapSerialOpener s_opener;
    return s_opener;
}

}  // namespace platform
