// The port map's members that are the same on every system; how ports are found, numbered
// and opened is each system's own (port_map.cpp, win32/port_map_win32.cpp).
#include <utility>

#include "platform/port_map.h"

namespace platform {

PortMap::PortMap(PortMapSetup setup) : m_setup(std::move(setup)) {}

PortMap& PortMap::Instance() {
    static PortMap s_map;
    return s_map;
}

void PortMap::SetSetup(PortMapSetup setup) {
    std::lock_guard lock(m_mutex);
    m_setup = std::move(setup);
}

PortMapSetup PortMap::Setup() const {
    std::lock_guard lock(m_mutex);
    return m_setup;
}

void PortMap::Remove(int nNumber) {
    std::lock_guard lock(m_mutex);
    m_ports.erase(nNumber);
}

void PortMap::Clear() {
    std::lock_guard lock(m_mutex);
    m_ports.clear();
    m_remembered.clear();
}

std::vector<PortMapEntry> PortMap::Entries() const {
    std::lock_guard lock(m_mutex);
    std::vector<PortMapEntry> entries;
    entries.reserve(m_ports.size());
    for (const auto& [nNumber, port] : m_ports)
        entries.push_back({nNumber, port.strFriendlyName, port.strDevicePath});
    return entries;
}

size_t PortMap::ScanCount() const {
    std::lock_guard lock(m_mutex);
    return m_nScans;
}

}  // namespace platform
