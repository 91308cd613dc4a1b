// The serial port devices of Windows (the Ports class of the device manager), for the names the
// port list shows: "USB Serial Port", a Bluetooth link's name, instead of the driver's device
// name.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

// One device as SetupAPI gives it: its friendly name (else its description) and the port name
// of its device key ("COM4"; "LPT1" for a printer port of the same class).
struct PortDevice {
    std::wstring strFriendlyName;
    std::wstring strPortName;
};

// The present devices of the Ports class; none where SetupAPI has none.
std::vector<PortDevice> ListPortDevices();

// The name of each COM number's device, in UTF-8: its friendly name without the " (COMn)" that
// Windows puts after it for that same port, since the port list shows the port before the name.
// Devices whose port is no COMn, or that have no name, give none; of two devices that claim one
// number, the first counts.
std::map<int, std::string> PortDeviceNames(const std::vector<PortDevice>& devices);

}  // namespace platform
