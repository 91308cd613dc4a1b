// The Windows parts of the platform layer, run under Wine in the Windows build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/port_map.h"
#include "platform/text.h"
#include "platform/win32/port_devices_win32.h"
#include "platform/win32/serial_win32.h"
#include "platform/win32/windows_api.h"
// After <windows.h>: GUID_DEVCLASS_PORTS defined in this file.
#include <initguid.h>
//
#include <aclapi.h>
#include <devguid.h>
#include <setupapi.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

// wchar_t has 16 bits here: a code point above U+FFFF is a surrogate pair both ways, and a
// lone half is no character.
TEST(Win32Text, CarriesCodePointsAboveTheBasicPlaneAsSurrogatePairs) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"\xF0\x9F\x9A\x81", {wchar_t(0xD83D), wchar_t(0xDE81)}},
        {"a\xF4\x8F\xBF\xBFz", {L'a', wchar_t(0xDBFF), wchar_t(0xDFFF), L'z'}},
        {"Ger\xC3\xA4t", L"Ger\u00E4t"},
    };
    for (const auto& [strUtf8, strWide] : cases) {
        EXPECT_EQ(WideFromUtf8(strUtf8), strWide) << strUtf8;
        EXPECT_EQ(Utf8FromWide(strWide), strUtf8) << strUtf8;
        EXPECT_EQ(NativePath(strWide), strUtf8) << strUtf8;
    }
    EXPECT_EQ(Utf8FromWide(std::wstring{wchar_t(0xDE81), L'x', wchar_t(0xD83D)}),
              "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

// The manifest makes UTF-8 the process's ANSI code page: the C runtime's narrow file calls
// take the program's UTF-8 paths as they are.
TEST(Win32Manifest, MakesUtf8TheCodePageOfNarrowFileNames) {
    EXPECT_EQ(GetACP(), 65001u);
    const fs::path folder = fs::temp_directory_path() / "morvane-win32-acp";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string strName =
        "Einstellung-\xC3\x9C"
        "bung-\xE2\x86\x92.txt";
    {
        std::ofstream out(folder.string() + "\\" + strName, std::ios::binary);
        out << "HighEndpoint=120\n";
    }
    EXPECT_TRUE(fs::exists(folder / L"Einstellung-\u00DCbung-\u2192.txt"));
    std::ifstream in(folder.string() + "\\" + strName, std::ios::binary);
    std::string strLine;
    EXPECT_TRUE(std::getline(in, strLine));
    EXPECT_EQ(strLine, "HighEndpoint=120");
    in.close();
    fs::remove_all(folder);
}

TEST(Win32Files, ReplacesWholeAndKeepsToTheUsersFolders) {
    const fs::path folder = fs::temp_directory_path() / "morvane-win32-files";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string strFile = (folder / "morvane.ini").string();
    for (const char* pContent : {"ComPort=3\n", "ComPort=12\nmore\n"}) {
        EXPECT_EQ(ReplaceFile(strFile, pContent, 0644), 0);
        std::ifstream in(strFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        EXPECT_EQ(text.str(), pContent);
    }
    EXPECT_EQ(ReplaceFile(folder.string(), "x", 0644), EISDIR);
    EXPECT_EQ(ReplaceFile((folder / "missing" / "f.txt").string(), "x", 0644), ENOENT);
    // Nothing is left aside.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_EQ(MakeOwnFolder((folder / "a" / "b").string()), 0);
    EXPECT_EQ(OwnFolderTrusted(strFile), ENOTDIR);

    _putenv_s("XDG_STATE_HOME", "");
    _putenv_s("LOCALAPPDATA", "C:\\Users\\pilot\\AppData\\Local");
    _putenv_s("APPDATA", "C:\\Users\\pilot\\AppData\\Roaming");
    EXPECT_EQ(XdgUserFolder("XDG_STATE_HOME", ".local/state", "morvane/history"),
              "C:\\Users\\pilot\\AppData\\Local\\Morvane\\history");
    _putenv_s("XDG_CONFIG_HOME", "");
    EXPECT_EQ(UserConfigFolder(), "C:\\Users\\pilot\\AppData\\Roaming\\Morvane");
    fs::remove_all(folder);
}

// A folder that another account may change is not trusted, as on Linux one that its group or
// others may write to; reading does not count. Wine keeps of a folder's permissions what its
// Unix mode holds (the owner's, and Everyone's as the others' bits): other accounts' entries,
// and so the Administrators' and the system's, are not kept, and cannot be tried here.
TEST(Win32Files, TrustsAFolderOnlyWhileNoOneElseMayChangeIt) {
    const struct {
        WELL_KNOWN_SID_TYPE nAccount;
        DWORD nRights;
        int nExpected;
    } cases[] = {
        {WinWorldSid, FILE_ADD_FILE, EPERM},
        {WinWorldSid, FILE_ADD_SUBDIRECTORY, EPERM},
        {WinWorldSid, FILE_GENERIC_READ | FILE_TRAVERSE, 0},
    };
    std::wstring strFolder = (fs::temp_directory_path() / "morvane-win32-trust").wstring();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nAccount) + " " + std::to_string(c.nRights));
        fs::remove_all(strFolder);
        ASSERT_EQ(MakeOwnFolder(Utf8FromWide(strFolder)), 0);
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD nSidBytes = sizeof sid;
        ASSERT_TRUE(CreateWellKnownSid(c.nAccount, nullptr, sid, &nSidBytes));
        PACL pOld = nullptr, pNew = nullptr;
        PSECURITY_DESCRIPTOR pDescriptor = nullptr;
        ASSERT_EQ(
            GetNamedSecurityInfoW(strFolder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &pOld, nullptr, &pDescriptor),
            ERROR_SUCCESS);
        EXPLICIT_ACCESS_W access{};
        access.grfAccessPermissions = c.nRights;
        access.grfAccessMode = GRANT_ACCESS;
        BuildTrusteeWithSidW(&access.Trustee, sid);
        ASSERT_EQ(SetEntriesInAclW(1, &access, pOld, &pNew), ERROR_SUCCESS);
        EXPECT_EQ(SetNamedSecurityInfoW(strFolder.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, pNew, nullptr),
                  ERROR_SUCCESS);
        LocalFree(pNew);
        LocalFree(pDescriptor);
        EXPECT_EQ(OwnFolderTrusted(Utf8FromWide(strFolder)), c.nExpected);
    }
    fs::remove_all(strFolder);
}

TEST(Win32Serial, OpensComPortsByTheirDevicePathAndSaysWhyNot) {
    EXPECT_EQ(Win32DevicePathFor("com5:"), L"\\\\.\\COM5");
    EXPECT_EQ(Win32DevicePathFor("COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(Win32DevicePathFor("COM05"), L"");
    EXPECT_EQ(Win32DevicePathFor("LPT1"), L"");
    EXPECT_EQ(OpenWin32SerialDevice(L"\\\\.\\COM97"), nullptr);
    EXPECT_EQ(LastSystemError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), L"Access denied");
}

// The device manager's names as the port list shows them after "COMn:".
TEST(Win32PortDevices, NamesEachComPortByItsDeviceWithoutThePortAgain) {
    const std::vector<PortDevice> devices = {
        {L"USB Serial Port (COM4)", L"COM4"},
        {L"Standard Serial over Bluetooth link (COM12)", L"COM12"},
        {L"Serielles USB-Ger\u00E4t (com3)", L"COM3"},
        {L"Prolific USB-to-Serial Comm Port", L"COM7"},
        {L"Communications Port (COM1)", L"COM8"},  // renamed: the mark is another port's
        {L"  Silicon Labs CP210x  (COM9)  ", L" COM9 "},
        {L"(COM10)", L"COM10"},
        {L"", L"COM11"},
        {L"Printer Port (LPT1)", L"LPT1"},
        {L"Second claim (COM4)", L"COM4"},
        {L"Zero (COM05)", L"COM05"},
        {L"Too far (COM100)", L"COM100"},
        {L"Colon (COM6:)", L"COM6:"},
    };
    const std::map<int, std::string> expected = {
        {3, "Serielles USB-Ger\xC3\xA4t"},
        {4, "USB Serial Port"},
        {7, "Prolific USB-to-Serial Comm Port"},
        {8, "Communications Port (COM1)"},
        {9, "Silicon Labs CP210x"},
        {12, "Standard Serial over Bluetooth link"},
    };
    EXPECT_EQ(PortDeviceNames(devices), expected);
}

// A port whose device the device manager knows is listed by the device's name, the others by
// their driver's device name.
TEST(Win32PortDevices, ListsAPortByItsDevicesName) {
    HKEY hSerialComm = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &hSerialComm, nullptr),
              ERROR_SUCCESS);
    const auto SetString = [](HKEY hKey, const wchar_t* pName, const std::wstring& strValue) {
        return RegSetValueExW(hKey, pName, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(strValue.c_str()),
                              static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
    };
    ASSERT_EQ(SetString(hSerialComm, L"\\Device\\MorvaneTest97", L"COM97"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(hSerialComm, L"\\Device\\MorvaneTest98", L"COM98"), ERROR_SUCCESS);
    const HDEVINFO hSet = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(SetupDiCreateDeviceInfoW(hSet, L"PORTS", &GUID_DEVCLASS_PORTS, nullptr, nullptr,
                                         DICD_GENERATE_ID, &info));
    const std::wstring strFriendly = L"Test Serial Link (COM98)";
    EXPECT_TRUE(SetupDiSetDeviceRegistryPropertyW(
        hSet, &info, SPDRP_FRIENDLYNAME, reinterpret_cast<const BYTE*>(strFriendly.c_str()),
        static_cast<DWORD>((strFriendly.size() + 1) * sizeof(wchar_t))));
    EXPECT_TRUE(SetupDiRegisterDeviceInfo(hSet, &info, 0, nullptr, nullptr, nullptr));
    const HKEY hDevice =
        SetupDiCreateDevRegKeyW(hSet, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    EXPECT_NE(hDevice, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetString(hDevice, L"PortName", L"COM98"), ERROR_SUCCESS);
    RegCloseKey(hDevice);

    PortMap map;
    map.Refresh();
    std::map<int, std::string> names;
    for (const PortMapEntry& entry : map.Entries())
        names[entry.nNumber] = entry.strFriendlyName;
    EXPECT_EQ(names[97], "Serial port MorvaneTest97");
    EXPECT_EQ(names[98], "Test Serial Link");

    EXPECT_TRUE(SetupDiRemoveDevice(hSet, &info));
    SetupDiDestroyDeviceInfoList(hSet);
    RegDeleteValueW(hSerialComm, L"\\Device\\MorvaneTest97");
    RegDeleteValueW(hSerialComm, L"\\Device\\MorvaneTest98");
    RegCloseKey(hSerialComm);
}

// A watched handle wakes the loop on the real clock as soon as it is signalled.
TEST(Win32EventLoop, RealClockWakesForASignalledHandle) {
    HeadlessEventLoop loop(ClockKind::Real);
    HANDLE hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const int nFd = static_cast<int>(reinterpret_cast<intptr_t>(hEvent));
    int64_t nWokeMs = -1;
    loop.WatchDescriptor(nFd, [&] {
        ResetEvent(hEvent);
        nWokeMs = loop.NowMs();
    });
    std::thread setter([hEvent] {
        Sleep(50);
        SetEvent(hEvent);
    });
    EXPECT_TRUE(loop.RunUntil([&] { return nWokeMs >= 0; }, 5000));
    setter.join();
    EXPECT_GE(nWokeMs, 40);
    EXPECT_LT(nWokeMs, 4000);
    loop.UnwatchDescriptor(nFd);
    CloseHandle(hEvent);
}

}  // namespace
}  // namespace platform
