#include "shell/port_discovery.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/port_map.h"
#include "platform/published_ports.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/system.h"

using namespace platform;
using enum platform::RegistryCall;
using Fault = platform::RegistryFault;

namespace {

// A reported port as "name|friendly name|source", with "|in" for an incoming Bluetooth port.
using Ports = std::vector<std::wstring>;

constexpr uint32_t UNSET = 0xDEAD;  // the last error when the routine sets none
const std::wstring BUILT_IN = L"Drivers\\BuiltIn\\";
const std::wstring MS_PORTS = L"Software\\Microsoft\\Bluetooth\\Serial\\Ports";

class PortDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override { SetRegistry(&m_registry); }  // on Windows CE 5 unless a test says
    void TearDown() override {
        SetRegistry(nullptr);
        SetSystemVersionOverride(std::nullopt);
    }

    // An empty driver file or name reads like none.
    void AddDriver(const std::wstring& strKey, std::wstring_view strPrefix, uint32_t nIndex,
                   std::wstring_view strDll = L"", std::wstring_view strFriendly = L"") {
        m_registry.SetString(BUILT_IN + strKey, L"PREFIX", strPrefix);
        m_registry.SetDword(BUILT_IN + strKey, L"INDEX", nIndex);
        m_registry.SetString(BUILT_IN + strKey, L"Dll", strDll);
        m_registry.SetString(BUILT_IN + strKey, L"FRIENDLYNAME", strFriendly);
    }
    // The callback answers 0 for the port named strStopAt, like the Main page for COM0.
    Ports Discover(bool bExpected = true, std::wstring strStopAt = L"COM0") {
        m_ports.clear();
        m_strStopAt = std::move(strStopAt);
        SetLastSystemError(UNSET);
        EXPECT_EQ(EnumerateSerialPorts(Record, reinterpret_cast<intptr_t>(this)), bExpected);
        EXPECT_EQ(m_registry.OpenKeyCount(), 0u);  // whatever happened, every key was closed
        return m_ports;
    }
    static int Record(intptr_t nContext, const SerialPortEntry& entry) {
        auto* pTest = reinterpret_cast<PortDiscoveryTest*>(nContext);
        pTest->m_ports.push_back(entry.PortName + L"|" + entry.FriendlyName + L"|" +
                                 entry.SourceName + (entry.IncomingBluetooth ? L"|in" : L""));
        return entry.PortName != pTest->m_strStopAt;
    }

    MemoryRegistry m_registry;
    Ports m_ports;
    std::wstring m_strStopAt;
};

// Every source, with names and values far longer than the first buffers; the system decides
// which is read. Built-in scan errors end that scan and are forgotten, others fail the routine
// with their code; a key gone between listing and opening is passed over.
TEST_F(PortDiscoveryTest, EachSystemReadsItsOwnSourceWithItsStopAndErrorRules) {
    const std::wstring strName(1000, L'n'), strPort8 = L"COM8" + std::wstring(400, L'z');
    const std::wstring strLpt = L"lpt" + std::wstring(90, L'1'), strLongName(100, L'v');
    const std::wstring nt5 = L"SYSTEM\\CURRENTCONTROLSET\\ENUM\\";
    const std::wstring strSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    const std::tuple<std::wstring, const wchar_t*, const wchar_t*> values[] = {
        {nt5 + L"ACPI\\PNP0501\\1", L"CLASS", L"Ports"},
        {nt5 + L"ACPI\\PNP0501\\1", L"PORTNAME", L"COM1"},
        {nt5 + L"ACPI\\PNP0501\\1", L"FRIENDLYNAME", L"Communications Port (COM1)"},
        {nt5 + L"FTDIBUS\\VID_0403\\A5", L"CLASSGUID", L"{4d36e978-e325-11ce-bfc1-08002be10318}"},
        {nt5 + L"FTDIBUS\\VID_0403\\A5\\Device Parameters", L"PortName", L"COM4"},
        {nt5 + L"FTDIBUS\\VID_0403\\B", L"CLASS", L"PortsX"},  // too long for its room
        {nt5 + L"FTDIBUS\\VID_0403\\B", L"PORTNAME", L"COM9"},
        {nt5 + L"ROOT\\Printer\\0", L"CLASS", L"PORTS"},
        {nt5 + L"ROOT\\Printer\\0", L"PORTNAME", L"LPT1"},
        {L"Enum\\BIOS\\*PNP0501\\0000", L"CLASS", L"PORTS"},
        {L"Enum\\BIOS\\*PNP0501\\0000", L"PORTNAME", L"COM2"},
        {strSerialComm, L"\\Device\\Serial0", L"COM1"},
        {strSerialComm, strLongName.c_str(), strLpt.c_str()},
        {strSerialComm, L"\\Device\\BthModem0", L"COM5"},
        {strSerialComm, L"\\Device\\BthModem1", L"COM6"},
    };
    auto build = [&] {
        m_registry.Clear();
        AddDriver(std::wstring(300, L'k'), L"COM" + std::wstring(600, L'x'), 1, L"", strName);
        AddDriver(L"Printer", L"LPT", 5);
        AddDriver(L"B", L"COM", 2, L"Serial_BTUR_DM.Dll", L"Two");
        AddDriver(L"Short", L"CO", 5);
        m_registry.SetString(BUILT_IN + L"NoIndex", L"PREFIX", L"COM");
        m_registry.SetDword(BUILT_IN + L"NoPrefix", L"INDEX", 5);
        // Driver file names match by case-blind prefix; a Widcomm service listens on COM3.
        AddDriver(L"C", L"comX", 3, L"btceif.DLL.1", L"Three");
        AddDriver(L"Null", L"COM", 0, L"BtCeIf.dll");
        AddDriver(L"D", L"COM", 4, L"BTIBSerial.dll2");
        m_registry.SetDword(L"SOFTWARE\\Widcomm\\BtConfig\\Services\\0", L"ComPortNumber", 3);
        m_registry.SetString(MS_PORTS + L"\\" + std::wstring(700, L'b'), L"Port", strPort8);
        m_registry.SetString(MS_PORTS + L"\\Y", L"Port", L"com1");  // a built-in port too
        m_registry.SetString(MS_PORTS + L"\\Z", L"Port", L"bt1");
        m_registry.AddKey(MS_PORTS + L"\\NoPort");
        for (const auto& [strKey, pName, pValue] : values)
            m_registry.SetString(strKey, pName, pValue);
    };

    const std::wstring strB = BUILT_IN + L"B", strC = BUILT_IN + L"C", strY = MS_PORTS + L"\\Y";
    const std::wstring one = L"COM1|" + strName + L"|", three = L"COM3|Three||in", zero = L"COM0||";
    const std::wstring lpt = strLpt + L"|" + strLpt + L"|";
    const std::wstring ms8 = strPort8 + L"|MS Bluetooth|MS Bluetooth";
    const std::wstring ms1 = L"com1|MS Bluetooth|MS Bluetooth";
    const SystemVersion CE{PLATFORM_WIN32_CE, 5, 0};
    const Ports all = {one, three, zero, ms8, ms1};
    const struct {
        SystemVersion version;
        std::optional<Fault> fault;
        Ports expected;
        uint32_t nError = UNSET;  // anything else: the routine fails with it
        std::wstring strStopAt = L"COM0";
    } cases[] = {
        // Windows CE, whatever its version: built-in drivers, then Microsoft Bluetooth ports.
        {CE, {}, all},
        {{PLATFORM_WIN32_CE, 3, 0}, {}, {one, three, zero, L"COM4|||in", ms8}, UNSET, strPort8},
        // A repeated more-data answer reads the same subkey again, not the next one.
        {CE, Fault(ENUM_KEY, L"Drivers\\BuiltIn", REGISTRY_MORE_DATA).AtIndex(0).Times(2), all},
        {CE, Fault(ENUM_KEY, L"Drivers\\BuiltIn", 5).AtIndex(1), {one, ms8, ms1}},
        {CE, Fault(OPEN_KEY, strC, REGISTRY_NOT_FOUND), {one, zero, ms8, ms1}},
        // An unreadable driver file is an ordinary driver.
        {CE,
         Fault(QUERY_STRING, strB, 5).ForValue(L"Dll"),
         {one, L"COM2|Two|", three, zero, ms8, ms1}},
        {CE, Fault(ENUM_KEY, MS_PORTS, 1011).AtIndex(1), {one, three, zero, ms8}, 1011},
        {CE, Fault(OPEN_KEY, strY, REGISTRY_NOT_FOUND), {one, three, zero, ms8}},
        // NT 4: every value of the serial device map, as it is. NT 5 and later, and the
        // Windows 95 family: port-class device instances with a COM name.
        {{PLATFORM_WIN32_NT, 4, 0}, {}, {L"COM1|COM1|", lpt, L"COM5|COM5|"}, UNSET, L"COM5"},
        {{PLATFORM_WIN32_NT, 5, 0},
         {},
         {L"COM1|Communications Port (COM1)|ACPI", L"COM4|COM4|FTDIBUS"}},
        {{PLATFORM_WIN32_WINDOWS, 4, 10}, {}, {L"COM2|COM2|BIOS"}},
        {{PLATFORM_WIN32_NT, 3, 51}, {}, {}, REGISTRY_OLD_WIN_VERSION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        build();
        SetSystemVersionOverride(c.version);
        if (c.fault)
            m_registry.FailCall(*c.fault);
        EXPECT_EQ(Discover(c.nError == UNSET, c.strStopAt), c.expected);
        EXPECT_EQ(LastSystemError(), c.nError);
    }

    // More than the memory the routine may take.
    SetSystemVersionOverride(std::nullopt);
    m_registry.SetString(MS_PORTS + L"\\Huge", L"Port", std::wstring(size_t{1} << 22, L'h'));
    Discover(false);
    EXPECT_EQ(LastSystemError(), uint32_t(REGISTRY_NOT_ENOUGH_MEMORY));
}

// On Linux the registry shows the port map, names decoded from UTF-8: the list is built from
// one scan, and a Read or a Store opens its port by the number from that scan without another,
// also a port plugged in since under the number it is remembered by.
TEST_F(PortDiscoveryTest, OnLinuxOneScanBuildsTheListAndThePortsOpenWithoutAnother) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(testing::TempDir()) / ("discovery." + std::to_string(getpid()));
    fs::create_directories(root / "dev");
    std::ofstream(root / "dev/rfcomm0") << '\n';
    std::ofstream(root / "numbers") << "2\tpublished:Late\n";
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);  // published ports go there
    PortMap& map = PortMap::Instance();
    map.SetSetup({(root / "dev").string(), (root / "sys").string(), (root / "numbers").string()});
    map.Add(3, "Gyro \xC2\xABtq480\xC2\xBB \xC3(", "/dev/null");
    const size_t nScans = map.ScanCount();
    SetRegistry(nullptr);
    EXPECT_EQ(Discover(),
              (Ports{L"COM1|Bluetooth serial rfcomm0|", L"COM3|Gyro \u00ABtq480\u00BB \uFFFD(|"}));
    EXPECT_EQ(map.ScanCount(), nScans + 1);
    // A plain file is reached and is no tty; nothing is known of COM4.
    const std::pair<const char*, int> opens[] = {
        {"COM1:", ENOTTY}, {"COM1:", ENOTTY}, {"COM3", ENOTTY}, {"COM2", ENOENT}, {"COM4", ENOENT}};
    for (const auto& [pName, nError] : opens) {
        EXPECT_FALSE(DefaultSerialOpener().Open(pName));
        EXPECT_EQ(LastSystemError(), uint32_t(nError)) << pName;
    }
    ASSERT_TRUE(PublishPort("Late", "/dev/null"));
    EXPECT_FALSE(DefaultSerialOpener().Open("COM2"));
    EXPECT_EQ(LastSystemError(), uint32_t(ENOTTY));
    EXPECT_EQ(map.ScanCount(), nScans + 1);

    map.Clear();
    map.SetSetup({});
    unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(root);
}

}  // namespace
