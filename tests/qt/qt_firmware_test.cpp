// A firmware update on the Qt backend as a pilot makes it: the Firmware Update tab chosen with
// the mouse, a make-fwr file opened through Qt's file dialog, Send Firmware and "I Agree"
// clicked, the page photographed mid-transfer, and gyro-sim's loader, on a real
// pseudo-terminal, holding every record afterwards.
#include <QFileDialog>
#include <QTabBar>
#include <fstream>
#include <sstream>

#include "tests/pty/pty_support.h"
#include "tests/qt/qt_sheet_fixture.h"
#include "tests/qt/screenshot.h"

namespace {

using namespace platform::ui;
using QtFirmwareTest = CQtSheetTest;

TEST_F(QtFirmwareTest, APilotSendsFirmwareToGyroSimAndWatchesItGo) {
    const std::string strRecords =
        fs::temp_directory_path() / ("morvane-qt-fw-" + std::to_string(getpid()));
    GyroSimProcess sim("Simulated tq480 gyro", {"--firmware", strRecords});
    ASSERT_FALSE(sim.Tty().empty());
    const std::string strFile = strRecords + ".fwr";
    std::string strOut;
    ASSERT_EQ(RunCommand(MAKE_FWR_PATH " --records 300 " + strFile, strOut), 0) << strOut;

    RunSheet(
        [&](CTQ480ConfigSheet& sheet, QDialog& window) {
            CControl& ports = *sheet.m_mainPage.GetDlgItem(IDC_COMPORT);
            for (int i = 0; i < ports.GetCount(); ++i)
                if (ports.GetLBText(i).find(L"(Simulated tq480 gyro)") != std::wstring::npos &&
                    i != ports.GetCurSel())
                    CUserInput::Pick(ports, i);
            auto* pTabs = window.findChild<QTabBar*>();
            window.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
            QTest::mouseClick(pTabs, Qt::LeftButton, {}, pTabs->tabRect(5).center());
            ASSERT_EQ(sheet.GetActiveIndex(), 5);
            CTQ480FirmwarePage& page = sheet.m_firmwarePage;
            auto widget = [&](int nId) { return host.ControlWidget(*page.GetDlgItem(nId)); };

            morvane_test::CModalActor<QFileDialog> opening([&](QFileDialog* pDialog) {
                pDialog->selectFile(QString::fromStdString(strFile));
                static_cast<QDialog*>(pDialog)->accept();  // protected in QFileDialog
            });
            QTest::mouseClick(widget(IDC_OPEN_FIRMWARE), Qt::LeftButton);
            ASSERT_TRUE(page.GetDlgItem(IDC_SEND_FIRMWARE)->IsWindowEnabled());
            morvane_test::CModalActor<QDialog> agreeing([](QDialog* pDialog) {
                for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
                    if (pButton->isVisible() && pButton->text() == "I Agree")
                        QTest::mouseClick(pButton, Qt::LeftButton);
            });
            QTest::mouseClick(widget(IDC_SEND_FIRMWARE), Qt::LeftButton);

            // A third of the way: the bar and the percentage part-way, the button to stop.
            CControl& progress = *page.GetDlgItem(IDC_TRANSFER_PROGRESS);
            ASSERT_TRUE(loop.RunUntil([&] { return progress.GetPos() >= 100; }, 30'000));
            EXPECT_EQ(page.GetDlgItem(IDC_SEND_FIRMWARE)->GetWindowText(), L"Stop Sending");
            EXPECT_FALSE(page.GetDlgItem(IDC_OPEN_FIRMWARE)->IsWindowEnabled());
            EXPECT_EQ(page.GetDlgItem(IDC_PERCENT)->GetWindowText(), L"33.3%");
            EXPECT_TRUE(morvane_test::SaveScreenshot(&window, "firmware-sending"));

            strExpectedBox =
                "Attention: The firmware update completed sucessfully.\n\nBefore you fly ensure "
                "the controls operate correctly.";
            EXPECT_TRUE(loop.RunUntil(
                [&] { return strExpectedBox.empty() || !unexpectedBoxes.empty(); }, 60'000));
        },
        90'000);

    EXPECT_EQ(strExpectedBox, "");  // shown and answered
    std::ifstream fwr(strFile);
    std::string strLine, strExpected;
    for (int nLine = 1; std::getline(fwr, strLine); ++nLine)
        if (nLine > 3)
            strExpected += strLine.substr(0, 20) + " .\n";
    std::stringstream kept;
    kept << std::ifstream(strRecords).rdbuf();
    EXPECT_EQ(kept.str(), strExpected);
    fs::remove(strFile);
    fs::remove(strRecords);
}

}  // namespace
