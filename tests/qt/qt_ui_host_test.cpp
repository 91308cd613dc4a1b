#include "platform/qt/qt_ui_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/qt/qt_test_support.h"

namespace {

using namespace platform::ui;
using morvane_test::CModalActor;
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;
using ::testing::ElementsAre;

enum { IDC_EDIT_A = 10, IDC_EDIT_B, IDC_BUTTON, IDC_TOGGLE, IDC_COMBO, IDC_TRACK, IDC_LIST };
enum { IDC_PROGRESS = 17, IDC_STATUS, IDD_FORM = 600 };

DialogTemplate Form() {
    constexpr uint32_t TAB = STYLE_TABSTOP;
    DialogTemplate dlg{IDD_FORM, L"Form", 160, 176, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        {IDC_STATIC, ControlKind::Static, L"Value A", 10, 12, 40, 8, 0},
        {IDC_EDIT_A, ControlKind::Edit, L"", 55, 10, 40, 12, TAB | STYLE_BORDER},
        {IDC_EDIT_B, ControlKind::Edit, L"", 55, 26, 40, 12, TAB | STYLE_BORDER},
        {IDC_BUTTON, ControlKind::PushButton, L"+1", 100, 10, 30, 14, TAB},
        {IDC_TOGGLE, ControlKind::PushLikeToggle, L"Reverse", 100, 26, 40, 14, 0},
        {IDC_COMBO, ControlKind::DropDownList, L"", 55, 44, 80, 60, TAB | STYLE_VSCROLL},
        {IDC_TRACK, ControlKind::Trackbar, L"", 10, 71, 100, 19, TAB | STYLE_AUTOTICKS},
        {IDC_LIST, ControlKind::ListBox, L"", 10, 94, 120, 30, TAB | STYLE_BORDER},
        {IDC_PROGRESS, ControlKind::ProgressBar, L"", 10, 128, 120, 10, STYLE_SMOOTH},
        {IDC_STATUS, ControlKind::Static, L"", 10, 142, 140, 10, STYLE_CENTER},
        {IDOK, ControlKind::DefPushButton, L"OK", 30, 156, 40, 14, TAB},
        {IDCANCEL, ControlKind::PushButton, L"Cancel", 80, 156, 40, 14, TAB},
    };
    return dlg;
}

const DialogTemplate* TestTemplates(int nId) {
    static const DialogTemplate FORM = Form();
    return nId == IDD_FORM ? &FORM : nullptr;
}

// Records every notification as "id:code", a trackbar's with its position.
class CFormDialog : public CDialog {
  public:
    CFormDialog() : CDialog(IDD_FORM) {}
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_EDIT_A, m_nA); }
    void OnCommand(int nId, int nCode) override {
        m_log.push_back(std::to_string(nId) + ":" + std::to_string(nCode));
        m_onCommand(nId, nCode);
        CDialog::OnCommand(nId, nCode);
    }
    void OnHScroll(int nId, int nCode, int nPos) override {
        m_log.push_back(std::to_string(nId) + ":" + std::to_string(nCode) + "@" +
                        std::to_string(nPos));
    }
    void OnTimer(unsigned) override { m_onTimer(); }

    int m_nA = 1;
    std::vector<std::string> m_log;
    std::function<void(int, int)> m_onCommand = [](int, int) {};
    std::function<void()> m_onTimer = [] {};
};

struct QtUiHostTest : ::testing::Test {
    QtUiHostTest() {
        SetTemplateLookup(TestTemplates);
        SetHost(&host);
    }
    ~QtUiHostTest() override {
        form.Destroy();
        SetHost(nullptr);
        morvane_test::FlushDeferredDeletes();
    }
    CControl& Item(int nId) { return *form.GetDlgItem(nId); }
    template <typename T = QWidget>
    T* Widget(int nId) {
        return dynamic_cast<T*>(host.ControlWidget(Item(nId)));
    }
    // Creates the form and shows it as the active window.
    void ShowForm() {
        form.Create();
        QWidget* pView = host.WindowWidget(form);
        pView->show();
        pView->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(pView));
    }
    // The notifications since the last call.
    std::vector<std::string> TakeLog() { return std::exchange(form.m_log, {}); }

    QtEventLoop loop;
    QtUiHost host{loop};
    CFormDialog form;
};

TEST_F(QtUiHostTest, ClicksTypingAndListPicksNotifyAsThePenWould) {
    ShowForm();
    // A click on a button takes the edit's focus first. When that shows a box, the pen is
    // lifted while the box is open, which Qt drops: the click arrives all the same, once.
    CModalActor<QMessageBox> person(
        [](QMessageBox* pBox) { pBox->button(QMessageBox::Ok)->click(); });
    auto* pButton = Widget<QPushButton>(IDC_BUTTON);
    for (const bool bBox : {false, true}) {
        form.GotoDlgCtrl(&Item(IDC_EDIT_A));
        form.m_onCommand = [this, bBox](int nId, int nCode) {
            if (bBox && nId == IDC_EDIT_A && nCode == EN_KILLFOCUS)
                form.MessageBox(L"Out of range", L"Info", MB_OK);
        };
        TakeLog();
        QTest::mousePress(pButton, Qt::LeftButton);
        EXPECT_EQ(pButton->isDown(), !bBox);
        QTest::mouseRelease(pButton, Qt::LeftButton);
        EXPECT_THAT(TakeLog(), ElementsAre("10:512", "12:0")) << bBox;
        EXPECT_EQ(form.GetFocus(), &Item(IDC_BUTTON));
    }
    EXPECT_EQ(person.Acted(), 1);
    form.m_onCommand = [](int, int) {};

    auto* pEdit = Widget<QLineEdit>(IDC_EDIT_B);
    QTest::mouseClick(pEdit, Qt::LeftButton);
    QTest::keyClick(pEdit, Qt::Key_A, Qt::ControlModifier);  // no change yet
    QTest::keyClicks(pEdit, "42");
    EXPECT_THAT(TakeLog(), ElementsAre("11:256", "11:768", "11:768"));
    EXPECT_EQ(Item(IDC_EDIT_B).GetWindowText(), L"42");
    EXPECT_EQ(pEdit->cursorPosition(), 2);  // the caret stays the typist's

    for (const wchar_t* pszEntry : {L"COM1", L"COM2", L"COM5"})
        Item(IDC_LIST).AddString(pszEntry);
    auto* pList = Widget<QListWidget>(IDC_LIST);
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {},
                      pList->visualItemRect(pList->item(1)).center());
    QTest::keyClick(pList, Qt::Key_Down);
    EXPECT_THAT(TakeLog(), ElementsAre("11:512", "16:1", "16:1"));
    EXPECT_EQ(Item(IDC_LIST).GetCurSel(), 2);
}

TEST_F(QtUiHostTest, ChangesFromCodeShowAndRenameButSendNothing) {
    ShowForm();
    TakeLog();
    Item(IDC_EDIT_B).SetWindowText(L"123");
    Item(IDC_LIST).AddString(L"Record 1");
    Item(IDC_LIST).SetCurSel(0);
    Item(IDC_PROGRESS).SetRange(0, 200);
    Item(IDC_PROGRESS).SetStep(150);
    Item(IDC_PROGRESS).StepIt();
    Item(IDC_STATUS).SetWindowText(L"Reading...");
    Item(IDC_BUTTON).SetWindowText(L"&Stop");
    Item(IDC_TOGGLE).ShowWindow(false);
    Item(IDCANCEL).EnableWindow(false);
    EXPECT_THAT(TakeLog(), ElementsAre());

    const std::tuple<int, const char*, QVariant> SHOWN[] = {
        {IDC_EDIT_B, "text", "123"},   {IDC_LIST, "currentRow", 0},
        {IDC_PROGRESS, "value", 150},  {IDC_STATUS, "text", "Reading..."},
        {IDC_BUTTON, "text", "&Stop"}, {IDC_TOGGLE, "visible", false},
        {IDCANCEL, "enabled", false}};
    for (const auto& [nId, pszProperty, value] : SHOWN)
        EXPECT_EQ(Widget(nId)->property(pszProperty), value) << nId << " " << pszProperty;
    // A renamed button has its new name; a status line keeps its name and tells its text.
    EXPECT_EQ(Widget(IDC_BUTTON)->accessibleName(), "Stop");
    EXPECT_EQ(Widget(IDC_STATUS)->accessibleName(), "Status");
    EXPECT_EQ(Widget(IDC_STATUS)->accessibleDescription(), "Reading...");

    // Moving the focus from code notifies as the framework says, and selects the edit's text.
    form.GotoDlgCtrl(&Item(IDC_EDIT_B));
    EXPECT_THAT(TakeLog(), ElementsAre("10:512", "11:256"));
    EXPECT_TRUE(Widget(IDC_EDIT_B)->hasFocus());
    EXPECT_EQ(Widget<QLineEdit>(IDC_EDIT_B)->selectedText(), "123");
}

TEST_F(QtUiHostTest, MessageBoxesMapKindsAndAnswersWhileTimersKeepFiring) {
    using QMB = QMessageBox;
    const std::tuple<const wchar_t*, unsigned, QMB::StandardButtons, QMB::Icon, QMB::StandardButton,
                     int>
        CASES[] = {
            {L"Attention", MB_OK | MB_ICONEXCLAMATION, QMB::Ok, QMB::Warning, QMB::Ok, IDOK},
            {L"Stop", MB_YESNO | MB_ICONSTOP, QMB::Yes | QMB::No, QMB::Critical, QMB::No, IDNO},
            {L"Store", MB_YESNO | MB_ICONQUESTION, QMB::Yes | QMB::No, QMB::Question, QMB::Yes,
             IDYES},
            // Without a caption of its own, a box carries the program's name.
            {L"", MB_OKCANCEL | MB_ICONINFORMATION, QMB::Ok | QMB::Cancel, QMB::Information,
             QMB::Cancel, IDCANCEL},
        };
    ShowForm();
    form.SetTimer(104, 10);
    for (const auto& [pszCaption, nType, buttons, icon, answer, nResult] : CASES) {
        // The form's timer answers on its third tick with the box open.
        int nTicks = 0;
        form.m_onTimer = [&, pszCaption = pszCaption, buttons = buttons, icon = icon,
                          answer = answer] {
            auto* pBox = qobject_cast<QMB*>(QApplication::activeModalWidget());
            if (++nTicks < 3 || !pBox)
                return;
            EXPECT_EQ(host.ModalDepth(), 1);
            EXPECT_EQ(pBox->windowTitle(), *pszCaption ? QString::fromWCharArray(pszCaption)
                                                       : QApplication::applicationDisplayName());
            EXPECT_EQ(pBox->text(), "Text");
            EXPECT_EQ(pBox->standardButtons(), buttons);
            EXPECT_EQ(pBox->icon(), icon);
            pBox->button(answer)->click();
        };
        EXPECT_EQ(form.MessageBox(L"Text", pszCaption, nType), nResult) << nType;
        EXPECT_EQ(host.ModalDepth(), 0);
    }
}

TEST_F(QtUiHostTest, AModalDialogEndsByEnterEscapeItsCloseButtonOrATimer) {
    CFormDialog dlg;
    auto window = [&] { return host.WindowWidget(dlg)->window(); };
    auto widget = [&](int nId) { return host.ControlWidget(*dlg.GetDlgItem(nId)); };
    dlg.m_onTimer = [&] { dlg.EndDialog(42); };
    const std::pair<std::function<void()>, int> CASES[] = {
        {[&] { QTest::keyClick(widget(IDC_EDIT_B), Qt::Key_Return); }, IDOK},
        {[&] { QTest::keyClick(window(), Qt::Key_Escape); }, IDCANCEL},
        {[&] { window()->close(); }, IDCANCEL},
        {[&] { dlg.SetTimer(1, 10); }, 42},
    };
    for (const auto& [action, nResult] : CASES) {
        loop.Post([&, &action = action] {
            EXPECT_EQ(window()->windowTitle(), "Form");
            action();
        });
        EXPECT_EQ(dlg.DoModal(), nResult);
        EXPECT_FALSE(dlg.HasWindow());
    }
}

TEST_F(QtUiHostTest, TheFileDialogShowsTheHandheldsFilterInQtsForm) {
    // A chosen file reaches the Firmware Update page in the program's own Qt test.
    CModalActor<QFileDialog> quitter([](QFileDialog* pDialog) {
        EXPECT_THAT(pDialog->nameFilters(), ElementsAre("Firmware Files (*.fwr)"));
        pDialog->reject();
    });
    std::wstring strPath;
    EXPECT_FALSE(host.RunFileOpenDialog(nullptr, L"Firmware Files (*.fwr)|*.fwr||", strPath));
    EXPECT_EQ(quitter.Acted(), 1);
}

// A page that can be told to refuse leaving.
class CTestPage : public CPropertyPage {
  public:
    CTestPage() : CPropertyPage(IDD_FORM) {}
    bool OnKillActive() override { return !m_bRefuse && CPropertyPage::OnKillActive(); }
    bool m_bRefuse = false;
};

TEST_F(QtUiHostTest, TheSheetsTabsAreAtTheBottomAndARefusingPageKeepsItsTab) {
    CTestPage one, two;
    CPropertySheet sheet(L"Gyro");
    sheet.AddPage(&one);
    sheet.AddPage(&two);
    std::vector<std::string> seen;
    loop.Post([&] {
        QDialog* pWindow = host.SheetWindow(sheet);
        auto* pTabs = pWindow->findChild<QTabWidget*>();
        QTabBar* pBar = pTabs->tabBar();
        auto note = [&] {
            const bool bTwo = two.HasWindow() && host.WindowWidget(two)->isVisible();
            seen.push_back(std::to_string(pTabs->currentIndex()) + "/" +
                           std::to_string(sheet.GetActiveIndex()) + (bTwo ? " two" : "") +
                           (pWindow->isVisible() ? "" : " closed"));
        };
        EXPECT_EQ(pTabs->tabPosition(), QTabWidget::South);
        EXPECT_EQ(pWindow->windowTitle() + pBar->tabText(1), "GyroForm");
        one.m_bRefuse = two.m_bRefuse = true;  // refused by the mouse and by Ctrl+Tab
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(1).center());
        QTest::keyClick(pTabs, Qt::Key_Tab, Qt::ControlModifier);
        note();
        one.m_bRefuse = false;
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(1).center());
        note();
        pWindow->close();  // the active page refuses that as well
        note();
        two.m_bRefuse = false;
        pWindow->close();
    });
    const morvane_test::CDeadline deadline(10000, [&] {
        if (QDialog* pWindow = host.SheetWindow(sheet))
            pWindow->done(0);
    });
    sheet.DoModal();
    EXPECT_THAT(seen, ElementsAre("0/0", "1/1 two", "1/1 two"));
    EXPECT_TRUE(sheet.IsClosed());
}

TEST_F(QtUiHostTest, ControlsSitAtTheirRectanglesInTheFontsDialogUnits) {
    for (const double dZoom : {1.25, 2.5}) {
        host.SetZoom(dZoom);
        form.Create();
        QWidget* pView = host.WindowWidget(form);
        EXPECT_DOUBLE_EQ(pView->font().pointSizeF(), 8 * dZoom);
        const QFontMetrics metrics(pView->font());
        const QString strLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        const int nAverage = (metrics.horizontalAdvance(strLetters) / 26 + 1) / 2;
        auto across = [&](int n) { return (n * nAverage + 2) / 4; };
        auto down = [&](int n) { return (n * metrics.height() + 4) / 8; };
        EXPECT_EQ(pView->size(), QSize(across(160), down(176)));
        for (const auto& pControl : form.Controls()) {
            const ControlTemplate& c = pControl->Template();
            const QRect rect = host.ControlWidget(*pControl)->geometry();
            QRect expected(across(c.x), down(c.y), across(c.cx), down(c.cy));
            // A closed drop-down list: shorter than the template with its list, taller than text.
            if (c.kind == ControlKind::DropDownList) {
                EXPECT_LT(rect.height(), expected.height());
                EXPECT_GT(rect.height(), metrics.height());
                expected.setHeight(rect.height());
            }
            EXPECT_EQ(rect, expected) << "control " << c.nId << " zoom " << dZoom;
        }
        form.Destroy();
    }
}

}  // namespace
