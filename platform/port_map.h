// The handheld's device names "COM1:".."COM99:" (the colon may be left off) mapped to Linux
// device paths.
//
// Refresh scans for the serial ports of the machine: real UARTs (ttyS* with hardware behind
// them), USB serial adapters (/dev/serial/by-id links, ttyUSB*, ttyACM*), Bluetooth serial
// ports (rfcomm*) and the ports published by programs such as the gyro simulator (see
// published_ports.h). It runs when the port list is built, not when a port is opened. Besides
// those, a caller may add a port with an explicit number; an added port owns its number and is
// never remembered.
//
// A found device keeps its COM number across runs and re-plugging: the numbers file in the
// user's configuration folder maps each device's identity (by-id name for USB, device name for
// rfcomm and UARTs, friendly name for published ports) to its number, least recently seen
// first. A device seen for the first time takes the lowest number that no present device
// holds and no other device remembers. Only COM1..COM8 can be opened, so when that number
// would lie above 8, the device takes instead the number in 1..8 of the device that has been
// away longest, which forgets it. New devices are numbered in the order UARTs, USB adapters,
// Bluetooth ports, published ports, each group by name.
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

// A serial device found on the machine.
struct DetectedPort {
    std::string strKey;  // its identity in the numbers file, such as "usb:<by-id name>"
    std::string strFriendlyName;
    std::string strDevicePath;

    bool operator==(const DetectedPort&) const = default;
};

// Where the port map looks; the defaults are the real ones.
struct PortMapSetup {
    std::string strDevRoot = "/dev";
    std::string strSysRoot = "/sys";
    std::string strNumbersFile;  // empty: ComPortNumbersFile() at each Refresh
};

// $XDG_CONFIG_HOME/morvane/com-ports, else $HOME/.config/morvane/com-ports; empty when neither
// variable is set.
std::string ComPortNumbersFile();

// The serial hardware below the two roots: UARTs, then USB adapters, then Bluetooth ports,
// each group sorted by name (ttyS2 before ttyS10). Friendly names: the USB adapter's product
// name from sysfs ("USB serial ttyUSB0" when it has none), "Bluetooth serial rfcomm0",
// "Serial port ttyS0". A ttyS port counts when its sysfs "type" is not 0 or, without that
// file, when a driver other than the legacy serial8250 placeholder holds it.
std::vector<DetectedPort> DetectSerialHardware(const std::string& strDevRoot,
                                               const std::string& strSysRoot);

class PortMap {
  public:
    static constexpr int MIN_PORT_NUMBER = 1;
    static constexpr int MAX_PORT_NUMBER = 99;
    // The highest number the serial channel can open.
    static constexpr int MAX_OPENABLE_NUMBER = 8;

    PortMap() = default;
    explicit PortMap(PortMapSetup setup);

    // The map of this process.
    static PortMap& Instance();

    // Where the next Refresh looks (tests).
    void SetSetup(PortMapSetup setup);
    PortMapSetup Setup() const;

    // Adds or replaces the port with that number; a found port holding the number moves to
    // another. False for a number outside 1..99.
    bool Add(int nNumber, std::string strFriendlyName, std::string strDevicePath);
    // Takes the port off the map; a found port comes back at the next Refresh.
    void Remove(int nNumber);
    // Forgets every port and the numbers this process knows; the numbers file stays.
    void Clear();
    // Rescans the machine's ports and the published ports, and updates the numbers file.
    void Refresh();
    // Rescans so far.
    size_t ScanCount() const;

    // Sorted by number.
    std::vector<PortMapEntry> Entries() const;
    // Where "COMn:" or "COMn" (any letter case) opens, without a rescan. A port of the last
    // scan opens by its udev or published link, which leads to the node the device has now (an
    // adapter re-plugged, a simulator restarted on another pseudo-terminal), else by its node;
    // a number no port of the last scan holds, by the device the numbers file remembers under
    // it, so that a device plugged in since opens under its own number; an added port at its
    // path. Nothing for a malformed name, a number that no port holds and no device
    // remembers, or a published port that ListPublishedPorts would not list now.
    std::optional<std::string> OpenPathFor(const std::string& strComName);

    // n of "COMn:" / "COMn", or nothing.
    static std::optional<int> ParseComName(const std::string& strComName);

  private:
    enum PortSource { SOURCE_ADDED, SOURCE_FOUND };

    struct Port {
        PortSource source;
        std::string strKey;
        std::string strFriendlyName;
        std::string strDevicePath;
    };

    struct RememberedNumber {
        std::string strKey;
        int nNumber;

        bool operator==(const RememberedNumber&) const = default;
    };

    // Numbers found ports: their number from the last scan, else the remembered one, else a
    // new one.
    void AssignNumbers(std::vector<Port> unnumbered);
    int NewNumber() const;
    void Remember(const std::string& strKey, int nNumber);
    std::string NumbersFile() const;
    void LoadNumbers();
    void SaveNumbers() const;

    mutable std::mutex m_mutex;
    PortMapSetup m_setup;
    std::map<int, Port> m_ports;
    // Least recently seen first; one entry per key and per number.
    std::vector<RememberedNumber> m_remembered;
    size_t m_nScans = 0;
};

}  // namespace platform
