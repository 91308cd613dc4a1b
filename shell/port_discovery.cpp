#include "shell/port_discovery.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string_view>

#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/system.h"

using namespace platform;

namespace {

constexpr uint32_t NAME_BUFFER_CHARS = 256;
constexpr uint32_t STRING_BUFFER_CHARS = 256;
constexpr uint32_t SERIALCOMM_BUFFER_CHARS = 64;
// A buffer larger than this counts as memory the system does not have.
constexpr size_t MAX_BUFFER_BYTES = size_t{1} << 24;

constexpr wchar_t PORTS_CLASS_GUID[] = L"{4D36E978-E325-11CE-BFC1-08002BE10318}";

// Closes the key it holds when it goes out of scope.
class KeyHolder {
  public:
    KeyHolder() = default;
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    ~KeyHolder() { Close(); }

    int32_t Open(RegistryKey hParent, std::wstring_view strPath) {
        Close();
        RegistryKey hKey = 0;
        const int32_t nResult = RegistryOpenKey(hParent, strPath, hKey);
        if (nResult == REGISTRY_SUCCESS) {
            m_hKey = hKey;
            m_bOpen = true;
        }
        return nResult;
    }
    void Close() {
        if (m_bOpen)
            RegistryCloseKey(m_hKey);
        m_bOpen = false;
    }
    RegistryKey Get() const { return m_hKey; }

  private:
    RegistryKey m_hKey = 0;
    bool m_bOpen = false;
};

// A buffer of wide characters that grows without throwing.
class WideBuffer {
  public:
    explicit WideBuffer(uint32_t nChars) { Resize(nChars); }

    // False when the memory cannot be had; the old contents are not kept.
    bool Resize(size_t nChars) {
        m_pData.reset();
        m_nChars = 0;
        if (nChars == 0 || nChars > MAX_BUFFER_BYTES / sizeof(wchar_t))
            return false;
        m_pData.reset(new (std::nothrow) wchar_t[nChars + 1]());
        if (!m_pData)
            return false;
        m_nChars = static_cast<uint32_t>(nChars);
        return true;
    }
    wchar_t* Data() { return m_pData.get(); }
    uint32_t Chars() const { return m_nChars; }
    uint32_t Bytes() const { return m_nChars * static_cast<uint32_t>(sizeof(wchar_t)); }
    // The text up to its terminator; one spare character always ends it.
    std::wstring Text() const {
        if (!m_pData)
            return {};
        const wchar_t* pText = m_pData.get();
        const wchar_t* pEnd = std::wmemchr(pText, L'\0', m_nChars);
        return std::wstring(pText, pEnd ? pEnd : pText + m_nChars);
    }

  private:
    std::unique_ptr<wchar_t[]> m_pData;
    uint32_t m_nChars = 0;
};

wchar_t FoldCase(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Compares exactly as many characters as the literal has, without regard to case.
bool BeginsWith(const std::wstring& strText, std::wstring_view strLiteral) {
    if (strText.size() < strLiteral.size())
        return false;
    for (size_t i = 0; i < strLiteral.size(); ++i) {
        if (FoldCase(strText[i]) != FoldCase(strLiteral[i]))
            return false;
    }
    return true;
}

bool SameText(const std::wstring& strText, std::wstring_view strLiteral) {
    return strText.size() == strLiteral.size() && BeginsWith(strText, strLiteral);
}

// Subkey nIndex's name, the buffer grown to (reported length + 2) * 2 while it is too small.
int32_t EnumKeyName(RegistryKey hKey, uint32_t nIndex, std::wstring& strName) {
    WideBuffer name(NAME_BUFFER_CHARS);
    for (;;) {
        uint32_t nChars = name.Chars();
        const int32_t nResult = RegistryEnumKey(hKey, nIndex, name.Data(), nChars);
        if (nResult == REGISTRY_MORE_DATA) {
            if (!name.Resize((size_t{nChars} + 2) * 2))
                return REGISTRY_NOT_ENOUGH_MEMORY;
            continue;
        }
        if (nResult == REGISTRY_SUCCESS)
            strName = name.Text();
        return nResult;
    }
}

// A string value, the buffer grown to the size the registry reports while it is too small.
int32_t ReadString(RegistryKey hKey, std::wstring_view strName, std::wstring& strValue) {
    WideBuffer value(STRING_BUFFER_CHARS);
    for (;;) {
        uint32_t nChars = value.Chars();
        const int32_t nResult = RegistryQueryString(hKey, strName, value.Data(), nChars);
        if (nResult == REGISTRY_MORE_DATA) {
            if (!value.Resize(nChars))
                return REGISTRY_NOT_ENOUGH_MEMORY;
            continue;
        }
        if (nResult == REGISTRY_SUCCESS)
            strValue = value.Text();
        return nResult;
    }
}

// A string value read once into room for nRoom characters and its terminator.
bool ReadFixedStringEquals(RegistryKey hKey, std::wstring_view strName, uint32_t nRoom,
                           std::wstring_view strExpected) {
    WideBuffer value(nRoom + 1);
    uint32_t nChars = value.Chars();
    return RegistryQueryString(hKey, strName, value.Data(), nChars) == REGISTRY_SUCCESS &&
           SameText(value.Text(), strExpected);
}

bool Fail(int32_t nResult) {
    SetLastSystemError(static_cast<uint32_t>(nResult));
    return false;
}

// True when a Widcomm Bluetooth service listens on the port with that device index.
bool IsWidcommIncomingPort(uint32_t nIndex) {
    KeyHolder services;
    if (services.Open(REGISTRY_LOCAL_MACHINE, L"SOFTWARE\\Widcomm\\BtConfig\\Services") !=
        REGISTRY_SUCCESS)
        return false;
    bool bIncoming = false;
    std::wstring strService;
    for (uint32_t i = 0; EnumKeyName(services.Get(), i, strService) == REGISTRY_SUCCESS; ++i) {
        KeyHolder service;
        const int32_t nOpen = service.Open(services.Get(), strService);
        if (nOpen == REGISTRY_NOT_FOUND)
            continue;
        if (nOpen != REGISTRY_SUCCESS)
            break;
        uint32_t nPort = 0;
        const int32_t nResult = RegistryQueryDword(service.Get(), L"ComPortNumber", nPort);
        if (nResult == REGISTRY_NOT_FOUND)
            continue;
        if (nResult != REGISTRY_SUCCESS)
            break;
        if (nPort == nIndex)
            bIncoming = true;
    }
    return bIncoming;
}

// Scan A: the built-in drivers whose prefix is COM. Its outcome never fails the routine.
void ScanBuiltInDrivers(PortFoundCallback pCallback, intptr_t nContext) {
    KeyHolder builtIn;
    if (builtIn.Open(REGISTRY_LOCAL_MACHINE, L"Drivers\\BuiltIn") != REGISTRY_SUCCESS)
        return;
    std::wstring strDriver;
    for (uint32_t i = 0; EnumKeyName(builtIn.Get(), i, strDriver) == REGISTRY_SUCCESS; ++i) {
        KeyHolder driver;
        const int32_t nOpen = driver.Open(builtIn.Get(), strDriver);
        if (nOpen == REGISTRY_NOT_FOUND)
            continue;
        if (nOpen != REGISTRY_SUCCESS)
            return;

        std::wstring strPrefix;
        int32_t nResult = ReadString(driver.Get(), L"PREFIX", strPrefix);
        if (nResult == REGISTRY_NOT_FOUND)
            continue;
        if (nResult != REGISTRY_SUCCESS)
            return;
        if (!BeginsWith(strPrefix, L"COM"))
            continue;
        uint32_t nIndex = 0;
        nResult = RegistryQueryDword(driver.Get(), L"INDEX", nIndex);
        if (nResult == REGISTRY_NOT_FOUND)
            continue;
        if (nResult != REGISTRY_SUCCESS)
            return;

        SerialPortEntry entry;
        entry.IncomingBluetooth = false;
        // A driver file that cannot be read counts as an ordinary driver.
        std::wstring strDll;
        if (ReadString(driver.Get(), L"Dll", strDll) == REGISTRY_SUCCESS) {
            if (BeginsWith(strDll, L"BtCeIf.dll"))
                entry.IncomingBluetooth = IsWidcommIncomingPort(nIndex);
            else if (BeginsWith(strDll, L"Serial_BTUR_DM.Dll"))
                continue;
            else if (BeginsWith(strDll, L"BTIBSerial.dll"))
                entry.IncomingBluetooth = true;
        }
        entry.PortName = L"COM" + std::to_wstring(nIndex);
        if (ReadString(driver.Get(), L"FRIENDLYNAME", entry.FriendlyName) != REGISTRY_SUCCESS)
            entry.FriendlyName.clear();
        if (!pCallback(nContext, entry))
            return;
    }
}

// Scan B: the Microsoft Bluetooth stack's virtual ports.
bool ScanMicrosoftBluetoothPorts(PortFoundCallback pCallback, intptr_t nContext) {
    KeyHolder ports;
    int32_t nResult =
        ports.Open(REGISTRY_LOCAL_MACHINE, L"Software\\Microsoft\\Bluetooth\\Serial\\Ports");
    if (nResult == REGISTRY_NOT_FOUND)
        return true;
    if (nResult != REGISTRY_SUCCESS)
        return Fail(nResult);
    std::wstring strSubkey;
    for (uint32_t i = 0;; ++i) {
        nResult = EnumKeyName(ports.Get(), i, strSubkey);
        if (nResult == REGISTRY_NO_MORE_ITEMS)
            return true;
        if (nResult != REGISTRY_SUCCESS)
            return Fail(nResult);
        KeyHolder port;
        nResult = port.Open(ports.Get(), strSubkey);
        if (nResult == REGISTRY_NOT_FOUND)
            continue;
        if (nResult != REGISTRY_SUCCESS)
            return Fail(nResult);
        SerialPortEntry entry;
        nResult = ReadString(port.Get(), L"Port", entry.PortName);
        if (nResult == REGISTRY_NOT_FOUND)
            continue;
        if (nResult != REGISTRY_SUCCESS)
            return Fail(nResult);
        if (!BeginsWith(entry.PortName, L"COM"))
            continue;
        entry.FriendlyName = L"MS Bluetooth";
        entry.SourceName = L"MS Bluetooth";
        entry.IncomingBluetooth = false;
        if (!pCallback(nContext, entry))
            return true;
    }
}

bool ScanWindowsCe(PortFoundCallback pCallback, intptr_t nContext) {
    ScanBuiltInDrivers(pCallback, nContext);
    return ScanMicrosoftBluetoothPorts(pCallback, nContext);
}

// Windows NT 4: every value of the serial device map names a port.
bool ScanSerialComm(PortFoundCallback pCallback, intptr_t nContext) {
    KeyHolder map;
    int32_t nResult = map.Open(REGISTRY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (nResult == REGISTRY_NOT_FOUND)
        return true;
    if (nResult != REGISTRY_SUCCESS)
        return Fail(nResult);
    WideBuffer name(SERIALCOMM_BUFFER_CHARS);
    WideBuffer data(SERIALCOMM_BUFFER_CHARS);
    for (uint32_t i = 0;;) {
        uint32_t nNameChars = name.Chars();
        uint32_t nDataBytes = data.Bytes();
        uint32_t nType = 0;
        nResult = RegistryEnumValue(map.Get(), i, name.Data(), nNameChars, nType,
                                    reinterpret_cast<uint8_t*>(data.Data()), nDataBytes);
        if (nResult == REGISTRY_MORE_DATA) {
            const bool bNameFits = nNameChars < name.Chars();
            const bool bDataFits = nDataBytes <= data.Bytes();
            if ((!bNameFits && !name.Resize((size_t{nNameChars} + 2) * 2)) ||
                (!bDataFits &&
                 !data.Resize((size_t{nDataBytes} + sizeof(wchar_t) - 1) / sizeof(wchar_t))))
                return Fail(REGISTRY_NOT_ENOUGH_MEMORY);
            continue;  // the same value again
        }
        if (nResult == REGISTRY_NO_MORE_ITEMS)
            return true;
        if (nResult != REGISTRY_SUCCESS)
            return Fail(nResult);
        SerialPortEntry entry;
        entry.PortName = data.Text();
        entry.FriendlyName = entry.PortName;
        entry.IncomingBluetooth = false;
        if (!pCallback(nContext, entry))
            return true;
        std::memset(data.Data(), 0, data.Bytes());
        ++i;
    }
}

// One device instance: reported when it belongs to the ports class and has a COM port name.
// The registry error that fails the routine, or REGISTRY_SUCCESS; bStop when the callback
// said so.
int32_t ScanDeviceInstance(RegistryKey hInstance, const std::wstring& strEnumerator,
                           PortFoundCallback pCallback, intptr_t nContext, bool& bStop) {
    if (!ReadFixedStringEquals(hInstance, L"CLASS", 5, L"PORTS") &&
        !ReadFixedStringEquals(hInstance, L"CLASSGUID", 38, PORTS_CLASS_GUID))
        return REGISTRY_SUCCESS;
    SerialPortEntry entry;
    int32_t nResult = ReadString(hInstance, L"PORTNAME", entry.PortName);
    if (nResult == REGISTRY_NOT_FOUND) {
        KeyHolder parameters;
        if (parameters.Open(hInstance, L"DEVICE PARAMETERS") != REGISTRY_SUCCESS)
            return REGISTRY_SUCCESS;
        nResult = ReadString(parameters.Get(), L"PORTNAME", entry.PortName);
    }
    if (nResult == REGISTRY_NOT_FOUND)
        return REGISTRY_SUCCESS;
    if (nResult != REGISTRY_SUCCESS)
        return nResult;
    if (!BeginsWith(entry.PortName, L"COM"))
        return REGISTRY_SUCCESS;
    nResult = ReadString(hInstance, L"FRIENDLYNAME", entry.FriendlyName);
    if (nResult == REGISTRY_NOT_FOUND)
        entry.FriendlyName = entry.PortName;
    else if (nResult != REGISTRY_SUCCESS)
        return nResult;
    entry.SourceName = strEnumerator;
    entry.IncomingBluetooth = false;
    bStop = !pCallback(nContext, entry);
    return REGISTRY_SUCCESS;
}

// Opens subkey nIndex of hParent. NO_MORE_ITEMS ends the level; NOT_FOUND (a key gone
// between listing and opening) skips it; anything else fails the routine.
int32_t OpenSubkey(RegistryKey hParent, uint32_t nIndex, KeyHolder& key, std::wstring& strName) {
    const int32_t nResult = EnumKeyName(hParent, nIndex, strName);
    return nResult == REGISTRY_SUCCESS ? key.Open(hParent, strName) : nResult;
}

// A visit that ended the walk because the callback said stop.
constexpr int32_t WALK_STOPPED = -1;

// Visits every subkey of hParent that opens, with its name, while the visit answers
// REGISTRY_SUCCESS. NO_MORE_ITEMS ends the level normally; NOT_FOUND (a key gone between
// listing and opening) skips it. Gives REGISTRY_SUCCESS or the code that ended the walk.
template <typename Visit>
int32_t ForEachSubkey(RegistryKey hParent, const Visit& visit) {
    std::wstring strName;
    for (uint32_t i = 0;; ++i) {
        KeyHolder key;
        const int32_t nResult = OpenSubkey(hParent, i, key, strName);
        if (nResult == REGISTRY_NO_MORE_ITEMS)
            return REGISTRY_SUCCESS;
        if (nResult == REGISTRY_NOT_FOUND)
            continue;
        if (nResult != REGISTRY_SUCCESS)
            return nResult;
        if (const int32_t nVisit = visit(key.Get(), strName); nVisit != REGISTRY_SUCCESS)
            return nVisit;
    }
}

// Windows 95 family and Windows NT 5 and later: enumerators, devices and their instances.
bool ScanDeviceEnumeration(std::wstring_view strRoot, PortFoundCallback pCallback,
                           intptr_t nContext) {
    KeyHolder root;
    const int32_t nOpen = root.Open(REGISTRY_LOCAL_MACHINE, strRoot);
    if (nOpen != REGISTRY_SUCCESS)
        return Fail(nOpen);
    const int32_t nResult =
        ForEachSubkey(root.Get(), [&](RegistryKey hEnumerator, const std::wstring& strEnumerator) {
            return ForEachSubkey(hEnumerator, [&](RegistryKey hDevice, const std::wstring&) {
                return ForEachSubkey(hDevice, [&](RegistryKey hInstance, const std::wstring&) {
                    bool bStop = false;
                    const int32_t nScan =
                        ScanDeviceInstance(hInstance, strEnumerator, pCallback, nContext, bStop);
                    if (nScan != REGISTRY_SUCCESS)
                        return nScan;
                    return bStop ? WALK_STOPPED : REGISTRY_SUCCESS;
                });
            });
        });
    return nResult == REGISTRY_SUCCESS || nResult == WALK_STOPPED ? true : Fail(nResult);
}

}  // namespace

bool EnumerateSerialPorts(PortFoundCallback pCallback, intptr_t nContext) {
    if (!pCallback)
        return Fail(REGISTRY_INVALID_PARAMETER);
    // The registry of Linux is a picture of the machine's ports: taken once per discovery,
    // and the ports open by the numbers it shows.
    RegistryRefresh();
    const SystemVersion version = GetSystemVersion();
    switch (version.nPlatformId) {
        case PLATFORM_WIN32_CE:
            return ScanWindowsCe(pCallback, nContext);
        case PLATFORM_WIN32_NT:
            if (version.nMajorVersion == 4)
                return ScanSerialComm(pCallback, nContext);
            if (version.nMajorVersion >= 5)
                return ScanDeviceEnumeration(L"SYSTEM\\CURRENTCONTROLSET\\ENUM", pCallback,
                                             nContext);
            break;
        case PLATFORM_WIN32_WINDOWS:
            return ScanDeviceEnumeration(L"ENUM", pCallback, nContext);
        default:
            break;
    }
    return Fail(REGISTRY_OLD_WIN_VERSION);
}
