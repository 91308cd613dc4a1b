#include "platform/port_map.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/published_ports.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<PortMapEntry>;

// Fake /dev and /sys trees, published-ports folder and numbers file; device nodes are plain files.
class PortMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(m_root / "dev/serial/by-id");
        setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
        PortMap::Instance().SetSetup(m_setup);
        PortMap::Instance().Clear();
    }
    void TearDown() override {
        PortMap::Instance().Clear();
        PortMap::Instance().SetSetup({});
        unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(m_root);
    }

    std::string Dev(const std::string& strName) const { return m_setup.strDevRoot + "/" + strName; }
    void Touch(const std::string& strName) const { std::ofstream(Dev(strName)) << '\n'; }
    static Entries Scan(PortMap& m = PortMap::Instance()) { return m.Refresh(), m.Entries(); }
    // A USB adapter: its tty below the USB interface (ttyUSB) or on it (ttyACM), its by-id link.
    void PlugUsb(const std::string& strTty, const std::string& strById, const char* pProduct) {
        const fs::path sys = m_root / "sys", usb = sys / "devices" / strTty;
        const fs::path device = strTty.starts_with("ttyACM") ? usb / "if" : usb / "if" / strTty;
        fs::create_directories(device);
        fs::create_directories(sys / "class/tty" / strTty);
        fs::create_directory_symlink(device, sys / "class/tty" / strTty / "device");
        std::ofstream(usb / "product") << pProduct << "\n";
        Touch(strTty);
        if (!strById.empty())
            fs::create_symlink("../../" + strTty, m_root / "dev/serial/by-id" / strById);
    }

    const fs::path m_root =
        fs::weakly_canonical(testing::TempDir()) / ("port_map_test." + std::to_string(getpid()));
    const PortMapSetup m_setup{(m_root / "dev").string(), (m_root / "sys").string(),
                               (m_root / "numbers").string()};
};

TEST_F(PortMapTest, FindsUartsWithHardwareThenUsbAdaptersThenBluetoothPorts) {
    // A UART's type, or without one the driver bound to it; ttyS4 has no device node.
    const std::pair<const char*, const char*> uarts[] = {
        {"ttyS0", "4"},          {"ttyS1", "0"},           {"ttyS10", "4"},
        {"ttyS2", "serial8250"}, {"ttyS3", "dw-apb-uart"}, {"ttyS4", "4"}};
    for (const auto& [pName, pTypeOrDriver] : uarts) {
        const fs::path folder = m_root / "sys/class/tty" / pName;
        fs::create_directories(folder / "device");
        if (std::isdigit(*pTypeOrDriver))
            std::ofstream(folder / "type") << pTypeOrDriver << "\n";
        else
            fs::create_symlink(pTypeOrDriver, folder / "device/driver");
        Touch(pName);
    }
    fs::remove(Dev("ttyS4"));
    PlugUsb("ttyUSB0", "usb-FTDI_FT232R_A5-if00-port0", "FT232R USB UART");
    PlugUsb("ttyACM0", "", "Pico");
    PlugUsb("ttyUSB1", "", "");
    fs::create_symlink("../../ttyUSB9", m_root / "dev/serial/by-id/usb-Pulled-if00-port0");
    Touch("rfcomm0");
    Touch("ttyUSBx");
    const std::vector<DetectedPort> expected = {
        {"uart:ttyS0", "Serial port ttyS0", Dev("ttyS0")},
        {"uart:ttyS3", "Serial port ttyS3", Dev("ttyS3")},
        {"uart:ttyS10", "Serial port ttyS10", Dev("ttyS10")},
        {"usb:usb-FTDI_FT232R_A5-if00-port0", "FT232R USB UART", Dev("ttyUSB0")},
        {"usb:ttyACM0", "Pico", Dev("ttyACM0")},
        {"usb:ttyUSB1", "USB serial ttyUSB1", Dev("ttyUSB1")},
        {"bluetooth:rfcomm0", "Bluetooth serial rfcomm0", Dev("rfcomm0")},
    };
    EXPECT_EQ(DetectSerialHardware(m_setup.strDevRoot, m_setup.strSysRoot), expected);
}

TEST_F(PortMapTest, DevicesKeepTheirNumbersAcrossReplugAndRestart) {
    PlugUsb("ttyUSB0", "usb-FTDI", "FT232R");
    Touch("rfcomm0");
    // Links that lead nowhere, to a file or to a folder are no ports.
    ASSERT_TRUE(PublishPort("Sim B", "/dev/zero") && PublishPort("Sim A", "/dev/null") &&
                PublishPort("Dangling", (m_root / "gone").string()) &&
                PublishPort("File", Dev("rfcomm0")) && PublishPort("Dir", "/"));
    const PortMapEntry bt{2, "Bluetooth serial rfcomm0", Dev("rfcomm0")};
    const PortMapEntry simA{3, "Sim A", "/dev/null"}, simB{4, "Sim B", "/dev/zero"};
    EXPECT_EQ(Scan(), (Entries{{1, "FT232R", Dev("ttyUSB0")}, bt, simA, simB}));

    // Another adapter in the same socket: the same tty, a number nobody holds or remembers.
    fs::rename(Dev("serial/by-id/usb-FTDI"), Dev("serial/by-id/usb-CP2102"));
    UnpublishPort("Sim A");
    const PortMapEntry usbB{5, "FT232R", Dev("ttyUSB0")};
    EXPECT_EQ(Scan(), (Entries{bt, simB, usbB}));

    // Back, in another socket: their own numbers again.
    PlugUsb("ttyUSB1", "usb-FTDI", "FT232R");
    ASSERT_TRUE(PublishPort("Sim A", "/dev/null"));
    Entries expected = {{1, "FT232R", Dev("ttyUSB1")}, bt, simA, simB, usbB};
    EXPECT_EQ(Scan(), expected);
    // A port opens by its udev or published link, which follows the device, else by its node.
    const std::string strPublished = PublishedPortsFolder() + "/";
    const std::pair<const char*, std::string> opens[] = {{"COM1:", Dev("serial/by-id/usb-FTDI")},
                                                         {"com2", Dev("rfcomm0")},
                                                         {"COM4", strPublished + "Sim B"},
                                                         {"COM5", Dev("serial/by-id/usb-CP2102")}};
    for (const auto& [pName, strPath] : opens)
        EXPECT_EQ(PortMap::Instance().OpenPathFor(pName), strPath) << pName;

    // The next run reads the numbers back, whatever order it meets the devices in.
    PortMap restarted(m_setup);
    ASSERT_TRUE(PublishPort("A newcomer", "/dev/full"));
    expected.push_back({6, "A newcomer", "/dev/full"});
    EXPECT_EQ(Scan(restarted), expected);
}

TEST_F(PortMapTest, NewDevicesTakeAnOpenableNumberFromTheDeviceAwayLongest) {
    ASSERT_TRUE(PublishPort("Kept", "/dev/null"));
    for (int i = 0; i < 9; ++i) {
        const std::string strName = "Run " + std::to_string(i);
        ASSERT_TRUE(PublishPort(strName, "/dev/zero"));
        const Entries entries = Scan();
        UnpublishPort(strName);
        // Runs 0..6 take 2..8; then the numbers of runs 0 and 1 come free.
        EXPECT_EQ(entries.back().nNumber, i < 7 ? i + 2 : i - 5) << strName;
    }
    // Run 0 lost its number to run 7 and takes the number of run 2.
    ASSERT_TRUE(PublishPort("Run 0", "/dev/zero"));
    EXPECT_EQ(Scan().back().nNumber, 4);
}

// A folder of another user's, or one that others may write to, gives no port, nor takes one.
TEST_F(PortMapTest, PublishedPortsComeOnlyFromTheUsersOwnFolder) {
    ASSERT_TRUE(PublishPort("Gyro", "/dev/null"));
    const Entries gyro = {{1, "Gyro", "/dev/null"}};
    EXPECT_EQ(Scan(), gyro);
    const std::string strFolder = PublishedPortsFolder();
    const uid_t nUser = geteuid();
    for (const auto& [nMode, nOwner] :
         {std::pair<mode_t, uid_t>{0770, nUser}, {0702, nUser}, {0700, nUser + 1}}) {
        if (nOwner == nUser || nUser == 0) {  // only root can give the folder away
            ASSERT_EQ(chmod(strFolder.c_str(), nMode) | chown(strFolder.c_str(), nOwner, -1), 0);
            EXPECT_EQ(Scan(), Entries{}) << nMode << " " << nOwner;
            EXPECT_FALSE(PortMap::Instance().OpenPathFor("COM1") ||
                         PublishPort("New", "/dev/null"));
        }
    }
    ASSERT_EQ(chmod(strFolder.c_str(), 0700) | chown(strFolder.c_str(), nUser, -1), 0);
    EXPECT_EQ(Scan(), gyro);
}

// Remembered identities that name no device, and names that are no port, open nothing.
TEST_F(PortMapTest, NothingElseOpens) {
    std::ofstream(m_setup.strNumbersFile) << "1\tuart:ttyS0\n7\tbad\n8\tusb:../x\n";
    for (const char* pName : {"COM5:", "COM7", "COM8", "COM01", "COM1::", "COM0:", "COM123",
                              "COMx:", " COM1", "LPT1:", ""})
        EXPECT_FALSE(PortMap::Instance().OpenPathFor(pName)) << pName;
}

}  // namespace
}  // namespace platform
