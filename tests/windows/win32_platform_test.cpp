// The Windows parts of the platform layer, run under Wine in the Windows build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/win32/serial_win32.h"
#include "platform/win32/windows_api.h"

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

TEST(Win32Serial, OpensComPortsByTheirDevicePathAndSaysWhyNot) {
    EXPECT_EQ(Win32DevicePathFor("com5:"), L"\\\\.\\COM5");
    EXPECT_EQ(Win32DevicePathFor("COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(Win32DevicePathFor("COM05"), L"");
    EXPECT_EQ(Win32DevicePathFor("LPT1"), L"");
    EXPECT_EQ(OpenWin32SerialDevice(L"\\\\.\\COM97"), nullptr);
    EXPECT_EQ(LastSystemError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), L"Access denied");
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
