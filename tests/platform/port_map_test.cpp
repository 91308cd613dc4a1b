#include "platform/port_map.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/published_ports.h"
#include "platform/serial.h"

namespace platform {
namespace {

using Entries = std::vector<PortMapEntry>;

// Published ports live under $XDG_RUNTIME_DIR: each test gets a fresh folder and an empty map.
// Links point at /dev/null and friends: the map only needs the target to exist.
class PortMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* pSaved = getenv("XDG_RUNTIME_DIR");
        m_strSaved = pSaved ? pSaved : "";
        std::filesystem::remove_all(m_strFolder);
        std::filesystem::create_directories(m_strFolder);
        setenv("XDG_RUNTIME_DIR", m_strFolder.c_str(), 1);
        PortMap::Instance().Clear();
    }
    void TearDown() override {
        PortMap::Instance().Clear();
        std::filesystem::remove_all(m_strFolder);
        m_strSaved.empty() ? unsetenv("XDG_RUNTIME_DIR")
                           : setenv("XDG_RUNTIME_DIR", m_strSaved.c_str(), 1);
    }

    static Entries Refreshed() {
        PortMap::Instance().Refresh();
        return PortMap::Instance().Entries();
    }

    std::string m_strFolder = testing::TempDir() + "port_map_test." + std::to_string(getpid());
    std::string m_strSaved;
};

TEST_F(PortMapTest, PublishedPortsKeepTheirNumbers) {
    const std::string strA = "/dev/null", strB = "/dev/zero", strC = "/dev/full";
    ASSERT_TRUE(PublishPort("Beta", strB) && PublishPort("Alpha", strA));
    ASSERT_TRUE(PublishPort("Dangling", m_strFolder + "/gone"));
    EXPECT_EQ(Refreshed(), (Entries{{1, "Alpha", strA}, {2, "Beta", strB}}));

    // A newcomer takes the lowest free number; nobody already listed moves.
    ASSERT_TRUE(PublishPort("Aardvark", strC));
    EXPECT_EQ(Refreshed(), (Entries{{1, "Alpha", strA}, {2, "Beta", strB}, {3, "Aardvark", strC}}));
    UnpublishPort("Alpha");
    ASSERT_TRUE(PublishPort("Zulu", strA));
    EXPECT_EQ(Refreshed(), (Entries{{1, "Zulu", strA}, {2, "Beta", strB}, {3, "Aardvark", strC}}));

    // Back while its number is taken: a new one, kept while it lives.
    ASSERT_TRUE(PublishPort("Alpha", strA));
    EXPECT_EQ(Refreshed().back(), (PortMapEntry{4, "Alpha", strA}));
    UnpublishPort("Zulu");
    EXPECT_EQ(Refreshed().back(), (PortMapEntry{4, "Alpha", strA}));
    // Back while its first number is free: that one again, though a lower one is free too.
    UnpublishPort("Alpha");
    UnpublishPort("Beta");
    Refreshed();
    ASSERT_TRUE(PublishPort("Beta", strB));
    EXPECT_EQ(Refreshed(), (Entries{{2, "Beta", strB}, {3, "Aardvark", strC}}));
}

TEST_F(PortMapTest, AddedPortsOwnTheirNumbers) {
    PortMap& map = PortMap::Instance();
    ASSERT_TRUE(PublishPort("Alpha", "/dev/null"));
    Refreshed();
    EXPECT_TRUE(map.Add(1, "USB cable", "/dev/ttyUSB0") && map.Add(3, "Bluetooth", "/dev/rfcomm0"));
    EXPECT_FALSE(map.Add(0, "none", "/dev/null") || map.Add(100, "none", "/dev/null"));
    const Entries expected = {{1, "USB cable", "/dev/ttyUSB0"},
                              {2, "Alpha", "/dev/null"},
                              {3, "Bluetooth", "/dev/rfcomm0"}};
    EXPECT_EQ(map.Entries(), expected);
    EXPECT_EQ(Refreshed(), expected);
    map.Remove(2);  // a published port comes back with the next scan
    map.Remove(3);
    EXPECT_EQ(map.Entries().size(), 1u);
    EXPECT_EQ(Refreshed(), (Entries{expected[0], expected[1]}));
}

TEST_F(PortMapTest, ComNamesResolveWithOrWithoutColon) {
    PortMap& map = PortMap::Instance();
    map.Add(3, "three", "/dev/ttyS2");
    map.Add(12, "twelve", "/dev/ttyUSB1");
    for (const char* pName : {"COM3:", "COM3", "com3:"})
        EXPECT_EQ(map.DevicePathFor(pName), "/dev/ttyS2") << pName;
    EXPECT_EQ(map.DevicePathFor("COM12:"), "/dev/ttyUSB1");
    for (const char* pName :
         {"COM4:", "COM03", "COM3::", "COM0:", "COM123", "COM", "COMx:", " COM3", "LPT3:", ""})
        EXPECT_FALSE(map.DevicePathFor(pName)) << pName;
}

TEST_F(PortMapTest, DefaultOpenerResolvesThroughTheMap) {
    SerialOpener& opener = DefaultSerialOpener();
    for (const char* pName : {"COM42:", "COM7", "serial"}) {
        SetLastSystemError(0);
        EXPECT_FALSE(opener.Open(pName)) << pName;
        EXPECT_EQ(LastSystemError(), uint32_t(ENOENT)) << pName;
    }
    // Found without anybody calling Refresh, and opened: /dev/null is no tty.
    ASSERT_TRUE(PublishPort("Not a tty", "/dev/null"));
    EXPECT_FALSE(opener.Open("COM1:"));
    EXPECT_EQ(LastSystemError(), uint32_t(ENOTTY));
}

}  // namespace
}  // namespace platform
