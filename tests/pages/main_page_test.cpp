// The Main page from start-up to the first tap: port list, stored port and Bluetooth
// warnings; and the list as ports come and go. The agreement is seen in the Read/Store tests.
#include "pages/main_page.h"

#include <gmock/gmock.h>

#include "app_fixture.h"
#include "platform/port_map.h"
#include "platform/published_ports.h"

namespace {

using namespace platform::ui;
using ::testing::ElementsAre;

const wchar_t WARNING_AT_START[] =
    L"WARNING - The selected COM port has been detected as an Incomming BlueTooth port, using "
    L"this port could make your Pocket PC unstable";
const wchar_t WARNING_ON_CHANGE[] =
    L"WARNING - The selected COM port has been reported as an Incomming BlueTooth port, using "
    L"this port could make your PocketPC unstable";

class MainPageSetUp : public AppFixture {
  public:
    // The port the Main page opens and the one handed to the Firmware Update page.
    std::pair<int, int> Ports() { return {Main().m_link.ComPort(), pSheet->GetFirmwareComPort()}; }
};

// The first run selects the first port and stores it; a pick is stored and handed on; closing
// the sheet right away writes no other file.
TEST_F(MainPageSetUp, FirstRunListsThePortsSelectsTheFirstAndFollowsAPick) {
    AddPort(1, L"Simulated tq480 gyro");
    AddPort(4, L"FT232R USB UART");
    Start();
    CControl& ports = Ctl(IDC_COMPORT);
    ASSERT_EQ(ports.GetCount(), 2);
    EXPECT_EQ(ports.GetLBText(0) + ports.GetLBText(1),
              L"COM1:(Simulated tq480 gyro)COM4:(FT232R USB UART)");
    EXPECT_EQ(Ports(), std::pair(1, 1));
    EXPECT_EQ(ReadSettings(), "1");
    EXPECT_TRUE(CUserInput::Pick(ports, 1));
    EXPECT_EQ(Ports(), std::pair(4, 4));
    EXPECT_EQ(ReadSettings(), "4");
    EXPECT_TRUE(CUserInput::CloseSheet(*pSheet));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

// The stored port is selected when listed and kept in the file when not; a file that is not
// all digits counts as nothing stored and is rewritten. COM0 ends the scan, two-digit ports
// keep their number, and no port at all stores -1.
TEST_F(MainPageSetUp, StoredPortIsSelectedWhenListedAndCom0EndsTheScan) {
    const struct {
        std::vector<int> ports;
        const char *pStored, *pAfter;
        int nCount, nSelected, nPort;
    } cases[] = {{{1, 3}, "3", "3", 2, 1, 3},
                 {{1, 3}, "0007", "0007", 2, 0, 1},
                 {{1, 3}, "3\n", "1", 2, 0, 1},
                 {{0}, "x", "-1", 0, CB_ERR, -1},
                 {{12, 0, 2}, "x", "12", 1, 0, 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pAfter);
        registry.Clear();
        for (const int nPort : c.ports)
            AddPort(nPort, L"USB " + std::to_wstring(nPort));
        WriteSettings(c.pStored);
        Start();
        EXPECT_EQ(Ctl(IDC_COMPORT).GetCount(), c.nCount);
        EXPECT_EQ(Ctl(IDC_COMPORT).GetCurSel(), c.nSelected);
        EXPECT_EQ(Ports(), std::pair(c.nPort, c.nPort));
        EXPECT_EQ(ReadSettings(), c.pAfter);
        pSheet->Destroy();
    }
}

// An incoming Bluetooth port warns at start and on every selection; without one, a name with
// "Microsoft" in it warns. The warning never stops the choice.
TEST_F(MainPageSetUp, IncomingBluetoothPortWarnsAtStartAndOnEverySelection) {
    AddPort(5, L"Bluetooth", L"BTIBSerial.dll");
    AddPort(1, L"Serial Cable");
    AnswerBoxes();
    Start();
    CUserInput::Pick(Ctl(IDC_COMPORT), 1);
    CUserInput::Pick(Ctl(IDC_COMPORT), 0);
    EXPECT_THAT(BoxTexts(), ElementsAre(WARNING_AT_START, WARNING_ON_CHANGE));
    EXPECT_EQ(ReadSettings(), "5");
    pSheet->Destroy();
    registry.Clear();
    host.ClearMessageBoxes();
    AddPort(1, L"Serial Cable");
    AddPort(2, L"Microsoft Bluetooth Serial");
    Start();
    CUserInput::Pick(Ctl(IDC_COMPORT), 1);
    EXPECT_THAT(BoxTexts(), ElementsAre(WARNING_ON_CHANGE));
}

// The list follows ports plugged in and pulled out, each burst scanned once it has settled;
// the selection, its number and the firmware page's stay; a selected port that goes stays
// listed until another is picked; links a start-up scan refuses are refused; a change during
// a Read waits for its end.
TEST_F(MainPageSetUp, PortListFollowsPluggingAndKeepsTheSelection) {
    // A scratch tree for /dev and the published ports' runtime folder, with its own numbers
    // file; device nodes are plain files, as only root can make character devices.
    namespace fs = std::filesystem;
    const fs::path root = folder / "ports";
    auto path = [&root](const char* pName) { return (root / pName).string(); };
    fs::create_directories(root / "dev");
    setenv("XDG_RUNTIME_DIR", root.string().c_str(), 1);
    platform::PortMap::Instance().Clear();
    platform::PortMap::Instance().SetSetup({path("dev"), path("sys"), path("numbers")});
    platform::SetRegistry(nullptr);  // the port map's view
    const std::shared_ptr<void> restore(nullptr, [](void*) {
        platform::PortMap::Instance().Clear();
        platform::PortMap::Instance().SetSetup({});
        unsetenv("XDG_RUNTIME_DIR");
    });
    const std::string strSim = "Simulated tq480 gyro", strById = path("dev/serial/by-id");
    // Each entry as its number and the first letter of its friendly name.
    auto list = [this] {
        std::string strList;
        for (int i = 0; i < Ctl(IDC_COMPORT).GetCount(); ++i) {
            const std::wstring strEntry = Ctl(IDC_COMPORT).GetLBText(i);
            strList += {char(strEntry[3]), char(strEntry[strEntry.find(L'(') + 1])};
        }
        return strList;
    };
    // P/p publish/unpublish the simulator, U/u plug/pull a USB adapter (node, by-id folder and
    // link in one burst), B/b the Bluetooth node, H links to a file and a folder, W the
    // published folder opened to others, 0/1 a pick, '.' time passing.
    auto act = [&](char cAction) {
        // clang-format off
        switch (cAction) {
            case 'P': ASSERT_TRUE(platform::PublishPort(strSim, "/dev/null")); break;
            case 'p': platform::UnpublishPort(strSim); break;
            case 'U': std::ofstream(path("dev/ttyUSB0")) << '\n';
                      fs::create_directories(strById);
                      fs::create_symlink("../../ttyUSB0", strById + "/usb-FTDI-if00"); break;
            case 'u': fs::remove(strById + "/usb-FTDI-if00"), fs::remove(path("dev/ttyUSB0")); break;
            case 'B': std::ofstream(path("dev/rfcomm0")) << '\n'; break;
            case 'b': fs::remove(path("dev/rfcomm0")); break;
            case 'H': ASSERT_TRUE(platform::PublishPort("To a file", path("dev/rfcomm0")) &&
                                  platform::PublishPort("To a folder", "/")); break;
            case 'W': fs::permissions(path("morvane-ports"), fs::perms::all); break;
            case '.': break;
            default: CUserInput::Pick(Ctl(IDC_COMPORT), cAction - '0');
        }
        // clang-format on
        loop.RunFor(1000);
    };
    act('B');
    Start();
    ASSERT_TRUE(platform::PublishPort(strSim, "/dev/null"));  // its folder made after start-up
    loop.RunFor(250);
    EXPECT_EQ(list(), "1B") << "applied before the burst settled";
    const struct {
        const char *pActions, *pList;
        bool bDuringRead;
        int nSelected, nPort;
        const char* pStored;
        size_t nScans;
    } steps[] = {{".", "1B2S", false, 0, 1, "1", 1},   {"U", "1B2S3U", false, 0, 1, "1", 1},
                 {"1", "1B2S3U", false, 1, 2, "2", 0}, {"p", "1B2S3U", false, 1, 2, "2", 1},
                 {"P", "1B2S3U", false, 1, 2, "2", 1}, {"H", "1B2S3U", false, 1, 2, "2", 1},
                 {"p0", "1B3U", false, 0, 1, "1", 1},  {"PW", "1B3U", false, 0, 1, "1", 2},
                 {"u", "1B", true, 0, 1, "1", 1},      {"b", "1B", false, 0, 1, "1", 1},
                 {"B", "1B", false, 0, 1, "1", 1}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pActions);
        const std::string strBefore = list();
        const size_t nScans = platform::PortMap::Instance().ScanCount();
        if (step.bDuringRead)
            CUserInput::Tap(Ctl(IDC_READ));
        for (const char* p = step.pActions; *p; ++p)
            act(*p);
        if (step.bDuringRead) {
            ASSERT_TRUE(Main().m_link.IsBusy());
            EXPECT_EQ(list(), strBefore);
            ASSERT_TRUE(loop.RunUntil([&] { return !Main().m_link.IsBusy(); }, 10'000));
            EXPECT_EQ(Main().m_link.m_strStatus, L"Read Complete");
            loop.RunFor(1000);
        }
        EXPECT_EQ(list(), step.pList);
        EXPECT_EQ(Ctl(IDC_COMPORT).GetCurSel(), step.nSelected);
        EXPECT_EQ(Ports(), std::pair(step.nPort, step.nPort));
        EXPECT_EQ(ReadSettings(), step.pStored);
        EXPECT_EQ(platform::PortMap::Instance().ScanCount() - nScans, step.nScans);
    }
}

}  // namespace
