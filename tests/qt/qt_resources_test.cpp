// The program's own pages and dialogs on the Qt backend: names, the agreement dialogs' keys,
// a tidy layout, and screenshots for people to look at.
#include <gtest/gtest.h>

#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <cwchar>
#include <deque>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "tests/qt/qt_test_support.h"
#include "tests/qt/screenshot.h"

namespace {

using namespace platform::ui;
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;

// Controls of the pages: a value as after a Read (a list's entries separated by "|"), and
// the name a screen reader gives the control.
const std::tuple<int, int, const wchar_t*, const char*> SAMPLES[] = {
    {IDD_MAIN_PAGE, 1003, L"1.07", "Firmware Version"},
    {IDD_MAIN_PAGE, 1004, L"1.02", "Loader Version"},
    {IDD_MAIN_PAGE, 1005, L"48213", "Serial Number"},
    {IDD_MAIN_PAGE, 1039, L"Gyro parameters read", "Status"},
    {IDD_MAIN_PAGE, 1002, L"COM1:(FT232R USB UART)|COM2:(Bluetooth)|COM5:(gyro-sim)",
     "Program Control"},
    {IDD_COMMON_PAGE, 1022, L"5", "Rudder Stick Deadband"},
    {IDD_SERVO_PAGE, 1008, L"100", "High Endpoint"},
    {IDD_SERVO_PAGE, 1009, L"100", nullptr},
    {IDD_SERVO_PAGE, 1014, L"0", nullptr},
    {IDD_SERVO_PAGE, 1015, L"Digital|Analog", "Servo"},
    {IDD_SERVO_PAGE, 1016, L"Standard|High Speed", "Type"},
    {IDD_SERVO_PAGE, 1017, L"0.10|0.06", "Speed"},
    {IDD_MODE1_PAGE, 1031, L"30", nullptr},
    {IDD_MODE2_PAGE, 1010, L"50", nullptr},
    {IDD_MODE2_PAGE, 1011, L"50", "Counter Clockwise Stop Gain"},
    {IDD_MODE2_PAGE, 1032, L"30", nullptr},
    {IDD_MODE2_PAGE, 1009, L"75", nullptr},
    {IDD_FIRMWARE_PAGE, 1035, L"1.08", "New firmware version"},
    {IDD_FIRMWARE_PAGE, 1042, L"40%", "Firmware transfer progress"},
    {IDD_FIRMWARE_PAGE, 1045, L"TQ480 firmware 1.08|Product 0x0480|212 records", nullptr},
};

// Shows the sample values on a page of the program; trackbars and progress bars at 40 %.
void ShowSamples(CDialog& page) {
    for (const auto& pControl : page.Controls())
        if (pControl->Kind() == ControlKind::Trackbar ||
            pControl->Kind() == ControlKind::ProgressBar)
            pControl->SetPos(40);
    for (const auto& [nTemplate, nId, pszValue, pszName] : SAMPLES) {
        if (nTemplate != page.TemplateId() || !pszValue)
            continue;
        CControl& control = *page.GetDlgItem(nId);
        std::wistringstream entries(pszValue);
        for (std::wstring strEntry;
             wcschr(pszValue, L'|') && std::getline(entries, strEntry, L'|');)
            control.AddString(strEntry);
        if (control.GetCount() == 0)
            control.SetWindowText(pszValue);
        else
            control.SetCurSel(control.Kind() == ControlKind::ListBox ? -1 : 0);
    }
}

// Texts fit their controls, and shown controls do not overlap except inside their group box.
void ExpectTidy(QtUiHost& host, CDialog& dlg) {
    const QFontMetrics metrics(host.WindowWidget(dlg)->font());
    std::vector<std::pair<QRect, std::string>> placed;
    for (const auto& pControl : dlg.Controls()) {
        QWidget* pWidget = host.ControlWidget(*pControl);
        const QRect rect = pWidget->geometry();
        const std::string strWhere =
            std::to_string(dlg.TemplateId()) + "/" + std::to_string(pControl->GetDlgCtrlID()) +
            " " + QString::fromStdWString(pControl->GetWindowText()).toStdString();
        QSize needed(0, 0);  // a wrapping label may take more lines, no more width
        if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
            const QRect room(0, 0, pLabel->wordWrap() ? rect.width() : 10000, 10000);
            const int nFlags = Qt::TextWordWrap | static_cast<int>(pLabel->alignment());
            needed = metrics.boundingRect(room, nFlags, pLabel->text()).size();
        }
        if (auto* pButton = qobject_cast<QPushButton*>(pWidget))
            needed = QSize(metrics.horizontalAdvance(pButton->text()) + 4, 0);
        EXPECT_LE(needed.width(), rect.width()) << strWhere;
        EXPECT_LE(needed.height(), rect.height()) << strWhere;
        if (qobject_cast<QGroupBox*>(pWidget) || pWidget->isHidden())
            continue;
        for (const auto& [other, strOther] : placed)
            EXPECT_FALSE(rect.intersects(other)) << strWhere << " overlaps " << strOther;
        placed.emplace_back(rect, strWhere);
    }
}

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
    QtEventLoop loop;
    QtUiHost host{loop};
};

TEST_F(QtResourcesTest, PagesAreNamedAndTidyAndEachIsPhotographedInTheSheet) {
    std::deque<CPropertyPage> pages;
    CPropertySheet sheet(LoadResourceString(IDS_SHEET_TITLE));
    sheet.SetIconId(IDR_MAINFRAME);
    for (int nTemplate : {IDD_MAIN_PAGE, IDD_COMMON_PAGE, IDD_SERVO_PAGE, IDD_MODE1_PAGE,
                          IDD_MODE2_PAGE, IDD_FIRMWARE_PAGE})
        sheet.AddPage(&pages.emplace_back(nTemplate));
    loop.Post([&] {
        QDialog* pWindow = host.SheetWindow(sheet);
        auto* pTabs = pWindow->findChild<QTabBar*>();
        EXPECT_FALSE(pWindow->windowIcon().isNull());
        EXPECT_EQ(pWindow->windowTitle(), "Morvane RC Gyro Tools");
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            QTest::mouseClick(pTabs, Qt::LeftButton, {}, pTabs->tabRect(i).center());
            ASSERT_EQ(sheet.GetActiveIndex(), i);  // the deadline below ends the sheet
            CPropertyPage& page = *sheet.GetPage(i);
            ShowSamples(page);
            ExpectTidy(host, page);
            for (const auto& [nTemplate, nId, pszValue, pszName] : SAMPLES)
                if (nTemplate == page.TemplateId() && pszName) {
                    EXPECT_EQ(host.ControlWidget(*page.GetDlgItem(nId))->accessibleName(), pszName);
                }
            const QString strTitle = QString::fromStdWString(page.Title()).replace(' ', '_');
            EXPECT_TRUE(morvane_test::SaveScreenshot(
                pWindow, QStringLiteral("page_%1_%2").arg(page.TemplateId()).arg(strTitle)));
        }
        pWindow->close();
    });
    const morvane_test::CDeadline deadline(20000, [&] {
        if (QDialog* pWindow = host.SheetWindow(sheet))
            pWindow->done(0);
    });
    sheet.DoModal();
}

TEST_F(QtResourcesTest, AgreementDialogsAreTidyAndEnterDoesNotAgree) {
    for (int nTemplate : {IDD_SPLASH, IDD_SPLASH_FW}) {
        CDialog dlg(nTemplate);
        loop.Post([&] {
            ExpectTidy(host, dlg);  // the hidden default button as well: it stays hidden
            EXPECT_TRUE(
                morvane_test::SaveScreenshot(host.WindowWidget(dlg)->window(),
                                             QStringLiteral("dialog_%1_agreement").arg(nTemplate)));
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
    }
}

}  // namespace
