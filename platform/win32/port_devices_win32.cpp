// The Ports class's devices through SetupAPI: each present device's friendly name
// (SPDRP_FRIENDLYNAME, else SPDRP_DEVICEDESC) and the PortName value of its device key.
#include "platform/win32/port_devices_win32.h"

#include <cwctype>

#include "platform/port_map.h"
#include "platform/text.h"
#include "platform/win32/windows_api.h"
// After <windows.h>: GUID_DEVCLASS_PORTS defined in this file.
#include <initguid.h>
//
#include <devguid.h>
#include <setupapi.h>

namespace platform {

namespace {

// A REG_SZ as it was stored: the data need not end with its terminator.
std::wstring TextOfData(const std::vector<BYTE>& data, DWORD nBytes) {
    std::wstring strText(reinterpret_cast<const wchar_t*>(data.data()), nBytes / sizeof(wchar_t));
    if (const size_t nEnd = strText.find(L'\0'); nEnd != std::wstring::npos)
        strText.resize(nEnd);
    return strText;
}

std::wstring DeviceProperty(HDEVINFO hSet, SP_DEVINFO_DATA& info, DWORD nProperty) {
    std::vector<BYTE> data(256);
    for (;;) {
        DWORD nType = 0, nNeeded = 0;
        if (SetupDiGetDeviceRegistryPropertyW(hSet, &info, nProperty, &nType, data.data(),
                                              static_cast<DWORD>(data.size()), &nNeeded))
            return nType == REG_SZ ? TextOfData(data, std::min<DWORD>(nNeeded, data.size()))
                                   : std::wstring();
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || nNeeded <= data.size())
            return {};
        data.resize(nNeeded);
    }
}

std::wstring DevicePortName(HDEVINFO hSet, SP_DEVINFO_DATA& info) {
    const HKEY hKey = SetupDiOpenDevRegKey(hSet, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (hKey == INVALID_HANDLE_VALUE)
        return {};
    std::vector<BYTE> data(64);
    DWORD nType = 0, nBytes = static_cast<DWORD>(data.size());
    LONG nResult = RegQueryValueExW(hKey, L"PortName", nullptr, &nType, data.data(), &nBytes);
    if (nResult == ERROR_MORE_DATA) {
        data.resize(nBytes);
        nResult = RegQueryValueExW(hKey, L"PortName", nullptr, &nType, data.data(), &nBytes);
    }
    RegCloseKey(hKey);
    return nResult == ERROR_SUCCESS && nType == REG_SZ ? TextOfData(data, nBytes) : std::wstring();
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && std::iswspace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && std::iswspace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::vector<PortDevice> ListPortDevices() {
    std::vector<PortDevice> devices;
    const HDEVINFO hSet =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (hSet == INVALID_HANDLE_VALUE)
        return devices;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD nIndex = 0; SetupDiEnumDeviceInfo(hSet, nIndex, &info); ++nIndex) {
        PortDevice device;
        device.strPortName = DevicePortName(hSet, info);
        if (device.strPortName.empty())
            continue;
        device.strFriendlyName = DeviceProperty(hSet, info, SPDRP_FRIENDLYNAME);
        if (device.strFriendlyName.empty())
            device.strFriendlyName = DeviceProperty(hSet, info, SPDRP_DEVICEDESC);
        devices.push_back(std::move(device));
    }
    SetupDiDestroyDeviceInfoList(hSet);
    return devices;
}

std::map<int, std::string> PortDeviceNames(const std::vector<PortDevice>& devices) {
    std::map<int, std::string> names;
    for (const PortDevice& device : devices) {
        const std::wstring_view port = Trimmed(device.strPortName);
        const std::optional<int> number = PortMap::ParseComName(Utf8FromWide(std::wstring(port)));
        if (!number || port.back() == L':')
            continue;
        std::wstring_view name = Trimmed(device.strFriendlyName);
        // "USB Serial Port (COM4)" for COM4: the part before the port's own mark.
        if (name.size() >= port.size() + 2 && name.back() == L')' &&
            name[name.size() - port.size() - 2] == L'(' &&
            EqualsIgnoringCase(name.substr(name.size() - port.size() - 1, port.size()), port))
            name = Trimmed(name.substr(0, name.size() - port.size() - 2));
        if (!name.empty())
            names.try_emplace(*number, Utf8FromWide(std::wstring(name)));
    }
    return names;
}

}  // namespace platform
