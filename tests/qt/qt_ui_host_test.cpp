#include "platform/qt/qt_ui_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <string>
#include <vector>

#include "tests/qt/qt_test_support.h"

namespace {

using namespace platform::ui;
using morvane_test::CModalActor;
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;
using ::testing::ElementsAre;

enum { IDC_EDIT_A = 10, IDC_EDIT_B, IDC_BUTTON, IDC_TOGGLE, IDC_COMBO, IDC_TRACK, IDC_LIST };
enum { IDC_PROGRESS = 17, IDC_STATUS, IDD_FORM = 600, IDD_PAGE_ONE, IDD_PAGE_TWO };

DialogTemplate Page(int nId, const wchar_t* pszCaption, int cy) {
    return {nId,
            pszCaption,
            160,
            cy,
            L"MS Sans Serif",
            8,
            {{IDC_EDIT_A, ControlKind::Edit, L"", 10, 10, 40, 12, STYLE_TABSTOP | STYLE_BORDER}}};
}

DialogTemplate Form() {
    constexpr uint32_t TAB = STYLE_TABSTOP;
    DialogTemplate dlg{IDD_FORM, L"Form", 160, 176, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        {IDC_STATIC, ControlKind::Static, L"Value A", 10, 12, 40, 8, 0},
        {IDC_EDIT_A, ControlKind::Edit, L"", 55, 10, 40, 12, TAB | STYLE_BORDER},
        {IDC_STATIC, ControlKind::Static, L"Value B", 10, 28, 40, 8, 0},
        {IDC_EDIT_B, ControlKind::Edit, L"", 55, 26, 40, 12, TAB | STYLE_BORDER},
        {IDC_BUTTON, ControlKind::PushButton, L"+1", 100, 10, 30, 14, TAB},
        {IDC_TOGGLE, ControlKind::PushLikeToggle, L"Reverse", 100, 26, 40, 14, 0},
        {IDC_STATIC, ControlKind::Static, L"Port", 10, 46, 40, 8, 0},
        {IDC_COMBO, ControlKind::DropDownList, L"", 55, 44, 80, 60, TAB | STYLE_VSCROLL},
        {IDC_STATIC, ControlKind::Static, L"Profile", 10, 62, 60, 8, 0},
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
    static const DialogTemplate TEMPLATES[] = {Form(), Page(IDD_PAGE_ONE, L"One", 120),
                                               Page(IDD_PAGE_TWO, L"Two", 140)};
    for (const DialogTemplate& tmpl : TEMPLATES)
        if (tmpl.nId == nId)
            return &tmpl;
    return nullptr;
}

// Records every notification as "id:code" and exchanges two numbers.
class CFormDialog : public CDialog {
  public:
    CFormDialog() : CDialog(IDD_FORM) {}
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, IDC_EDIT_A, m_nA);
        DDX_Text(pDX, IDC_EDIT_B, m_nB);
    }
    void OnCommand(int nId, int nCode) override {
        m_log.push_back(
            std::to_string(nId) + ":" + std::to_string(nCode) +
            (nId == IDC_TOGGLE ? "/check" + std::to_string(GetDlgItem(nId)->GetCheck()) : ""));
        if (m_onCommand)
            m_onCommand(nId, nCode);
        CDialog::OnCommand(nId, nCode);
    }
    void OnHScroll(int nId, int nCode, int nPos) override {
        m_log.push_back("scroll" + std::to_string(nId) + ":" + std::to_string(nCode) + "@" +
                        std::to_string(nPos));
    }
    void OnTimer(unsigned nId) override {
        m_timerLog.push_back(nId);
        if (m_onTimer)
            m_onTimer(nId);
    }

    int m_nA = 1;
    int m_nB = 2;
    std::vector<std::string> m_log;
    std::vector<unsigned> m_timerLog;
    std::function<void(int, int)> m_onCommand;
    std::function<void(unsigned)> m_onTimer;
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
        ASSERT_NE(pView, nullptr);
        pView->show();
        pView->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(pView));
        form.m_log.clear();
    }

    QtEventLoop loop;
    QtUiHost host{loop};
    CFormDialog form;
};

// -----------------------------------------------------------------------------------------
// Notifications from real input

TEST_F(QtUiHostTest, AMouseClickOnAButtonTakesTheEditsFocusBeforeTheClick) {
    ShowForm();
    ASSERT_EQ(form.GetFocus(), &Item(IDC_EDIT_A));
    ASSERT_TRUE(Widget(IDC_EDIT_A)->hasFocus());
    QTest::mouseClick(Widget(IDC_BUTTON), Qt::LeftButton);
    EXPECT_THAT(form.m_log, ElementsAre("10:512", "12:0"));
    EXPECT_EQ(form.GetFocus(), &Item(IDC_BUTTON));

    // A toggle flips before it notifies; a second click on the focused toggle is a click only.
    form.m_log.clear();
    QTest::mouseClick(Widget(IDC_TOGGLE), Qt::LeftButton);
    QTest::mouseClick(Widget(IDC_TOGGLE), Qt::LeftButton);
    EXPECT_THAT(form.m_log, ElementsAre("13:0/check1", "13:0/check0"));
    EXPECT_FALSE(Widget<QPushButton>(IDC_TOGGLE)->isChecked());

    // A disabled button takes no click.
    form.m_log.clear();
    Item(IDC_BUTTON).EnableWindow(false);
    QTest::mouseClick(Widget(IDC_BUTTON), Qt::LeftButton);
    EXPECT_TRUE(form.m_log.empty());
}

TEST_F(QtUiHostTest, TheClickStillArrivesWhenTheFocusLostHandlerShowsABox) {
    ShowForm();
    form.m_onCommand = [&](int nId, int nCode) {
        if (nId == IDC_EDIT_A && nCode == EN_KILLFOCUS)
            form.MessageBox(L"Out of range", L"Info", MB_OK | MB_ICONEXCLAMATION);
    };
    CModalActor<QMessageBox> person(
        [](QMessageBox* pBox) { pBox->button(QMessageBox::Ok)->click(); });
    QTest::mouseClick(Widget(IDC_BUTTON), Qt::LeftButton);
    EXPECT_EQ(person.Acted(), 1);
    EXPECT_THAT(form.m_log, ElementsAre("10:512", "12:0"));
}

TEST_F(QtUiHostTest, TypingPickingAndSlidingNotifyAsThePenWould) {
    ShowForm();
    QTest::mouseClick(Widget(IDC_EDIT_B), Qt::LeftButton);
    QTest::keyClick(Widget(IDC_EDIT_B), Qt::Key_A, Qt::ControlModifier);  // no change yet
    QTest::keyClicks(Widget(IDC_EDIT_B), "42");
    EXPECT_THAT(form.m_log, ElementsAre("10:512", "11:256", "11:768", "11:768"));
    EXPECT_EQ(Item(IDC_EDIT_B).GetWindowText(), L"42");
    EXPECT_EQ(Widget<QLineEdit>(IDC_EDIT_B)->cursorPosition(), 2);  // the caret stays the typist's

    CControl& combo = Item(IDC_COMBO);
    combo.AddString(L"COM1:(FT232R USB UART)");
    combo.AddString(L"COM2:(Bluetooth)");
    combo.AddString(L"COM5:(gyro-sim)");
    combo.SetCurSel(0);
    auto* pCombo = Widget<QComboBox>(IDC_COMBO);
    pCombo->setFocus(Qt::TabFocusReason);
    form.m_log.clear();
    // Keys on the closed list: a selection change only.
    QTest::keyClick(pCombo, Qt::Key_Down);
    EXPECT_THAT(form.m_log, ElementsAre("14:1"));
    EXPECT_EQ(combo.GetCurSel(), 1);
    // An entry chosen in the dropped list: selection change and close-up.
    form.m_log.clear();
    pCombo->showPopup();
    QTest::keyClick(pCombo->view(), Qt::Key_Down);
    QTest::keyClick(pCombo->view(), Qt::Key_Return);
    loop.RunFor(20);
    EXPECT_THAT(form.m_log, ElementsAre("14:1", "14:8"));
    EXPECT_EQ(combo.GetCurSel(), 2);
    EXPECT_EQ(combo.GetWindowText(), L"COM5:(gyro-sim)");
    // Opened and closed without a choice: close-up only.
    form.m_log.clear();
    pCombo->showPopup();
    pCombo->hidePopup();
    loop.RunFor(20);
    EXPECT_THAT(form.m_log, ElementsAre("14:8"));

    CControl& list = Item(IDC_LIST);
    for (const wchar_t* pszLine : {L"Product 0x0480", L"Version 1.07", L"Records 212"})
        list.AddString(pszLine);
    auto* pList = Widget<QListWidget>(IDC_LIST);
    form.m_log.clear();
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {},
                      pList->visualItemRect(pList->item(1)).center());
    QTest::keyClick(pList, Qt::Key_Down);
    EXPECT_THAT(form.m_log, ElementsAre("16:1", "16:1"));
    EXPECT_EQ(list.GetCurSel(), 2);

    CControl& track = Item(IDC_TRACK);
    track.SetRange(0, 15);
    track.SetPos(3);
    auto* pSlider = Widget<QSlider>(IDC_TRACK);
    pSlider->setFocus(Qt::TabFocusReason);
    form.m_log.clear();
    QTest::keyClick(pSlider, Qt::Key_Right);
    QTest::keyClick(pSlider, Qt::Key_End);
    EXPECT_THAT(form.m_log,
                ElementsAre("scroll15:1@0", "scroll15:8@0", "scroll15:7@0", "scroll15:8@0"));
    EXPECT_EQ(track.GetPos(), 15);
    EXPECT_EQ(pSlider->value(), 15);
}

TEST_F(QtUiHostTest, DraggingTheThumbTracksThenDropsWhereThePenLifts) {
    ShowForm();
    CControl& track = Item(IDC_TRACK);
    track.SetRange(0, 10);
    track.SetPos(0);
    auto* pSlider = Widget<QSlider>(IDC_TRACK);
    QStyleOptionSlider option;
    option.initFrom(pSlider);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = 10;
    option.sliderPosition = 0;
    option.sliderValue = 0;
    option.tickPosition = pSlider->tickPosition();
    const QRect handle = pSlider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                          QStyle::SC_SliderHandle, pSlider);
    const QPoint start = handle.center();
    const QPoint end(pSlider->width() - 2, start.y());
    QTest::mousePress(pSlider, Qt::LeftButton, {}, start);
    EXPECT_THAT(form.m_log, ElementsAre("10:512"));  // the edit lost the focus to the press
    form.m_log.clear();
    QTest::mouseMove(pSlider, QPoint((start.x() + end.x()) / 2, start.y()));
    QTest::mouseMove(pSlider, end);
    const size_t nTracked = form.m_log.size();
    QTest::mouseRelease(pSlider, Qt::LeftButton, {}, end);
    ASSERT_GE(nTracked, 2u);
    for (size_t i = 0; i < nTracked; ++i)
        EXPECT_EQ(form.m_log[i].rfind("scroll15:5@", 0), 0u) << form.m_log[i];
    EXPECT_THAT(std::vector<std::string>(form.m_log.begin() + static_cast<long>(nTracked),
                                         form.m_log.end()),
                ElementsAre("scroll15:4@10", "scroll15:8@0"));
    EXPECT_EQ(track.GetPos(), 10);
}

TEST_F(QtUiHostTest, ChangesFromCodeShowButSendNothing) {
    ShowForm();
    Item(IDC_EDIT_B).SetWindowText(L"123");
    CControl& combo = Item(IDC_COMBO);
    combo.AddString(L"Digital");
    combo.AddString(L"Analog");
    combo.SetCurSel(1);
    Item(IDC_TOGGLE).SetCheck(1);
    Item(IDC_TRACK).SetRange(0, 15);
    Item(IDC_TRACK).SetPos(7);
    Item(IDC_LIST).AddString(L"Record 1");
    Item(IDC_LIST).SetCurSel(0);
    Item(IDC_PROGRESS).SetRange(0, 200);
    Item(IDC_PROGRESS).SetPos(50);
    Item(IDC_PROGRESS).SetStep(25);
    Item(IDC_PROGRESS).StepIt();
    Item(IDC_STATUS).SetWindowText(L"Reading...");
    Item(IDC_EDIT_A).SetWindowText(L"77");
    Item(IDC_BUTTON).ShowWindow(false);
    Item(IDCANCEL).EnableWindow(false);
    EXPECT_TRUE(form.m_log.empty());

    EXPECT_EQ(Widget<QLineEdit>(IDC_EDIT_B)->text(), "123");
    EXPECT_EQ(Widget<QLineEdit>(IDC_EDIT_A)->text(), "77");
    EXPECT_EQ(Widget<QComboBox>(IDC_COMBO)->currentText(), "Analog");
    EXPECT_TRUE(Widget<QPushButton>(IDC_TOGGLE)->isChecked());
    EXPECT_EQ(Widget<QSlider>(IDC_TRACK)->maximum(), 15);
    EXPECT_EQ(Widget<QSlider>(IDC_TRACK)->value(), 7);
    EXPECT_EQ(Widget<QListWidget>(IDC_LIST)->currentRow(), 0);
    EXPECT_EQ(Widget<QProgressBar>(IDC_PROGRESS)->value(), 75);
    EXPECT_EQ(Widget<QLabel>(IDC_STATUS)->text(), "Reading...");
    EXPECT_FALSE(Widget(IDC_BUTTON)->isVisible());
    EXPECT_FALSE(Widget(IDCANCEL)->isEnabled());

    // Moving the focus from code notifies as the framework says, and selects the edit's text.
    Item(IDC_EDIT_B).SetWindowText(L"1234");
    form.GotoDlgCtrl(&Item(IDC_EDIT_B));
    EXPECT_THAT(form.m_log, ElementsAre("10:512", "11:256"));
    EXPECT_TRUE(Widget(IDC_EDIT_B)->hasFocus());
    EXPECT_EQ(Widget<QLineEdit>(IDC_EDIT_B)->selectedText(), "1234");
}

// -----------------------------------------------------------------------------------------
// Modal boxes, dialogs, the file dialog

TEST_F(QtUiHostTest, TimersKeepFiringWhileAMessageBoxIsOpen) {
    ShowForm();
    form.SetTimer(104, 10);
    int nDepthSeen = 0;
    QString strTitle, strText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    form.m_onTimer = [&](unsigned) {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (form.m_timerLog.size() < 3 || !pBox)
            return;
        nDepthSeen = host.ModalDepth();
        strTitle = pBox->windowTitle();
        strText = pBox->text();
        icon = pBox->icon();
        pBox->button(QMessageBox::Ok)->click();
    };
    EXPECT_EQ(form.MessageBox(L"Attention please", L"Attention", MB_OK | MB_ICONEXCLAMATION), IDOK);
    EXPECT_GE(form.m_timerLog.size(), 3u);
    EXPECT_EQ(nDepthSeen, 1);
    EXPECT_EQ(host.ModalDepth(), 0);
    EXPECT_EQ(strTitle, "Attention");
    EXPECT_EQ(strText, "Attention please");
    EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST_F(QtUiHostTest, MessageBoxButtonsAndIconsMapToTheHandheldsAnswers) {
    ShowForm();
    std::vector<QMessageBox::StandardButtons> shownButtons;
    std::vector<QMessageBox::Icon> shownIcons;
    auto answer = [&](QMessageBox::StandardButton button) {
        return std::make_unique<CModalActor<QMessageBox>>([&, button](QMessageBox* pBox) {
            shownButtons.push_back(pBox->standardButtons());
            shownIcons.push_back(pBox->icon());
            pBox->button(button)->click();
        });
    };
    auto person = answer(QMessageBox::No);
    EXPECT_EQ(form.MessageBox(L"Stop the upload?", L"Stop", MB_YESNO | MB_ICONSTOP), IDNO);
    person = answer(QMessageBox::Yes);
    EXPECT_EQ(form.MessageBox(L"Store?", L"Store", MB_YESNO | MB_ICONQUESTION), IDYES);
    person = answer(QMessageBox::Cancel);
    EXPECT_EQ(form.MessageBox(L"Send?", L"Info", MB_OKCANCEL | MB_ICONINFORMATION), IDCANCEL);
    EXPECT_THAT(shownButtons,
                ElementsAre(QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::Ok | QMessageBox::Cancel));
    EXPECT_THAT(shownIcons, ElementsAre(QMessageBox::Critical, QMessageBox::Question,
                                        QMessageBox::Information));

    // The framework's own box has no caption: it carries the program's name.
    QString strTitle;
    person = std::make_unique<CModalActor<QMessageBox>>([&](QMessageBox* pBox) {
        strTitle = pBox->windowTitle();
        pBox->button(QMessageBox::Ok)->click();
    });
    Item(IDC_EDIT_A).SetWindowText(L"x");
    EXPECT_FALSE(form.UpdateData(true));
    EXPECT_EQ(strTitle, QApplication::applicationDisplayName());
}

TEST_F(QtUiHostTest, AModalDialogEndsByEnterByItsCloseButtonOrFromCode) {
    CFormDialog dlg;
    QString strTitle;
    loop.Post([&] {
        strTitle = host.WindowWidget(dlg)->window()->windowTitle();
        QTest::keyClick(host.ControlWidget(*dlg.GetDlgItem(IDC_EDIT_B)), Qt::Key_Return);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(strTitle, "Form");
    EXPECT_FALSE(dlg.HasWindow());

    loop.Post([&] { host.WindowWidget(dlg)->window()->close(); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);

    // Enter on a bad number: the box, and the dialog stays open until Cancel.
    std::vector<std::string> boxes;
    CModalActor<QMessageBox> person([&](QMessageBox* pBox) {
        boxes.push_back(pBox->text().toStdString());
        pBox->button(QMessageBox::Ok)->click();
        loop.Post([&] {
            boxes.push_back(dlg.IsEnded() ? "ended" : "open");
            QTest::keyClick(host.WindowWidget(dlg)->window(), Qt::Key_Escape);
        });
    });
    loop.Post([&] {
        CUserInput::Type(*dlg.GetDlgItem(IDC_EDIT_A), L"abc");
        QTest::keyClick(host.ControlWidget(*dlg.GetDlgItem(IDC_EDIT_A)), Qt::Key_Enter);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_THAT(boxes, ElementsAre("Please enter an integer.", "open"));

    // Ended by a timer of its own.
    dlg.m_onTimer = [&](unsigned) { dlg.EndDialog(42); };
    loop.Post([&] { dlg.SetTimer(1, 10); });
    EXPECT_EQ(dlg.DoModal(), 42);
}

TEST_F(QtUiHostTest, TheFileDialogShowsTheHandheldsFilterInQtsForm) {
    ShowForm();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString strFile = folder.filePath("tail.fwr");
    QFile file(strFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QStringList filters;
    CModalActor<QFileDialog> person([&](QFileDialog* pDialog) {
        filters = pDialog->nameFilters();
        pDialog->selectFile(strFile);
        static_cast<QDialog*>(pDialog)->accept();  // protected in QFileDialog
    });
    std::wstring strPath;
    EXPECT_TRUE(host.RunFileOpenDialog(&form, L"Firmware Files (*.fwr)|*.fwr||", strPath));
    EXPECT_EQ(QString::fromStdWString(strPath), strFile);
    EXPECT_THAT(filters, ElementsAre("Firmware Files (*.fwr)"));

    CModalActor<QFileDialog> quitter([](QFileDialog* pDialog) { pDialog->reject(); });
    EXPECT_FALSE(host.RunFileOpenDialog(&form, L"Firmware Files (*.fwr)|*.fwr||", strPath));
}

// -----------------------------------------------------------------------------------------
// The property sheet

// A page that can be told to refuse leaving.
class CTestPage : public CPropertyPage {
  public:
    explicit CTestPage(int nTemplate) : CPropertyPage(nTemplate) {}
    bool OnKillActive() override { return !m_bRefuse && CPropertyPage::OnKillActive(); }
    bool m_bRefuse = false;
};

TEST_F(QtUiHostTest, TheSheetsTabsAreAtTheBottomAndARefusingPageKeepsItsTab) {
    CTestPage one(IDD_PAGE_ONE), two(IDD_PAGE_TWO);
    CPropertySheet sheet(L"Morvane RC Gyro Tools");
    sheet.AddPage(&one);
    sheet.AddPage(&two);
    QDialog* pWindow = nullptr;
    std::vector<std::string> seen;
    loop.Post([&] {
        pWindow = host.SheetWindow(sheet);
        auto* pTabs = pWindow->findChild<QTabWidget*>();
        QTabBar* pBar = pTabs->tabBar();
        EXPECT_EQ(pWindow->windowTitle(), "Morvane RC Gyro Tools");
        EXPECT_EQ(pTabs->tabPosition(), QTabWidget::South);
        EXPECT_EQ(pBar->tabText(0), "One");
        EXPECT_EQ(pBar->tabText(1), "Two");
        EXPECT_FALSE(two.HasWindow());

        one.m_bRefuse = true;
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(1).center());
        QTest::keyClick(pTabs, Qt::Key_Tab, Qt::ControlModifier);
        seen.push_back("refused at " + std::to_string(pTabs->currentIndex()) + "/" +
                       std::to_string(sheet.GetActiveIndex()) + " two " +
                       (two.HasWindow() ? "exists" : "absent"));

        one.m_bRefuse = false;
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(1).center());
        QWidget* pPage = host.WindowWidget(two);
        seen.push_back("chosen " + std::to_string(pTabs->currentIndex()) + "/" +
                       std::to_string(sheet.GetActiveIndex()) + " page " +
                       (pPage && pPage->isVisible() ? "shown" : "hidden"));

        // Closing asks the active page; a refusal keeps the window open.
        two.m_bRefuse = true;
        pWindow->close();
        seen.push_back(pWindow->isVisible() ? "still open" : "closed");
        two.m_bRefuse = false;
        pWindow->close();
    });
    // Stops a sheet that a failed step left open.
    const morvane_test::CDeadline deadline(10000, [&] {
        if (QDialog* pWindow = host.SheetWindow(sheet))
            pWindow->done(0);
    });
    sheet.DoModal();
    EXPECT_THAT(seen,
                ElementsAre("refused at 0/0 two absent", "chosen 1/1 page shown", "still open"));
    EXPECT_TRUE(sheet.IsClosed());
    EXPECT_FALSE(one.HasWindow());
}

// -----------------------------------------------------------------------------------------
// Layout and names

TEST_F(QtUiHostTest, ControlsSitAtTheirRectanglesInTheFontsDialogUnits) {
    form.Create();
    QWidget* pView = host.WindowWidget(form);
    const QFont font = pView->font();
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 8 * host.Zoom());
    const QFontMetrics metrics(font);
    const int nAverage =
        (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 +
         1) /
        2;
    const int nHeight = metrics.height();
    auto across = [&](int n) { return (n * nAverage + 2) / 4; };
    auto down = [&](int n) { return (n * nHeight + 4) / 8; };
    EXPECT_EQ(pView->size(), QSize(across(160), down(176)));
    for (const auto& pControl : form.Controls()) {
        const ControlTemplate& tmpl = pControl->Template();
        const QRect rect = host.ControlWidget(*pControl)->geometry();
        const QRect expected(across(tmpl.x), down(tmpl.y), across(tmpl.cx), down(tmpl.cy));
        if (tmpl.kind == ControlKind::DropDownList) {
            // The closed box: shorter than the template with its list, tall enough for text.
            EXPECT_EQ(rect.topLeft(), expected.topLeft());
            EXPECT_EQ(rect.width(), expected.width());
            EXPECT_LT(rect.height(), expected.height());
            EXPECT_GT(rect.height(), metrics.height());
        } else {
            EXPECT_EQ(rect, expected) << "control " << tmpl.nId;
        }
    }

    // A zoom enlarges the font, and the layout with it.
    const QSize normal = pView->size();
    form.Destroy();
    host.SetZoom(2.5);
    form.Create();
    EXPECT_GT(host.WindowWidget(form)->width(), normal.width() * 3 / 2);
    EXPECT_GT(host.WindowWidget(form)->height(), normal.height() * 3 / 2);
}

TEST_F(QtUiHostTest, ControlsCarryAccessibleNames) {
    form.Create();
    EXPECT_EQ(Widget(IDC_EDIT_A)->accessibleName(), "Value A");
    EXPECT_EQ(Widget(IDC_EDIT_B)->accessibleName(), "Value B");
    EXPECT_EQ(Widget(IDC_COMBO)->accessibleName(), "Port");
    EXPECT_EQ(Widget(IDC_TRACK)->accessibleName(), "Profile");
    EXPECT_EQ(Widget(IDC_LIST)->accessibleName(), "List 16");
    EXPECT_EQ(Widget(IDC_STATUS)->accessibleName(), "Status");
    EXPECT_EQ(Widget(IDC_TOGGLE)->accessibleName(), "Reverse");
    EXPECT_EQ(Widget(IDCANCEL)->accessibleName(), "Cancel");
    // Captions changed by code rename their control; a status line tells its text.
    Item(IDC_BUTTON).SetWindowText(L"&Stop");
    Item(IDC_STATUS).SetWindowText(L"Reading...");
    EXPECT_EQ(Widget(IDC_BUTTON)->accessibleName(), "Stop");
    EXPECT_EQ(Widget(IDC_STATUS)->accessibleName(), "Status");
    EXPECT_EQ(Widget(IDC_STATUS)->accessibleDescription(), "Reading...");
}

}  // namespace
