// The program's own pages and dialogs on the Qt backend: names, the agreement dialogs' keys,
// a tidy layout, and screenshots for people to look at.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "tests/qt/qt_test_support.h"
#include "tests/qt/screenshot.h"

namespace {

using namespace platform::ui;
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;

// Sample values as after a Read: a text, or a list's entries separated by "|".
const std::map<int, std::vector<std::pair<int, std::wstring>>> SAMPLES = {
    {IDD_MAIN_PAGE,
     {{1003, L"1.07"},
      {1004, L"1.02"},
      {1005, L"48213"},
      {1039, L"Gyro parameters read"},
      {1002, L"COM1:(FT232R USB UART)|COM2:(Bluetooth)|COM5:(gyro-sim)"}}},
    {IDD_COMMON_PAGE, {{1022, L"5"}}},
    {IDD_SERVO_PAGE,
     {{1008, L"100"},
      {1009, L"100"},
      {1014, L"0"},
      {1015, L"Digital|Analog"},
      {1016, L"Standard|High Speed"},
      {1017, L"0.10|0.06"}}},
    {IDD_MODE1_PAGE, {{1031, L"30"}}},
    {IDD_MODE2_PAGE, {{1010, L"50"}, {1011, L"50"}, {1032, L"30"}, {1009, L"75"}}},
    {IDD_FIRMWARE_PAGE,
     {{1035, L"1.08"}, {1042, L"40%"}, {1045, L"TQ480 firmware 1.08|Product 0x0480|212 records"}}},
};

// A page of the program showing the sample values; trackbars and progress bars at 40 %.
class CSamplePage : public CPropertyPage {
  public:
    explicit CSamplePage(int nTemplate) : CPropertyPage(nTemplate) {}
    bool OnInitDialog() override {
        CPropertyPage::OnInitDialog();
        for (const auto& [nId, strSample] : SAMPLES.at(TemplateId())) {
            CControl* pControl = GetDlgItem(nId);
            if (pControl->Kind() != ControlKind::DropDownList &&
                pControl->Kind() != ControlKind::ListBox) {
                pControl->SetWindowText(strSample);
                continue;
            }
            for (size_t nStart = 0; nStart <= strSample.size();) {
                const size_t nBar = std::min(strSample.find(L'|', nStart), strSample.size());
                pControl->AddString(strSample.substr(nStart, nBar - nStart));
                nStart = nBar + 1;
            }
            pControl->SetCurSel(pControl->Kind() == ControlKind::ListBox ? -1 : 0);
        }
        for (const auto& pControl : Controls())
            if (pControl->Kind() == ControlKind::Trackbar ||
                pControl->Kind() == ControlKind::ProgressBar)
                pControl->SetPos(40);
        return true;
    }
};

struct QtResourcesTest : ::testing::Test {
    QtResourcesTest() {
        SetTemplateLookup(FindDialogTemplate);
        SetHost(&host);
        host.SetIconLookup(LoadIconXpm, IDR_MAINFRAME);
    }
    ~QtResourcesTest() override {
        SetHost(nullptr);
        morvane_test::FlushDeferredDeletes();
    }

    // Every page of the program in a sheet; the action runs once the sheet is shown, and the
    // sheet is closed after it.
    void RunSheet(const std::function<void(CPropertySheet&, QDialog&)>& action) {
        std::vector<std::unique_ptr<CSamplePage>> pages;
        CPropertySheet sheet(LoadResourceString(IDS_SHEET_TITLE));
        sheet.SetIconId(IDR_MAINFRAME);
        for (int nTemplate : {IDD_MAIN_PAGE, IDD_COMMON_PAGE, IDD_SERVO_PAGE, IDD_MODE1_PAGE,
                              IDD_MODE2_PAGE, IDD_FIRMWARE_PAGE}) {
            pages.push_back(std::make_unique<CSamplePage>(nTemplate));
            sheet.AddPage(pages.back().get());
        }
        loop.Post([&] {
            action(sheet, *host.SheetWindow(sheet));
            host.SheetWindow(sheet)->close();
        });
        const morvane_test::CDeadline deadline(20000, [&] {
            if (QDialog* pWindow = host.SheetWindow(sheet))
                pWindow->done(0);
        });
        sheet.DoModal();
    }

    QtEventLoop loop;
    QtUiHost host{loop};
};

std::vector<std::string> NamesOf(QtUiHost& host, CDialog& dlg, std::initializer_list<int> ids) {
    std::vector<std::string> names;
    for (int nId : ids)
        names.push_back(host.ControlWidget(*dlg.GetDlgItem(nId))->accessibleName().toStdString());
    return names;
}

TEST_F(QtResourcesTest, ValueControlsOfThePagesAreNamedByTheirLabels) {
    RunSheet([&](CPropertySheet& sheet, QDialog&) {
        for (int i = 0; i < sheet.GetPageCount(); ++i)
            ASSERT_TRUE(CUserInput::ChooseTab(sheet, i));
        EXPECT_THAT(NamesOf(host, *sheet.GetPage(0), {1003, 1004, 1005, 1002, 1039, 1000}),
                    ::testing::ElementsAre("Firmware Version", "Loader Version", "Serial Number",
                                           "Program Control", "Status", "Read"));
        EXPECT_THAT(NamesOf(host, *sheet.GetPage(1), {1022, 1033}),
                    ::testing::ElementsAre("Rudder Stick Deadband", "Normal"));
        EXPECT_THAT(NamesOf(host, *sheet.GetPage(2), {1008, 1015, 1016, 1017}),
                    ::testing::ElementsAre("High Endpoint", "Servo", "Type", "Speed"));
        EXPECT_THAT(NamesOf(host, *sheet.GetPage(4), {1020, 1019, 1011}),
                    ::testing::ElementsAre("Acceleration Profile", "Deceleration Profile",
                                           "Counter Clockwise Stop Gain"));
        EXPECT_THAT(NamesOf(host, *sheet.GetPage(5), {1035, 1043, 1042}),
                    ::testing::ElementsAre("New firmware version", "Firmware transfer progress",
                                           "Firmware transfer progress"));
    });
}

// Texts fit their controls and controls do not overlap, except inside their group box.
void ExpectTidy(QtUiHost& host, CDialog& dlg) {
    const QFontMetrics metrics(host.WindowWidget(dlg)->font());
    std::vector<std::pair<QRect, const CControl*>> placed;
    for (const auto& pControl : dlg.Controls()) {
        QWidget* pWidget = host.ControlWidget(*pControl);
        const QRect rect = pWidget->geometry();
        const std::string strWhere =
            "template " + std::to_string(dlg.TemplateId()) + " control " +
            QString::fromStdWString(pControl->GetWindowText()).toStdString();
        if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
            const int nFlags = Qt::TextWordWrap | static_cast<int>(pLabel->alignment());
            const QRect needed =
                metrics.boundingRect(QRect(0, 0, rect.width(), 10000), nFlags, pLabel->text());
            EXPECT_LE(needed.height(), rect.height()) << strWhere;
            if (!pLabel->wordWrap()) {
                EXPECT_LE(metrics.horizontalAdvance(pLabel->text()), rect.width()) << strWhere;
            }
        }
        if (auto* pButton = qobject_cast<QPushButton*>(pWidget)) {
            EXPECT_LE(metrics.horizontalAdvance(pButton->text()) + 4, rect.width()) << strWhere;
        }
        if (qobject_cast<QGroupBox*>(pWidget) || !pControl->IsWindowVisible())
            continue;
        for (const auto& [other, pOther] : placed)
            EXPECT_FALSE(rect.intersects(other))
                << strWhere << " overlaps "
                << QString::fromStdWString(pOther->GetWindowText()).toStdString() << " id "
                << pOther->GetDlgCtrlID();
        placed.emplace_back(rect, pControl.get());
    }
}

TEST_F(QtResourcesTest, PagesAreTidyAndEachIsPhotographedInTheSheet) {
    RunSheet([&](CPropertySheet& sheet, QDialog& window) {
        auto* pTabs = window.findChild<QTabWidget*>();
        ASSERT_NE(pTabs, nullptr);
        EXPECT_FALSE(window.windowIcon().isNull());
        EXPECT_EQ(window.windowTitle(), "Morvane RC Gyro Tools");
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            QTest::mouseClick(pTabs->tabBar(), Qt::LeftButton, {},
                              pTabs->tabBar()->tabRect(i).center());
            ASSERT_EQ(sheet.GetActiveIndex(), i);
            ExpectTidy(host, *sheet.GetPage(i));
            const QString strName = QStringLiteral("page_%1_%2")
                                        .arg(sheet.GetPage(i)->TemplateId())
                                        .arg(QString::fromStdWString(sheet.GetPage(i)->Title()))
                                        .replace(' ', '_');
            EXPECT_TRUE(morvane_test::SaveScreenshot(&window, strName));
        }
    });
}

TEST_F(QtResourcesTest, AgreementDialogsAreTidyAndEnterDoesNotAgree) {
    for (int nTemplate : {IDD_SPLASH, IDD_SPLASH_FW}) {
        CDialog dlg(nTemplate);
        bool bHiddenDefault = true;
        loop.Post([&] {
            QWidget* pWindow = host.WindowWidget(dlg)->window();
            ExpectTidy(host, dlg);
            if (CControl* pOk = dlg.GetDlgItem(IDOK))
                bHiddenDefault = !host.ControlWidget(*pOk)->isVisible();
            EXPECT_TRUE(morvane_test::SaveScreenshot(
                pWindow, QStringLiteral("dialog_%1_agreement").arg(nTemplate)));
            // Enter pressed on the focused "I Agree" button.
            EXPECT_EQ(dlg.GetFocus(), dlg.GetDlgItem(1040));
            QTest::keyClick(host.ControlWidget(*dlg.GetDlgItem(1040)), Qt::Key_Return);
        });
        // A dialog that Enter left open fails rather than hangs.
        const morvane_test::CDeadline deadline(5000, [&] {
            if (dlg.HasWindow() && !dlg.IsEnded())
                dlg.EndDialog(-1);
        });
        // Enter is the default command: OK, never the "I Agree" button's own id.
        EXPECT_EQ(dlg.DoModal(), IDOK) << nTemplate;
        EXPECT_TRUE(bHiddenDefault);
    }
}

}  // namespace
