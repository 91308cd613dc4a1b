// The port map on Windows: the system numbers its serial ports itself, so "COMn:" is simply
// Windows' COMn. Refresh lists the ports of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, which every
// serial driver fills (USB and Bluetooth adapters, real UARTs, Wine's mapped ports), each as
// "Serial port <the driver's device name>", unless the device manager names its device (see
// port_devices_win32.h): "USB Serial Port", a Bluetooth link's name. A port added with an explicit
// number stays as it is and hides the system's port of that number.
#include <cerrno>

#include "platform/port_map.h"
#include "platform/published_ports.h"
#include "platform/text.h"
#include "platform/win32/port_devices_win32.h"
#include "platform/win32/serial_win32.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

constexpr wchar_t SERIALCOMM_KEY[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Every port of the SERIALCOMM key: value name the driver's device ("\Device\Serial0"),
// value data the port's name ("COM1"); named by its device where it has one.
std::vector<std::pair<int, std::string>> ListSystemPorts() {
    std::vector<std::pair<int, std::string>> ports;
    const std::map<int, std::string> deviceNames = PortDeviceNames(ListPortDevices());
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SERIALCOMM_KEY, 0, KEY_QUERY_VALUE, &hKey) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD nIndex = 0;; ++nIndex) {
        wchar_t name[256];
        DWORD nNameLength = static_cast<DWORD>(std::size(name));
        wchar_t data[64] = {};
        DWORD nDataBytes = sizeof data - sizeof(wchar_t);
        DWORD nType = 0;
        const LONG nResult = RegEnumValueW(hKey, nIndex, name, &nNameLength, nullptr, &nType,
                                           reinterpret_cast<BYTE*>(data), &nDataBytes);
        if (nResult == ERROR_NO_MORE_ITEMS)
            break;
        if (nResult != ERROR_SUCCESS || nType != REG_SZ)
            continue;
        const std::optional<int> number = PortMap::ParseComName(Utf8FromWide(data));
        if (!number || *number > PortMap::MAX_PORT_NUMBER)
            continue;
        std::wstring_view device(name, nNameLength);
        if (const size_t nSlash = device.rfind(L'\\'); nSlash != std::wstring_view::npos)
            device.remove_prefix(nSlash + 1);
        const auto named = deviceNames.find(*number);
        ports.emplace_back(*number, named != deviceNames.end()
                                        ? named->second
                                        : "Serial port " + Utf8FromWide(device));
    }
    RegCloseKey(hKey);
    return ports;
}

std::string DevicePathFor(int nNumber) {
    return "\\\\.\\COM" + std::to_string(nNumber);
}

}  // namespace

bool PortMap::Add(int nNumber, std::string strFriendlyName, std::string strDevicePath) {
    if (nNumber < MIN_PORT_NUMBER || nNumber > MAX_PORT_NUMBER)
        return false;
    std::lock_guard lock(m_mutex);
    m_ports[nNumber] = Port{SOURCE_ADDED, {}, std::move(strFriendlyName), std::move(strDevicePath)};
    return true;
}

void PortMap::Refresh() {
    const auto found = ListSystemPorts();
    std::lock_guard lock(m_mutex);
    ++m_nScans;
    for (auto it = m_ports.begin(); it != m_ports.end();)
        it = it->second.source == SOURCE_FOUND ? m_ports.erase(it) : std::next(it);
    for (const auto& [nNumber, strFriendlyName] : found)
        m_ports.try_emplace(nNumber, Port{SOURCE_FOUND, "win:COM" + std::to_string(nNumber),
                                          strFriendlyName, DevicePathFor(nNumber)});
}

// Any COMn opens as Windows' own COMn, listed or not: a port plugged in since the list was
// built opens under its own number.
std::optional<std::string> PortMap::OpenPathFor(const std::string& strComName) {
    const std::optional<int> number = ParseComName(strComName);
    if (!number)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    const auto it = m_ports.find(*number);
    if (it != m_ports.end() && it->second.source == SOURCE_ADDED)
        return it->second.strDevicePath;
    return DevicePathFor(*number);
}

// Programs publish no ports on Windows: every port, a simulator's too, is in SERIALCOMM.
std::string PublishedPortsFolder() {
    return {};
}

namespace {

class PortMapSerialOpener final : public SerialOpener {
  public:
    std::unique_ptr<SerialDevice> Open(const std::string& strName) override {
        const std::optional<std::string> path = PortMap::Instance().OpenPathFor(strName);
        if (!path) {
            SetLastSystemError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        return OpenWin32SerialDevice(WideFromUtf8(*path));
    }
};

}  // namespace

SerialOpener& DefaultSerialOpener() {
    static PortMapSerialOpener s_opener;
    return s_opener;
}

}  // namespace platform
