// The Main page from start-up to the first tap: port list, stored port, Bluetooth warnings,
// Load Defaults, identity boxes and the status line.
#include "pages/main_page.h"

#include <gmock/gmock.h>

#include "app_fixture.h"
#include "shell/splash.h"

namespace {

using namespace platform::ui;
using ::testing::ElementsAre;

const wchar_t WARNING_AT_START[] =
    L"WARNING - The selected COM port has been detected as an Incomming BlueTooth port, using "
    L"this port could make your Pocket PC unstable";
const wchar_t WARNING_ON_CHANGE[] =
    L"WARNING - The selected COM port has been reported as an Incomming BlueTooth port, using "
    L"this port could make your PocketPC unstable";

using MainPageSetUp = AppFixture;

TEST_F(MainPageSetUp, FirstRunListsThePortsSelectsTheFirstAndStoresIt) {
    AddPort(1, L"Simulated tq480 gyro");
    AddPort(4, L"FT232R USB UART");
    Start();
    EXPECT_EQ(g_pConfigSheet, pSheet.get());
    EXPECT_EQ(g_pMainPage, &Main());
    EXPECT_EQ(pSheet->Caption(), L"Morvane RC Gyro Tools");
    CControl& ports = Ctl(IDC_COMPORT);
    ASSERT_EQ(ports.GetCount(), 2);
    EXPECT_EQ(ports.GetLBText(0), L"COM1:(Simulated tq480 gyro)");
    EXPECT_EQ(ports.GetLBText(1), L"COM4:(FT232R USB UART)");
    EXPECT_EQ(ports.GetItemData(1), 4);
    EXPECT_EQ(ports.GetCurSel(), 0);
    EXPECT_EQ(Main().m_link.ComPort(), 1);
    EXPECT_EQ(pSheet->GetFirmwareComPort(), 1);
    EXPECT_EQ(ReadSettings(), "1");
    EXPECT_EQ(Text(IDC_STATUS), L"Program Version: 1.07");
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"");
    EXPECT_FALSE(Ctl(IDC_FIRMWARE_VERSION).IsWindowEnabled());
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST_F(MainPageSetUp, StoredPortIsSelectedWhenListedAndKeptInTheFileWhenNot) {
    AddPort(1, L"Serial Cable");
    AddPort(3, L"Bluetooth serial rfcomm0");
    WriteSettings("3");
    Start();
    EXPECT_EQ(Ctl(IDC_COMPORT).GetCurSel(), 1);
    EXPECT_EQ(Main().m_link.ComPort(), 3);
    EXPECT_EQ(pSheet->GetFirmwareComPort(), 3);
    pSheet->Destroy();

    WriteSettings("0007");
    Start();
    EXPECT_EQ(Ctl(IDC_COMPORT).GetCurSel(), 0);
    EXPECT_EQ(Main().m_link.ComPort(), 1);
    EXPECT_EQ(ReadSettings(), "0007");

    // A file that is not all digits counts as nothing stored and is rewritten.
    pSheet->Destroy();
    WriteSettings("3\n");
    Start();
    EXPECT_EQ(Main().m_link.ComPort(), 1);
    EXPECT_EQ(ReadSettings(), "1");
}

TEST_F(MainPageSetUp, PickingAPortStoresItAndHandsItToTheFirmwarePage) {
    AddPort(1, L"Serial Cable");
    AddPort(2, L"Another cable");
    Start();
    EXPECT_TRUE(CUserInput::Pick(Ctl(IDC_COMPORT), 1));
    EXPECT_EQ(Main().m_link.ComPort(), 2);
    EXPECT_EQ(pSheet->GetFirmwareComPort(), 2);
    EXPECT_EQ(ReadSettings(), "2");
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST_F(MainPageSetUp, NoPortsLeavesTheListEmptyAndStoresMinusOne) {
    Start();
    EXPECT_EQ(Ctl(IDC_COMPORT).GetCount(), 0);
    EXPECT_EQ(Ctl(IDC_COMPORT).GetCurSel(), -1);
    EXPECT_EQ(Main().m_link.ComPort(), -1);
    EXPECT_EQ(ReadSettings(), "-1");
}

TEST_F(MainPageSetUp, IncomingBluetoothPortWarnsAtStartAndOnEverySelection) {
    AddPort(5, L"Bluetooth", L"BTIBSerial.dll");
    AddPort(1, L"Serial Cable");
    host.SetMessageBoxResponder([](const platform::headless::ShownMessageBox& box) {
        EXPECT_EQ(box.strCaption, L"Attention");
        EXPECT_EQ(box.nType, MB_OK | MB_ICONEXCLAMATION);
        return IDOK;
    });
    Start();
    EXPECT_EQ(Main().m_strBluetoothMarker, L"COM5");
    EXPECT_THAT(BoxTexts(), ElementsAre(WARNING_AT_START));
    CUserInput::Pick(Ctl(IDC_COMPORT), 1);
    CUserInput::Pick(Ctl(IDC_COMPORT), 0);
    EXPECT_THAT(BoxTexts(), ElementsAre(WARNING_AT_START, WARNING_ON_CHANGE));
    // The warning never stops the choice.
    EXPECT_EQ(Main().m_link.ComPort(), 5);
    EXPECT_EQ(ReadSettings(), "5");
}

TEST_F(MainPageSetUp, WithoutAFlaggedPortMicrosoftInTheNameWarns) {
    AddPort(1, L"Serial Cable");
    AddPort(2, L"Microsoft Bluetooth Serial");
    host.SetMessageBoxResponder([](const platform::headless::ShownMessageBox&) { return IDOK; });
    Start();
    EXPECT_TRUE(host.MessageBoxes().empty());
    CUserInput::Pick(Ctl(IDC_COMPORT), 1);
    EXPECT_THAT(BoxTexts(), ElementsAre(WARNING_ON_CHANGE));
}

TEST_F(MainPageSetUp, PortZeroEndsTheBuiltInScanAndTwoDigitPortsKeepTheirNumber) {
    AddPort(12, L"USB adapter");
    AddPort(0, L"Null port");
    AddPort(2, L"After the null port");
    Start();
    CControl& ports = Ctl(IDC_COMPORT);
    ASSERT_EQ(ports.GetCount(), 1);
    EXPECT_EQ(ports.GetLBText(0), L"COM12:(USB adapter)");
    EXPECT_EQ(ports.GetItemData(0), 12);
}

TEST(PortNumberOfEntry, ReadsEveryDigitAfterTheFirstCom) {
    EXPECT_EQ(PortNumberOfEntry(L"COM1:(Serial Cable)"), 1);
    EXPECT_EQ(PortNumberOfEntry(L"COM12:(USB)"), 12);
    EXPECT_EQ(PortNumberOfEntry(L"COMX:(odd)"), 0);
    EXPECT_EQ(PortNumberOfEntry(L"com3:(lower case)"), -1);
    EXPECT_EQ(PortNumberOfEntry(L"XCOM7:(COM2)"), 7);
    EXPECT_EQ(PortNumberOfEntry(L"COM99999999999999:"), 2147483647);
}

// The configuration agreement: only "I Agree" lets the store start.
TEST_F(MainPageSetUp, AgreementDialogGoesOnOnlyWithIAgree) {
    struct Case {
        const char* pName;
        std::function<void(CDialog&)> act;
        int nEndCode;
        bool bAgreed;
    };
    const Case cases[] = {
        {"I Agree", [](CDialog& d) { CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)); }, IDOK, true},
        {"Cancel", [](CDialog& d) { CUserInput::Tap(*d.GetDlgItem(IDCANCEL)); }, IDCANCEL, false},
        {"Enter", [](CDialog& d) { CUserInput::PressEnter(d); }, IDOK, false},
        {"close box", [](CDialog& d) { CUserInput::Close(d); }, IDCANCEL, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pName);
        for (const bool bFirmware : {false, true}) {
            host.SetDialogResponder(bFirmware ? IDD_SPLASH_FW : IDD_SPLASH, [&](CDialog& d) {
                EXPECT_EQ(d.Template().strCaption, L"Attention");
                EXPECT_FALSE(d.GetDlgItem(IDOK) && d.GetDlgItem(IDOK)->IsWindowVisible());
                c.act(d);
            });
            std::unique_ptr<CAgreementDialog> pDialog;
            if (bFirmware)
                pDialog = std::make_unique<DialogSplashFW>();
            else
                pDialog = std::make_unique<SplashScreen>();
            EXPECT_EQ(pDialog->DoModal(), c.nEndCode);
            EXPECT_EQ(pDialog->m_bAgreed, c.bAgreed);
            EXPECT_EQ(pDialog->Agreed(), c.bAgreed);
        }
    }
}

TEST_F(MainPageSetUp, TheSheetCanBeClosedRightAwayAndWritesNothingElse) {
    AddPort(1, L"Serial Cable");
    Start();
    EXPECT_TRUE(CUserInput::CloseSheet(*pSheet));
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path().filename().string());
    EXPECT_THAT(files, ElementsAre("morvane.ini"));
}

}  // namespace
