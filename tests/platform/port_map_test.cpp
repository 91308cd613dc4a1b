#include "platform/port_map.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/published_ports.h"
#include "platform/serial.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<PortMapEntry>;

// Each test gets fake /dev and /sys trees, its own published-ports and configuration folders,
// and an empty map. Device nodes are plain files: the map only needs them to exist.
class PortMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(m_root);
        for (const char* pFolder : {"dev/serial/by-id", "sys/class/tty", "run", "config"})
            fs::create_directories(m_root / pFolder);
        for (const char* pName : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) {
            const char* pSaved = getenv(pName);
            m_saved.emplace_back(pName, pSaved ? std::optional<std::string>(pSaved) : std::nullopt);
        }
        setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        PortMap::Instance().SetSetup(MapSetup());
        PortMap::Instance().Clear();
    }
    void TearDown() override {
        PortMap::Instance().Clear();
        PortMap::Instance().SetSetup({});
        for (const auto& [strName, value] : m_saved)
            value ? setenv(strName.c_str(), value->c_str(), 1) : unsetenv(strName.c_str());
        fs::remove_all(m_root);
    }

    PortMapSetup MapSetup() const {
        return {(m_root / "dev").string(), (m_root / "sys").string(), ""};
    }
    std::string Dev(const std::string& strName) const {
        return fs::weakly_canonical(m_root / "dev" / strName).string();
    }
    void Touch(const fs::path& path) const {
        fs::create_directories(path.parent_path());
        std::ofstream(path).put('\n');
    }

    // A USB adapter as the kernel and udev show it: the tty below the interface (ttyUSB) or
    // on it (ttyACM), the product name on the USB device, the by-id link when udev made one.
    void PlugUsb(const std::string& strTty, const std::string& strById,
                 const std::string& strProduct) {
        const fs::path usbDevice = m_root / "sys/devices/usb1" / ("1-" + strTty);
        const fs::path interface = usbDevice / ("1-" + strTty + ":1.0");
        const bool bAcm = strTty.starts_with("ttyACM");
        fs::create_directories(bAcm ? interface : interface / strTty);
        if (!strProduct.empty())
            std::ofstream(usbDevice / "product") << strProduct << "\n";
        fs::create_directories(m_root / "sys/class/tty" / strTty);
        fs::create_symlink(bAcm ? interface : interface / strTty,
                           m_root / "sys/class/tty" / strTty / "device");
        Touch(m_root / "dev" / strTty);
        if (!strById.empty())
            fs::create_symlink("../../" + strTty, m_root / "dev/serial/by-id" / strById);
    }
    void Unplug(const std::string& strTty, const std::string& strById) {
        fs::remove(m_root / "dev" / strTty);
        fs::remove(m_root / "dev/serial/by-id" / strById);
        fs::remove_all(m_root / "sys/class/tty" / strTty);
        fs::remove_all(m_root / "sys/devices/usb1" / ("1-" + strTty));
    }
    // A ttyS port with its UART type, or without one and bound to a driver.
    void AddUart(const std::string& strName, std::optional<std::string> type,
                 const std::string& strDriver = "", bool bNode = true) {
        const fs::path folder = m_root / "sys/class/tty" / strName;
        fs::create_directories(folder);
        if (type)
            std::ofstream(folder / "type") << *type << "\n";
        if (!strDriver.empty()) {
            const fs::path device = m_root / "sys/devices/platform" / strName;
            fs::create_directories(device);
            fs::create_directories(m_root / "sys/bus/drivers" / strDriver);
            fs::create_symlink(m_root / "sys/bus/drivers" / strDriver, device / "driver");
            fs::create_symlink(device, folder / "device");
        }
        if (bNode)
            Touch(m_root / "dev" / strName);
    }

    static Entries Refreshed(PortMap& map = PortMap::Instance()) {
        map.Refresh();
        return map.Entries();
    }

    const fs::path m_root =
        fs::path(testing::TempDir()) / ("port_map_test." + std::to_string(getpid()));
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(PortMapTest, PublishedPortsKeepTheirNumbers) {
    const std::string strA = "/dev/null", strB = "/dev/zero", strC = "/dev/full";
    ASSERT_TRUE(PublishPort("Beta", strB) && PublishPort("Alpha", strA));
    ASSERT_TRUE(PublishPort("Dangling", (m_root / "gone").string()));
    EXPECT_EQ(Refreshed(), (Entries{{1, "Alpha", strA}, {2, "Beta", strB}}));

    // A newcomer takes the lowest number nobody holds or remembers; nobody listed moves.
    ASSERT_TRUE(PublishPort("Aardvark", strC));
    EXPECT_EQ(Refreshed(), (Entries{{1, "Alpha", strA}, {2, "Beta", strB}, {3, "Aardvark", strC}}));
    UnpublishPort("Alpha");
    ASSERT_TRUE(PublishPort("Zulu", strA));
    EXPECT_EQ(Refreshed(), (Entries{{2, "Beta", strB}, {3, "Aardvark", strC}, {4, "Zulu", strA}}));

    // Back: its own number again, which waited for it.
    ASSERT_TRUE(PublishPort("Alpha", strA));
    EXPECT_EQ(Refreshed().front(), (PortMapEntry{1, "Alpha", strA}));
    UnpublishPort("Alpha");
    UnpublishPort("Beta");
    Refreshed();
    ASSERT_TRUE(PublishPort("Beta", strB));
    EXPECT_EQ(Refreshed(), (Entries{{2, "Beta", strB}, {3, "Aardvark", strC}, {4, "Zulu", strA}}));
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
    map.Remove(2);  // a found port comes back with the next scan
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
    // Found without anybody calling Refresh, and opened: a plain file is no tty.
    PlugUsb("ttyUSB0", "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "FT232R USB UART");
    EXPECT_FALSE(opener.Open("COM1:"));
    EXPECT_EQ(LastSystemError(), uint32_t(ENOTTY));
}

TEST_F(PortMapTest, FindsAdaptersBluetoothPortsAndUartsWithHardware) {
    PlugUsb("ttyUSB0", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FT232R USB UART");
    PlugUsb("ttyACM0", "", "Pico");
    PlugUsb("ttyUSB1", "", "");
    fs::create_symlink("../../ttyUSB9", m_root / "dev/serial/by-id/usb-Pulled-if00-port0");
    Touch(m_root / "dev/rfcomm0");
    Touch(m_root / "dev/ttyUSBx");
    AddUart("ttyS0", "4");
    AddUart("ttyS1", "0");  // an empty slot
    AddUart("ttyS10", "4");
    AddUart("ttyS2", std::nullopt, "serial8250");  // the legacy placeholder
    AddUart("ttyS3", std::nullopt, "dw-apb-uart");
    AddUart("ttyS4", "4", "", false);  // no device node
    const std::vector<DetectedPort> expected = {
        {"uart:ttyS0", "Serial port ttyS0", Dev("ttyS0")},
        {"uart:ttyS3", "Serial port ttyS3", Dev("ttyS3")},
        {"uart:ttyS10", "Serial port ttyS10", Dev("ttyS10")},
        {"usb:usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FT232R USB UART", Dev("ttyUSB0")},
        {"usb:ttyACM0", "Pico", Dev("ttyACM0")},
        {"usb:ttyUSB1", "USB serial ttyUSB1", Dev("ttyUSB1")},
        {"bluetooth:rfcomm0", "Bluetooth serial rfcomm0", Dev("rfcomm0")},
    };
    EXPECT_EQ(DetectSerialHardware((m_root / "dev").string(), (m_root / "sys").string()), expected);
}

TEST_F(PortMapTest, DevicesKeepTheirNumbersAcrossReplugAndRestart) {
    const std::string strA = "usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    const std::string strB = "usb-Silicon_Labs_CP2102_B2-if00-port0";
    AddUart("ttyS0", "4");
    PlugUsb("ttyUSB0", strA, "FT232R USB UART");
    Touch(m_root / "dev/pts-sim");
    ASSERT_TRUE(PublishPort("Gyro sim", (m_root / "dev/pts-sim").string()));
    EXPECT_EQ(Refreshed(), (Entries{{1, "Serial port ttyS0", Dev("ttyS0")},
                                    {2, "FT232R USB UART", Dev("ttyUSB0")},
                                    {3, "Gyro sim", (m_root / "dev/pts-sim").string()}}));

    // Another adapter in the same socket gets the same tty but its own number.
    Unplug("ttyUSB0", strA);
    PlugUsb("ttyUSB0", strB, "CP2102 USB to UART Bridge Controller");
    EXPECT_EQ(Refreshed().back(),
              (PortMapEntry{4, "CP2102 USB to UART Bridge Controller", Dev("ttyUSB0")}));
    PlugUsb("ttyUSB1", strA, "FT232R USB UART");
    const Entries plugged = Refreshed();
    EXPECT_EQ(plugged[1], (PortMapEntry{2, "FT232R USB UART", Dev("ttyUSB1")}));

    // The next run reads the numbers back, whatever order it meets the devices in.
    PortMap restarted(MapSetup());
    ASSERT_TRUE(PublishPort("A newcomer", "/dev/null"));
    Entries expected = plugged;
    expected.push_back({5, "A newcomer", "/dev/null"});
    EXPECT_EQ(Refreshed(restarted), expected);
}

TEST_F(PortMapTest, NewDevicesTakeAnOpenableNumberFromTheDeviceAwayLongest) {
    ASSERT_TRUE(PublishPort("Kept", "/dev/null"));
    Refreshed();
    for (int i = 0; i < 9; ++i) {
        const std::string strName = "Run " + std::to_string(i);
        ASSERT_TRUE(PublishPort(strName, "/dev/zero"));
        const Entries entries = Refreshed();
        UnpublishPort(strName);
        // Runs 0..6 take 2..8; then the numbers of runs 0 and 1 come free.
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].strFriendlyName, "Kept");
        EXPECT_EQ(entries[1].nNumber, i < 7 ? i + 2 : i - 5) << strName;
    }
    // Run 0 lost its number to run 7 and takes the number of run 2.
    ASSERT_TRUE(PublishPort("Run 0", "/dev/zero"));
    EXPECT_EQ(Refreshed().back().nNumber, 4);
}

}  // namespace
}  // namespace platform
