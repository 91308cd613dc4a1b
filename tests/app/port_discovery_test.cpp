#include "app/port_discovery.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "platform/port_map.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/system.h"

using namespace platform;
using enum platform::RegistryCall;
using Fault = platform::RegistryFault;

namespace {

// A reported port as "name|friendly name|source", with "|in" for an incoming Bluetooth port.
using Ports = std::vector<std::wstring>;

std::wstring Microsoft(const std::wstring& strName) {
    return strName + L"|MS Bluetooth|MS Bluetooth";
}

// What the callback saw; it answers 0 for the port named strStopAt, like the Main page for COM0.
struct Listing {
    Ports ports;
    std::wstring strStopAt = L"COM0";
};

int Record(intptr_t nContext, const SerialPortEntry& entry) {
    auto* pListing = reinterpret_cast<Listing*>(nContext);
    pListing->ports.push_back(entry.PortName + L"|" + entry.FriendlyName + L"|" + entry.SourceName +
                              (entry.IncomingBluetooth ? L"|in" : L""));
    return entry.PortName != pListing->strStopAt;
}

const std::wstring BUILT_IN = L"Drivers\\BuiltIn\\";
const std::wstring MS_PORTS = L"Software\\Microsoft\\Bluetooth\\Serial\\Ports";
const std::wstring SERIALCOMM = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

class PortDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetRegistry(&m_registry);
        UseSystem(PLATFORM_WIN32_CE, 5);
    }
    void TearDown() override {
        // Whatever happened, every key opened was closed.
        EXPECT_EQ(m_registry.OpenKeyCount(), 0u);
        SetRegistry(nullptr);
        SetSystemVersionOverride(std::nullopt);
    }

    static void UseSystem(uint32_t nPlatform, uint32_t nMajor) {
        SetSystemVersionOverride(SystemVersion{nPlatform, nMajor, 0});
    }
    void AddDriver(const std::wstring& strKey, std::wstring_view strPrefix, uint32_t nIndex,
                   std::optional<std::wstring> dll = std::nullopt, std::wstring strFriendly = L"") {
        m_registry.SetString(BUILT_IN + strKey, L"PREFIX", strPrefix);
        m_registry.SetDword(BUILT_IN + strKey, L"INDEX", nIndex);
        if (dll)
            m_registry.SetString(BUILT_IN + strKey, L"Dll", *dll);
        if (!strFriendly.empty())
            m_registry.SetString(BUILT_IN + strKey, L"FRIENDLYNAME", strFriendly);
    }
    void AddBluetoothPort(const std::wstring& strKey, std::wstring_view strPort) {
        m_registry.SetString(MS_PORTS + L"\\" + strKey, L"Port", strPort);
    }
    // Runs the discovery; the last error stays 0xDEAD unless the routine sets it.
    Ports Discover(bool bExpected = true, std::wstring strStopAt = L"COM0") {
        Listing listing{{}, std::move(strStopAt)};
        SetLastSystemError(0xDEAD);
        EXPECT_EQ(EnumerateSerialPorts(Record, reinterpret_cast<intptr_t>(&listing)), bExpected);
        return listing.ports;
    }

    MemoryRegistry m_registry;
};

TEST_F(PortDiscoveryTest, WindowsCeListsBuiltInComDriversThenMicrosoftBluetoothPorts) {
    AddDriver(L"Serial", L"COM", 1, L"serial_linux.dll", L"Serial Cable");
    AddDriver(L"Printer", L"LPT", 2);
    AddDriver(L"LowerCase", L"com", 3);
    AddDriver(L"Short", L"CO", 4);
    AddDriver(L"Longer", L"COMX", 6, std::nullopt, L"Extra");
    m_registry.SetString(BUILT_IN + L"NoIndex", L"PREFIX", L"COM");
    m_registry.SetDword(BUILT_IN + L"NoPrefix", L"INDEX", 7);
    AddBluetoothPort(L"A", L"COM8");
    AddBluetoothPort(L"B", L"bt1");
    AddBluetoothPort(L"C", L"com1");  // also a built-in port: listed twice
    m_registry.AddKey(MS_PORTS + L"\\NoPort");
    EXPECT_EQ(Discover(), (Ports{L"COM1|Serial Cable|", L"COM3||", L"COM6|Extra|",
                                 Microsoft(L"COM8"), Microsoft(L"com1")}));
}

TEST_F(PortDiscoveryTest, TheDriverFileDecidesWhetherAPortListensForBluetooth) {
    constexpr uint32_t READ_FAILS = 0xEEEE;  // the service's ComPortNumber cannot be read
    const struct {
        std::optional<std::wstring> dll;
        std::vector<std::optional<uint32_t>> services;  // Widcomm services; none: no key
        std::optional<bool> incoming;                   // nothing: not listed
    } cases[] = {
        {L"BtCeIf.dll", {3, std::nullopt, 5, 4}, true},
        {L"btceif.DLL.1", {5}, true},
        {L"BtCeIf.dll", {3, 4}, false},
        {L"BtCeIf.dll", {}, false},
        {L"BtCeIf.dll", {3, READ_FAILS, 5}, false},  // a read error ends the search
        {L"BtCeIf.dl", {5}, false},
        {L"Serial_BTUR_DM.Dll", {}, std::nullopt},
        {L"SERIAL_BTUR_DM.DLL.old", {}, std::nullopt},
        {L"BTIBSerial.dll", {}, true},
        {L"btibserial.dll2", {}, true},
        {L"BTIBSerial", {}, false},
        {std::wstring(PORT_DRIVER_DLL), {5}, false},
        {std::nullopt, {5}, false},
    };
    for (const auto& c : cases) {
        const std::wstring strDll = c.dll.value_or(L"(none)");
        SCOPED_TRACE(std::string(strDll.begin(), strDll.end()));
        m_registry.Clear();
        AddDriver(L"Port5", L"COM", 5, c.dll, L"Five");
        AddDriver(L"Port1", L"COM", 1);
        for (size_t i = 0; i < c.services.size(); ++i) {
            const std::wstring strKey =
                L"SOFTWARE\\Widcomm\\BtConfig\\Services\\" + std::to_wstring(i);
            m_registry.AddKey(strKey);
            if (c.services[i])
                m_registry.SetDword(strKey, L"ComPortNumber", *c.services[i]);
            if (c.services[i] == READ_FAILS)
                m_registry.FailCall(Fault(QUERY_DWORD, strKey, 31).ForValue(L"ComPortNumber"));
        }
        Ports expected = {L"COM1||"};
        if (c.incoming)
            expected.insert(expected.begin(), *c.incoming ? L"COM5|Five||in" : L"COM5|Five|");
        EXPECT_EQ(Discover(), expected);
    }
}

TEST_F(PortDiscoveryTest, AStopFromTheCallbackEndsOnlyTheCurrentScan) {
    AddDriver(L"A", L"COM", 1);
    AddDriver(L"B", L"COM", 0);
    AddDriver(L"C", L"COM", 2);
    AddBluetoothPort(L"X", L"COM8");
    AddBluetoothPort(L"Y", L"COM9");
    EXPECT_EQ(Discover(true, L"COM0"),
              (Ports{L"COM1||", L"COM0||", Microsoft(L"COM8"), Microsoft(L"COM9")}));
    EXPECT_EQ(Discover(true, L"COM8"),
              (Ports{L"COM1||", L"COM0||", L"COM2||", Microsoft(L"COM8")}));
}

// Errors in the built-in scan end that scan and are forgotten; errors in the Bluetooth scan
// fail the routine with their code. What was reported stays reported.
TEST_F(PortDiscoveryTest, ErrorsEndTheirScanAndOnlyBluetoothErrorsFailTheRoutine) {
    const std::wstring strB = BUILT_IN + L"B", strC = BUILT_IN + L"C", strY = MS_PORTS + L"\\Y";
    const std::wstring one = L"COM1||", two = L"COM2|Two|", three = L"COM3|Three|";
    const std::wstring eight = Microsoft(L"COM8"), nine = Microsoft(L"COM9");
    const struct {
        Fault fault;
        Ports expected;
        uint32_t nError = 0xDEAD;  // anything else: the routine fails with it
    } cases[] = {
        {Fault(OPEN_KEY, L"drivers\\builtin", 5), {eight, nine}},
        {Fault(ENUM_KEY, L"Drivers\\BuiltIn", 5).AtIndex(1), {one, eight, nine}},
        {Fault(OPEN_KEY, strB, 5), {one, eight, nine}},
        {Fault(QUERY_STRING, strB, 5).ForValue(L"PREFIX"), {one, eight, nine}},
        {Fault(QUERY_DWORD, strB, REGISTRY_INVALID_DATATYPE).ForValue(L"INDEX"),
         {one, eight, nine}},
        // Gone between listing and opening: the next one.
        {Fault(OPEN_KEY, strB, REGISTRY_NOT_FOUND), {one, three, eight, nine}},
        {Fault(OPEN_KEY, strY, REGISTRY_NOT_FOUND), {one, three, eight}},
        // An unreadable driver file is an ordinary driver, an unreadable name an empty one.
        {Fault(QUERY_STRING, strB, 5).ForValue(L"Dll"), {one, two, three, eight, nine}},
        {Fault(QUERY_STRING, strC, 5).ForValue(L"FRIENDLYNAME"), {one, L"COM3||", eight, nine}},
        {Fault(OPEN_KEY, MS_PORTS, 5), {one, three}, 5},
        {Fault(ENUM_KEY, MS_PORTS, 1011).AtIndex(1), {one, three, eight}, 1011},
        {Fault(OPEN_KEY, strY, 1012), {one, three, eight}, 1012},
        {Fault(QUERY_STRING, strY, REGISTRY_INVALID_DATATYPE).ForValue(L"Port"),
         {one, three, eight},
         REGISTRY_INVALID_DATATYPE},
    };
    for (const auto& c : cases) {
        m_registry.Clear();
        AddDriver(L"A", L"COM", 1);
        AddDriver(L"B", L"COM", 2, L"Serial_BTUR_DM.Dll", L"Two");
        AddDriver(L"C", L"COM", 3, std::nullopt, L"Three");
        AddBluetoothPort(L"X", L"COM8");
        AddBluetoothPort(L"Y", L"COM9");
        m_registry.FailCall(c.fault);
        EXPECT_EQ(Discover(c.nError == 0xDEAD), c.expected);
        EXPECT_EQ(LastSystemError(), c.nError);
    }
    m_registry.Clear();
    EXPECT_EQ(Discover(), Ports{});
}

TEST_F(PortDiscoveryTest, BuffersGrowUntilLongNamesAndValuesFit) {
    const std::wstring strLongKey(300, L'k'), strLongName(1000, L'n');
    AddDriver(strLongKey, L"COM" + std::wstring(600, L'x'), 4, std::nullopt, strLongName);
    AddDriver(L"Next", L"COM", 5);
    AddBluetoothPort(std::wstring(700, L'b'), L"COM8" + std::wstring(400, L'z'));
    // A repeated more-data answer reads the same subkey again, not the next one.
    m_registry.FailCall(
        Fault(ENUM_KEY, L"Drivers\\BuiltIn", REGISTRY_MORE_DATA).AtIndex(0).Times(2));
    EXPECT_EQ(Discover(), (Ports{L"COM4|" + strLongName + L"|", L"COM5||",
                                 Microsoft(L"COM8" + std::wstring(400, L'z'))}));

    // More than the memory the routine may take.
    AddBluetoothPort(L"Huge", L"COM9" + std::wstring(size_t{1} << 22, L'h'));
    Discover(false);
    EXPECT_EQ(LastSystemError(), uint32_t(REGISTRY_NOT_ENOUGH_MEMORY));
}

TEST_F(PortDiscoveryTest, ThePlatformAndVersionChooseTheSource) {
    const std::wstring strNt = L"SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\1";
    const std::wstring str95 = L"Enum\\BIOS\\*PNP0501\\0000";
    AddDriver(L"Serial", L"COM", 1);
    m_registry.SetString(SERIALCOMM, L"\\Device\\Serial0", L"COM2");
    m_registry.SetString(strNt, L"CLASS", L"Ports");
    m_registry.SetString(strNt, L"PORTNAME", L"COM3");
    m_registry.SetString(str95, L"CLASS", L"PORTS");
    m_registry.SetString(str95, L"PORTNAME", L"COM4");
    const struct {
        SystemVersion version;
        Ports expected;
        uint32_t nError = 0xDEAD;
    } cases[] = {
        {{PLATFORM_WIN32_CE, 5, 0}, {L"COM1||"}},
        {{PLATFORM_WIN32_CE, 3, 0}, {L"COM1||"}},
        {{PLATFORM_WIN32_NT, 4, 0}, {L"COM2|COM2|"}},
        {{PLATFORM_WIN32_NT, 5, 0}, {L"COM3|COM3|ACPI"}},
        {{PLATFORM_WIN32_NT, 10, 0}, {L"COM3|COM3|ACPI"}},
        {{PLATFORM_WIN32_WINDOWS, 4, 10}, {L"COM4|COM4|BIOS"}},
        {{PLATFORM_WIN32_NT, 3, 51}, {}, REGISTRY_OLD_WIN_VERSION},
        {{PLATFORM_WIN32S, 4, 0}, {}, REGISTRY_OLD_WIN_VERSION},
        {{7, 5, 0}, {}, REGISTRY_OLD_WIN_VERSION},
    };
    for (const auto& c : cases) {
        SetSystemVersionOverride(c.version);
        EXPECT_EQ(Discover(c.nError == 0xDEAD), c.expected) << c.version.nPlatformId;
        EXPECT_EQ(LastSystemError(), c.nError);
    }
    SetLastSystemError(0);
    EXPECT_FALSE(EnumerateSerialPorts(nullptr, 0));
    EXPECT_EQ(LastSystemError(), uint32_t(REGISTRY_INVALID_PARAMETER));
}

TEST_F(PortDiscoveryTest, SerialCommReportsEveryValueAsItIs) {
    UseSystem(PLATFORM_WIN32_NT, 4);
    EXPECT_EQ(Discover(), Ports{});  // no device map
    const std::wstring strLong = L"lpt" + std::wstring(90, L'1');
    m_registry.SetString(SERIALCOMM, L"\\Device\\Serial0", L"COM1");
    m_registry.SetString(SERIALCOMM, std::wstring(100, L'v'), strLong);
    m_registry.SetString(SERIALCOMM, L"\\Device\\BthModem0", L"COM5");
    m_registry.SetString(SERIALCOMM, L"\\Device\\BthModem1", L"COM6");
    EXPECT_EQ(Discover(true, L"COM5"),
              (Ports{L"COM1|COM1|", strLong + L"|" + strLong + L"|", L"COM5|COM5|"}));

    m_registry.FailCall(Fault(ENUM_VALUE, SERIALCOMM, 1013).AtIndex(2));
    EXPECT_EQ(Discover(false).size(), 2u);
    EXPECT_EQ(LastSystemError(), 1013u);
    m_registry.FailCall(Fault(OPEN_KEY, SERIALCOMM, 5));
    EXPECT_EQ(Discover(false), Ports{});
    EXPECT_EQ(LastSystemError(), 5u);
}

TEST_F(PortDiscoveryTest, DeviceEnumerationReportsPortClassInstancesWithComNames) {
    UseSystem(PLATFORM_WIN32_NT, 5);
    const std::wstring strEnum = L"SYSTEM\\CURRENTCONTROLSET\\ENUM\\";
    const std::wstring strSpp = strEnum + L"BTHENUM\\Spp\\7";
    const wchar_t* values[][3] = {
        {L"ACPI\\PNP0501\\1", L"CLASS", L"Ports"},
        {L"ACPI\\PNP0501\\1", L"PORTNAME", L"COM1"},
        {L"ACPI\\PNP0501\\1", L"FRIENDLYNAME", L"Communications Port (COM1)"},
        {L"FTDIBUS\\VID_0403\\A5", L"CLASSGUID", L"{4d36e978-e325-11ce-bfc1-08002be10318}"},
        {L"FTDIBUS\\VID_0403\\A5\\Device Parameters", L"PortName", L"COM4"},
        {L"FTDIBUS\\VID_0403\\B", L"CLASS", L"PortsX"},  // too long for its room
        {L"FTDIBUS\\VID_0403\\B", L"PORTNAME", L"COM9"},
        {L"HID\\Mouse\\1", L"CLASS", L"Mouse"},
        {L"HID\\Mouse\\1", L"PORTNAME", L"COM10"},
        {L"ROOT\\Printer\\0", L"CLASS", L"PORTS"},
        {L"ROOT\\Printer\\0", L"PORTNAME", L"LPT1"},
        {L"ROOT\\Modem\\0", L"CLASS", L"PORTS"},  // no port name anywhere
        {L"BTHENUM\\Spp\\7", L"CLASS", L"ports"},
        {L"BTHENUM\\Spp\\7", L"PORTNAME", L"com7"},
    };
    for (const auto& value : values)
        m_registry.SetString(strEnum + value[0], value[1], value[2]);
    const Ports all = {L"COM1|Communications Port (COM1)|ACPI", L"COM4|COM4|FTDIBUS",
                       L"com7|com7|BTHENUM"};
    EXPECT_EQ(Discover(), all);
    EXPECT_EQ(Discover(true, L"COM4"), (Ports{all[0], all[1]}));

    for (const Fault& fault :
         {Fault(QUERY_STRING, strSpp, 1804).ForValue(L"FRIENDLYNAME"),
          Fault(QUERY_STRING, strSpp, 5).ForValue(L"PORTNAME"),
          Fault(ENUM_KEY, strEnum + L"BTHENUM", 1014), Fault(OPEN_KEY, strSpp, 1015)}) {
        m_registry.FailCall(Fault(fault).Times(1));
        EXPECT_EQ(Discover(false), (Ports{all[0], all[1]}));
        EXPECT_EQ(LastSystemError(), static_cast<uint32_t>(fault.nCode));
    }
    UseSystem(PLATFORM_WIN32_WINDOWS, 4);  // its root "ENUM" does not exist
    EXPECT_EQ(Discover(false), Ports{});
    EXPECT_EQ(LastSystemError(), uint32_t(REGISTRY_NOT_FOUND));
}

// On Linux the registry lists the port map's ports under the numbers the serial opener resolves.
TEST(LinuxPortDiscovery, ListsThePortMapWithTheNumbersThatOpen) {
    const std::string strRoot = testing::TempDir() + "linux_discovery." + std::to_string(getpid());
    setenv("XDG_RUNTIME_DIR", strRoot.c_str(), 1);  // no published ports there
    PortMap map({strRoot + "/dev", strRoot + "/sys", strRoot + "/numbers"});
    map.Add(2, "FT232R USB UART", "/dev/ttyUSB0");
    map.Add(5, "Bluetooth serial rfcomm0", "/dev/rfcomm0");
    PortMapRegistry registry(map);
    SetRegistry(&registry);
    Listing listing;
    EXPECT_TRUE(EnumerateSerialPorts(Record, reinterpret_cast<intptr_t>(&listing)));
    SetRegistry(nullptr);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(listing.ports, (Ports{L"COM2|FT232R USB UART|", L"COM5|Bluetooth serial rfcomm0|"}));
    EXPECT_EQ(map.DevicePathFor("COM2:"), "/dev/ttyUSB0");
}

}  // namespace
