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
    "0Drivers\\BuiltIn\\S\tPREFIX\tCOM\nDrivers\\BuiltIn\\S\tINDEX\t#"
    "1\nDrivers\\BuiltIn\\S\tDll\tx\n",
    "1Software\\Microsoft\\Bluetooth\\Serial\\Ports\\A\tPort\tCOM8\n",
    "2HARDWARE\\DEVICEMAP\\SERIALCOMM\t\\Device\\Serial0\tCOM1\n",
    "3SYSTEM\\CURRENTCONTROLSET\\ENUM\\A\\P\\1\tCLASS\tPorts\nSYSTEM\\CURRENTCONTROLSET\\ENUM\\A\\P"
    "\\1\tPORTNAME\tCOM1\n",
    "4Enum\\BIOS\\P\\0\tCLASS\tPORTS\nEnum\\BIOS\\P\\0\tPORTNAME\tCOM2\n"};

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
    for (std::wstring strKey, strName, strValue; std::getline(lines, strKey, L'\t') &&
                                                 std::getline(lines, strName, L'\t') &&
                                                 std::getline(lines, strValue);)
        strValue.starts_with(L'#')
            ? registry.SetDword(strKey, strName, uint32_t(std::wcstoul(&strValue[1], nullptr, 10)))
            : registry.SetString(strKey, strName, strValue);
    SetRegistry(&registry);
    SetLastSystemError(0);
    const bool bDone = EnumerateSerialPorts([](intptr_t, const SerialPortEntry&) { return 1; }, 0);
    if (registry.OpenKeyCount() != 0 || (!bDone && LastSystemError() == 0))
        __builtin_trap();
    SetRegistry(nullptr);
    return 0;
}
