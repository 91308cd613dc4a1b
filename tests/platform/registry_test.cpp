#include "platform/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/port_map.h"

namespace platform {
namespace {

// Subkey names of an open key, read with ample room.
std::vector<std::wstring> Subkeys(RegistryView& registry, RegistryKey hKey) {
    std::vector<std::wstring> names;
    wchar_t name[64];
    uint32_t nChars = 64;
    for (uint32_t i = 0; registry.EnumKey(hKey, i, name, nChars) == REGISTRY_SUCCESS;
         ++i, nChars = 64)
        names.emplace_back(name, nChars);
    return names;
}

std::wstring StringValue(RegistryView& registry, RegistryKey hKey, std::wstring_view strName) {
    wchar_t text[64] = {};
    uint32_t nChars = 64;
    EXPECT_EQ(registry.QueryString(hKey, strName, text, nChars), REGISTRY_SUCCESS);
    return text;
}

// Sizes and case-blind names are the discovery tests' to check; types are kept apart, and a
// handle ends with its close.
TEST(MemoryRegistry, KeepsValueTypesApartAndHandlesEndWithTheirClose) {
    MemoryRegistry registry;
    registry.SetString(L"Drivers\\BuiltIn\\Serial", L"Prefix", L"COM");
    registry.SetDword(L"drivers\\BUILTIN\\serial", L"Index", 1);
    RegistryKey hSerial = 0;
    ASSERT_EQ(registry.OpenKey(REGISTRY_LOCAL_MACHINE, L"Drivers\\BuiltIn\\Serial", hSerial), 0);
    wchar_t text[8];
    uint32_t nChars = 8, nValue = 0;
    EXPECT_EQ(registry.QueryDword(hSerial, L"Prefix", nValue), REGISTRY_INVALID_DATATYPE);
    EXPECT_EQ(registry.QueryString(hSerial, L"Index", text, nChars), REGISTRY_INVALID_DATATYPE);
    EXPECT_EQ(registry.QueryDword(hSerial, L"Dll", nValue), REGISTRY_NOT_FOUND);
    EXPECT_EQ(registry.OpenKeyCount(), 1u);
    EXPECT_EQ(registry.CloseKey(hSerial), REGISTRY_SUCCESS);
    EXPECT_EQ(registry.QueryDword(hSerial, L"Index", nValue), REGISTRY_INVALID_HANDLE);
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

// The tree follows the map between discoveries, never during one, and reading it scans
// nothing: the discovery asks for the one scan.
TEST(PortMapRegistry, ShowsEachPortAsABuiltInDriverOfItsNumber) {
    const std::string strRoot = testing::TempDir() + "registry_test." + std::to_string(getpid());
    PortMap map({strRoot + "/dev", strRoot + "/sys", strRoot + "/numbers"});  // never scanned
    map.Add(3, "Gyro \xC2\xABtq480\xC2\xBB", "/dev/null");
    map.Add(1, "Bad \xC3( byte", "/dev/zero");
    PortMapRegistry registry(map);

    RegistryKey hBuiltIn = 0, hPort = 0;
    ASSERT_EQ(registry.OpenKey(REGISTRY_LOCAL_MACHINE, L"Drivers\\BuiltIn", hBuiltIn),
              REGISTRY_SUCCESS);
    EXPECT_EQ(Subkeys(registry, hBuiltIn), (std::vector<std::wstring>{L"Serial1", L"Serial3"}));
    ASSERT_EQ(registry.OpenKey(hBuiltIn, L"Serial3", hPort), REGISTRY_SUCCESS);
    uint32_t nIndex = 0;
    EXPECT_EQ(registry.QueryDword(hPort, L"INDEX", nIndex), REGISTRY_SUCCESS);
    EXPECT_EQ(nIndex, 3u);
    EXPECT_EQ(StringValue(registry, hPort, L"PREFIX"), L"COM");
    EXPECT_EQ(StringValue(registry, hPort, L"Dll"), PORT_DRIVER_DLL);
    EXPECT_EQ(StringValue(registry, hPort, L"FRIENDLYNAME"), L"Gyro \u00ABtq480\u00BB");
    registry.CloseKey(hPort);
    ASSERT_EQ(registry.OpenKey(hBuiltIn, L"Serial1", hPort), REGISTRY_SUCCESS);
    EXPECT_EQ(StringValue(registry, hPort, L"FRIENDLYNAME"), L"Bad \uFFFD( byte");

    map.Add(2, "Late", "/dev/full");
    registry.CloseKey(hPort);
    EXPECT_EQ(Subkeys(registry, hBuiltIn).size(), 2u);
    registry.CloseKey(hBuiltIn);
    ASSERT_EQ(registry.OpenKey(REGISTRY_LOCAL_MACHINE, L"Drivers\\BuiltIn", hBuiltIn),
              REGISTRY_SUCCESS);
    EXPECT_EQ(Subkeys(registry, hBuiltIn),
              (std::vector<std::wstring>{L"Serial1", L"Serial2", L"Serial3"}));
    registry.CloseKey(hBuiltIn);
    EXPECT_EQ(map.ScanCount(), 0u);
}

}  // namespace
}  // namespace platform
