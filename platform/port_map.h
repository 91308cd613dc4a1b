// The handheld's device names "COM1:".."COM99:" (the colon may be left off) mapped to Linux
// device paths.
//
// The map holds ports from two sources: those published by programs such as the gyro
// simulator (see published_ports.h), and those a caller adds with an explicit number. An
// added port owns its number. A published port is known by its friendly name and keeps the
// number it first got in this process whenever that number is free; a new one gets the
// lowest number not taken by an added port or another published port, in order of friendly
// name, so the first numbering is the same on every run.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct PortMapEntry {
    int nNumber;  // n of "COMn:"
    std::string strFriendlyName;
    std::string strDevicePath;

    bool operator==(const PortMapEntry&) const = default;
};

class PortMap {
  public:
    static constexpr int MIN_PORT_NUMBER = 1;
    static constexpr int MAX_PORT_NUMBER = 99;

    // The map of this process.
    static PortMap& Instance();

    // Adds or replaces the port with that number; a published port holding the number moves
    // to another. False for a number outside 1..99.
    bool Add(int nNumber, std::string strFriendlyName, std::string strDevicePath);
    // Takes the port off the map; a published port comes back at the next Refresh.
    void Remove(int nNumber);
    // Forgets every port and every number given so far.
    void Clear();
    // Rescans the published ports.
    void Refresh();

    // Sorted by number.
    std::vector<PortMapEntry> Entries() const;
    // The device path of "COMn:" or "COMn" (any letter case); nothing for a malformed name
    // or a number with no port.
    std::optional<std::string> DevicePathFor(const std::string& strComName) const;

    // n of "COMn:" / "COMn", or nothing.
    static std::optional<int> ParseComName(const std::string& strComName);

  private:
    enum PortSource { SOURCE_ADDED, SOURCE_PUBLISHED };

    struct Port {
        PortSource source;
        std::string strKey;  // what identifies the device across scans within its source
        std::string strFriendlyName;
        std::string strDevicePath;
    };

    // Numbers published ports whose number is not yet settled.
    void AssignNumbers(std::vector<Port> unnumbered);
    int LowestFreeNumber() const;

    mutable std::mutex m_mutex;
    std::map<int, Port> m_ports;
    // The number each device had last, by source and key; preferred when it comes back.
    std::map<std::string, int> m_rememberedNumbers;
};

}  // namespace platform
