// The Main page from start-up to the first tap: port list, stored port and Bluetooth
// warnings. The agreement is seen in the Read/Store and firmware tests.
#include "pages/main_page.h"

#include <gmock/gmock.h>

#include "app_fixture.h"

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

}  // namespace
