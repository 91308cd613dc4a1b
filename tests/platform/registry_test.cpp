#include "platform/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

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

// Sizes given back, types kept apart, handles that end with their close.
TEST(MemoryRegistry, AnswersLikeTheRegistryItStandsFor) {
    MemoryRegistry registry;
    registry.SetString(L"Drivers\\BuiltIn\\Serial", L"Prefix", L"COM");
    registry.SetDword(L"drivers\\BUILTIN\\serial", L"Index", 1);
    RegistryKey hBuiltIn = 0, hSerial = 0;
    ASSERT_EQ(registry.OpenKey(REGISTRY_LOCAL_MACHINE, L"DRIVERS\\builtin", hBuiltIn), 0);
    wchar_t name[8];
    uint32_t nChars = 6;  // "Serial" and no room for its terminator: its length
    EXPECT_EQ(registry.EnumKey(hBuiltIn, 0, name, nChars), REGISTRY_MORE_DATA);
    EXPECT_EQ(nChars, 6u);
    ASSERT_EQ(registry.OpenKey(hBuiltIn, L"SERIAL", hSerial), REGISTRY_SUCCESS);
    nChars = 3;  // a value's size counts its terminator
    EXPECT_EQ(registry.QueryString(hSerial, L"PREFIX", name, nChars), REGISTRY_MORE_DATA);
    EXPECT_EQ(nChars, 4u);
    EXPECT_EQ(registry.QueryString(hSerial, L"PREFIX", name, nChars), REGISTRY_SUCCESS);
    EXPECT_EQ(std::wstring(name), L"COM");
    uint32_t nValue = 0;
    EXPECT_EQ(registry.QueryDword(hSerial, L"Prefix", nValue), REGISTRY_INVALID_DATATYPE);
    EXPECT_EQ(registry.QueryString(hSerial, L"Index", name, nChars), REGISTRY_INVALID_DATATYPE);
    EXPECT_EQ(registry.QueryDword(hSerial, L"Dll", nValue), REGISTRY_NOT_FOUND);
    EXPECT_EQ(registry.CloseKey(hSerial), REGISTRY_SUCCESS);
    EXPECT_EQ(registry.QueryDword(hSerial, L"Index", nValue), REGISTRY_INVALID_HANDLE);
    EXPECT_EQ(registry.OpenKeyCount(), 1u);
    registry.CloseKey(hBuiltIn);
}

TEST(PortMapRegistry, ShowsEachPortAsABuiltInDriverOfItsNumber) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::path(testing::TempDir()) / ("registry_test." + std::to_string(getpid()));
    fs::create_directories(root);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);  // no published ports there
    PortMap map({(root / "dev").string(), (root / "sys").string(), (root / "com-ports").string()});
    map.Add(3, "Gyro \xC2\xABtq480\xC2\xBB", "/dev/null");
    map.Add(1, "Bad \xFF byte", "/dev/zero");
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
    EXPECT_EQ(StringValue(registry, hPort, L"FRIENDLYNAME"), L"Bad \uFFFD byte");

    // One discovery sees one picture: a port added meanwhile shows with the next one.
    map.Add(2, "Late", "/dev/full");
    registry.CloseKey(hPort);
    EXPECT_EQ(Subkeys(registry, hBuiltIn).size(), 2u);
    registry.CloseKey(hBuiltIn);
    ASSERT_EQ(registry.OpenKey(REGISTRY_LOCAL_MACHINE, L"Drivers\\BuiltIn", hBuiltIn),
              REGISTRY_SUCCESS);
    EXPECT_EQ(Subkeys(registry, hBuiltIn),
              (std::vector<std::wstring>{L"Serial1", L"Serial2", L"Serial3"}));
    registry.CloseKey(hBuiltIn);
    unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(root);
}

}  // namespace
}  // namespace platform
