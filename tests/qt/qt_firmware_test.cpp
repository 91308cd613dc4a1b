// A firmware update on the Qt backend as a pilot makes it: the Firmware Update tab chosen with
// the mouse, a make-fwr file opened through Qt's file dialog, Send Firmware and "I Agree"
// clicked, the page photographed mid-transfer, and gyro-sim's loader, on a real
// pseudo-terminal, holding every record afterwards.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <sstream>

#include "app/config_sheet.h"
#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "tests/pty/pty_support.h"
#include "tests/qt/qt_test_support.h"
#include "tests/qt/screenshot.h"

namespace {

using namespace platform::ui;
using morvane_test::CModalActor;

struct QtFirmwareTest : ::testing::Test {
    QtFirmwareTest() {
        SetTemplateLookup(FindDialogTemplate);
        SetHost(&host);
        host.SetIconLookup(LoadIconXpm, IDR_MAINFRAME);
    }
    ~QtFirmwareTest() override {
        SetHost(nullptr);
        morvane_test::FlushDeferredDeletes();
    }
    platform::qt::QtEventLoop loop;
    platform::qt::QtUiHost host{loop};
    // Every box is kept as "caption: text" and answered OK with a click.
    std::vector<std::string> boxes;
    CModalActor<QMessageBox> watchdog{
        [this](QMessageBox* pBox) {
            boxes.push_back((pBox->windowTitle() + ": " + pBox->text()).toStdString());
            QTest::mouseClick(pBox->button(QMessageBox::Ok), Qt::LeftButton);
        },
        true};
};

TEST_F(QtFirmwareTest, APilotSendsFirmwareToGyroSimAndWatchesItGo) {
    const std::string strRecords =
        fs::temp_directory_path() / ("morvane-qt-fw-" + std::to_string(getpid()));
    const std::string strFile = strRecords + ".fwr";
    GyroSimProcess sim("Simulated tq480 gyro", {"--firmware", strRecords});
    std::string strOut;
    ASSERT_EQ(RunCommand(MAKE_FWR_PATH " --records 300 " + strFile, strOut), 0) << strOut;

    CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
    loop.Post([&] {
        QDialog& window = *host.SheetWindow(sheet);
        CControl& ports = *sheet.m_mainPage.GetDlgItem(IDC_COMPORT);
        for (int i = 0; i < ports.GetCount(); ++i)
            if (ports.GetLBText(i).ends_with(L"(Simulated tq480 gyro)") && i != ports.GetCurSel())
                CUserInput::Pick(ports, i);
        auto* pTabs = window.findChild<QTabBar*>();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::mouseClick(pTabs, Qt::LeftButton, {}, pTabs->tabRect(5).center());
        CTQ480FirmwarePage& page = sheet.m_firmwarePage;
        auto widget = [&](int nId) { return host.ControlWidget(*page.GetDlgItem(nId)); };
        CModalActor<QFileDialog> opening([&](QFileDialog* pDialog) {
            pDialog->selectFile(QString::fromStdString(strFile));
            static_cast<QDialog*>(pDialog)->accept();  // protected in QFileDialog
        });
        QTest::mouseClick(widget(IDC_OPEN_FIRMWARE), Qt::LeftButton);
        CModalActor<QDialog> agreeing([](QDialog* pDialog) {
            for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
                if (pButton->isVisible() && pButton->text() == "I Agree")
                    QTest::mouseClick(pButton, Qt::LeftButton);
        });
        QTest::mouseClick(widget(IDC_SEND_FIRMWARE), Qt::LeftButton);

        // A third of the way: the bar and the percentage part-way, the button to stop.
        EXPECT_TRUE(loop.RunUntil(
            [&] { return page.GetDlgItem(IDC_TRANSFER_PROGRESS)->GetPos() >= 100; }, 30'000));
        EXPECT_EQ(page.GetDlgItem(IDC_PERCENT)->GetWindowText(), L"33.3%");
        EXPECT_EQ(page.GetDlgItem(IDC_SEND_FIRMWARE)->GetWindowText(), L"Stop Sending");
        EXPECT_TRUE(morvane_test::SaveScreenshot(&window, "firmware-sending"));
        EXPECT_TRUE(loop.RunUntil([&] { return !boxes.empty(); }, 60'000));
        window.close();
    });
    const morvane_test::CDeadline deadline(90'000, [&] {
        if (QDialog* pWindow = host.SheetWindow(sheet))
            pWindow->done(0);
    });
    sheet.DoModal();

    EXPECT_EQ(boxes, std::vector<std::string>{"Attention: The firmware update completed "
                                              "sucessfully.\n\nBefore you fly ensure the "
                                              "controls operate correctly."});
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
