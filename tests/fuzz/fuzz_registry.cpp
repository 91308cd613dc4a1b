// Registry trees as port discovery meets them: any keys, names and values, on every system it
// reads, end in a result with every key closed, and a failure names its error.
#include <sstream>

#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "shell/port_discovery.h"

extern const std::vector<std::string> FUZZ_SEEDS;
// The system, then one value a line: key, name and value, tab-separated; "#" makes a number.
const std::vector<std::string> FUZZ_SEEDS = {
    "0Drivers\\BuiltIn\\Serial1\tPREFIX\tCOM\nDrivers\\BuiltIn\\Serial1\tINDEX\t#1\n"
    "Drivers\\BuiltIn\\Serial1\tDll\tBTIBSerial.dll\n"
    "Software\\Microsoft\\Bluetooth\\Serial\\Ports\\A\tPort\tCOM8\n",
    "2HARDWARE\\DEVICEMAP\\SERIALCOMM\t\\Device\\Serial0\tCOM1\n",
    "3SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI\\PNP0501\\1\tCLASS\tPorts\n"
    "SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI\\PNP0501\\1\tPORTNAME\tCOM1\n",
    "4Enum\\BIOS\\*PNP0501\\0000\tCLASS\tPORTS\nEnum\\BIOS\\*PNP0501\\0000\tPORTNAME\tCOM2\n"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0)
        return 0;
    using namespace platform;
    const SystemVersion systems[] = {{PLATFORM_WIN32_CE, 5, 0},
                                     {PLATFORM_WIN32_CE, 3, 0},
                                     {PLATFORM_WIN32_NT, 4, 0},
                                     {PLATFORM_WIN32_NT, 5, 0},
                                     {PLATFORM_WIN32_WINDOWS, 4, 10}};
    SetSystemVersionOverride(systems[pData[0] % 5]);
    MemoryRegistry registry;
    std::wstring strAll;
    for (size_t i = 1; i < nSize; ++i)
        strAll += static_cast<wchar_t>(pData[i]);
    std::wistringstream lines(strAll);
    for (std::wstring strLine; std::getline(lines, strLine);) {
        const size_t nTab = strLine.find(L'\t'), nTab2 = strLine.find(L'\t', nTab + 1);
        if (nTab2 == std::wstring::npos)
            continue;
        const std::wstring strKey = strLine.substr(0, nTab), strValue = strLine.substr(nTab2 + 1);
        const std::wstring strName = strLine.substr(nTab + 1, nTab2 - nTab - 1);
        if (strValue.starts_with(L'#'))
            registry.SetDword(
                strKey, strName,
                static_cast<uint32_t>(std::wcstoul(strValue.c_str() + 1, nullptr, 10)));
        else
            registry.SetString(strKey, strName, strValue);
    }
    SetRegistry(&registry);
    SetLastSystemError(0);
    const bool bDone = EnumerateSerialPorts([](intptr_t, const SerialPortEntry&) { return 1; }, 0);
    if (registry.OpenKeyCount() != 0 || (!bDone && LastSystemError() == 0))
        __builtin_trap();
    SetRegistry(nullptr);
    return 0;
}
