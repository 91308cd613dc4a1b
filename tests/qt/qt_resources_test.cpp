// The program's own dialogs and pages on the Qt backend: the agreement dialogs' layout and
// keys, and how the parameter pages' controls report their state and notify.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "tests/qt/qt_test_support.h"
#include "tests/qt/screenshot.h"

namespace {

using namespace platform::ui;
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;

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

TEST_F(QtResourcesTest, AgreementDialogsAreTidyAndEnterDoesNotAgree) {
    for (int nTemplate : {IDD_SPLASH, IDD_SPLASH_FW}) {
        CDialog dlg(nTemplate);
        loop.Post([&] {
            morvane_test::ExpectTidy(host,
                                     dlg);  // the hidden default button as well: it stays hidden
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

namespace {

// A parameter page built from its template alone, logging what it hears.
class CLogPage : public CPropertyPage {
  public:
    using CPropertyPage::CPropertyPage;
    void OnCommand(int nId, int nCode) override {
        m_log.push_back(std::to_string(nId) + ":" + std::to_string(nCode));
    }
    void OnHScroll(int nId, int nCode, int nPos) override {
        m_log.push_back(std::to_string(nId) + " h" + std::to_string(nCode) + "@" +
                        std::to_string(nPos));
    }
    std::vector<std::string> Take() { return std::exchange(m_log, {}); }
    std::vector<std::string> m_log;
};

void TurnWheel(QWidget* pWidget) {
    const QPointF at(pWidget->rect().center());
    QWheelEvent wheel(at, pWidget->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(pWidget, &wheel);
}

QPoint ThumbCenter(QSlider* pSlider) {
    QStyleOptionSlider option;
    option.initFrom(pSlider);
    option.maximum = pSlider->maximum();
    option.sliderPosition = pSlider->sliderPosition();
    option.tickPosition = pSlider->tickPosition();
    const QStyle::SubControl HANDLE = QStyle::SC_SliderHandle;
    return pSlider->style()->subControlRect(QStyle::CC_Slider, &option, HANDLE, pSlider).center();
}

// The parameter pages' controls as a person and a screen reader meet them: set from code
// they show and report their state and notify nothing; a wheel changes nothing; a pick in a
// dropped list, a drag, a page step, a toggle and a step button notify as the handheld's do.
TEST_F(QtResourcesTest, ParameterPageControlsReportTheirStateAndNotifyAsTheHandheldsDo) {
    using ::testing::ElementsAre;
    for (const int nTemplate : {IDD_COMMON_PAGE, IDD_SERVO_PAGE, IDD_MODE1_PAGE, IDD_MODE2_PAGE}) {
        CLogPage page(nTemplate);
        page.Create();
        QWidget* pView = host.WindowWidget(page);
        pView->show();
        pView->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(pView));
        page.Take();  // the first field's focus
        CControl* pEdit = nullptr;
        for (const auto& pControl : page.Controls()) {
            CControl& c = *pControl;
            const std::string strId = std::to_string(c.GetDlgCtrlID());
            SCOPED_TRACE(std::to_string(nTemplate) + "/" + strId);
            QWidget* pWidget = host.ControlWidget(c);
            QAccessibleInterface* pAccessible = QAccessible::queryAccessibleInterface(pWidget);
            ASSERT_NE(pAccessible, nullptr);
            EXPECT_FALSE(pAccessible->text(QAccessible::Name).isEmpty());
            switch (c.Kind()) {
                case ControlKind::PushButton:
                    EXPECT_EQ(pAccessible->text(QAccessible::Name).toStdWString(),
                              c.GetWindowText());
                    break;
                case ControlKind::PushLikeToggle: {
                    c.SetCheck(1);
                    EXPECT_TRUE(pAccessible->state().checkable && pAccessible->state().checked);
                    EXPECT_THAT(page.Take(), ElementsAre());
                    QTest::mouseClick(pWidget, Qt::LeftButton);  // pressed: it releases
                    EXPECT_THAT(page.Take(), ElementsAre(strId + ":0"));
                    EXPECT_FALSE(pAccessible->state().checked);
                    break;
                }
                case ControlKind::Trackbar: {
                    auto* pSlider = qobject_cast<QSlider*>(pWidget);
                    c.SetRange(0, 15);
                    c.SetPos(7);
                    EXPECT_EQ(pAccessible->role(), QAccessible::Slider);
                    EXPECT_EQ(pAccessible->valueInterface()->currentValue(), 7);
                    TurnWheel(pWidget);
                    EXPECT_EQ(c.GetPos(), 7);
                    EXPECT_THAT(page.Take(), ElementsAre());
                    // A key, a tap in the channel right of the thumb, the thumb dragged to
                    // the right end.
                    QTest::keyClick(pWidget, Qt::Key_Right);
                    QTest::mouseClick(pWidget, Qt::LeftButton, {},
                                      {pWidget->width() - 2, ThumbCenter(pSlider).y()});
                    EXPECT_EQ(c.GetPos(), 13);
                    const QPoint from = ThumbCenter(pSlider);
                    const QPoint to(pWidget->width() - 1, from.y());
                    QTest::mousePress(pWidget, Qt::LeftButton, {}, from);
                    QTest::mouseMove(pWidget, to);
                    QTest::mouseRelease(pWidget, Qt::LeftButton, {}, to);
                    EXPECT_THAT(page.Take(),
                                ElementsAre(strId + " h1@0", strId + " h8@0", strId + " h3@0",
                                            strId + " h8@0", strId + " h5@14", strId + " h5@15",
                                            strId + " h4@15", strId + " h8@0"));
                    EXPECT_EQ(pAccessible->valueInterface()->currentValue(), 15);
                    break;
                }
                case ControlKind::DropDownList: {
                    auto* pCombo = qobject_cast<QComboBox*>(pWidget);
                    for (const wchar_t* pszEntry : {L"Generic", L"Futaba BLS251", L"JR 810G"})
                        c.AddString(pszEntry);
                    c.SetCurSel(0);
                    EXPECT_EQ(pAccessible->role(), QAccessible::ComboBox);
                    EXPECT_EQ(pAccessible->text(QAccessible::Value), "Generic");
                    TurnWheel(pWidget);
                    EXPECT_EQ(c.GetCurSel(), 0);
                    EXPECT_THAT(page.Take(), ElementsAre());
                    // Keys on the closed list, the list opened and closed, a tap on an entry.
                    page.GotoDlgCtrl(&c);
                    page.Take();
                    QTest::keyClick(pWidget, Qt::Key_Down);
                    pCombo->showPopup();
                    pCombo->hidePopup();
                    loop.RunUntil([&] { return page.m_log.size() == 2; }, 2000);
                    pCombo->showPopup();
                    QAbstractItemView* pList = pCombo->view();
                    const QPoint at = pList->visualRect(pList->model()->index(2, 0)).center();
                    QTest::mouseMove(pList->viewport(), at);
                    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, at);
                    loop.RunFor(20);
                    EXPECT_THAT(page.Take(), ElementsAre(strId + ":1", strId + ":8", strId + ":1",
                                                         strId + ":8"));
                    EXPECT_EQ(pAccessible->text(QAccessible::Value), "JR 810G");
                    break;
                }
                case ControlKind::Edit:
                    pEdit = pEdit ? pEdit : &c;
                    break;
                default:
                    break;
            }
        }
        // Each step button takes the focus from the field before its click arrives.
        for (const auto& pControl : page.Controls()) {
            if (pControl->Kind() != ControlKind::PushButton)
                continue;
            page.GotoDlgCtrl(pEdit);
            page.Take();
            QTest::mouseClick(host.ControlWidget(*pControl), Qt::LeftButton);
            EXPECT_THAT(page.Take(), ElementsAre(std::to_string(pEdit->GetDlgCtrlID()) + ":512",
                                                 std::to_string(pControl->GetDlgCtrlID()) + ":0"));
        }
        page.Destroy();
        morvane_test::FlushDeferredDeletes();
    }
}

}  // namespace
