// The Qt backend's own work: the event loop on Qt's real clock, and on a form of every kind of
// control: widgets at the template's places, state set from code shown and told to screen
// readers, message boxes and modal dialogs with timers firing under them. A person's input on
// the program's own pages, and accessible names: qt_program_test.cpp.
// Times are bound from below only (a timer never fires early), and every wait ends on what it
// waits for, so a loaded machine makes the tests slower, never wrong.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>
#include <tuple>
#include <vector>

#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "shell/splash.h"
#include "tests/platform/form_dialog.h"

namespace {

using namespace platform::ui;
using namespace platform::qt;
using ::testing::ElementsAre;

// A window that notes when its timers arrive, and their ids in a shared log.
struct CLogWindow final : platform::CTimerTarget {
    CLogWindow(QtEventLoop& loop, std::vector<std::string>& log) : loop(loop), log(log) {}
    void OnTimer(unsigned nId) override {
        times.push_back(loop.NowMs());
        log.push_back("timer" + std::to_string(nId));
    }
    QtEventLoop& loop;
    std::vector<std::string>& log;
    std::vector<int64_t> times;
};

// The Qt loop adds to the shared timer table (tests/platform/event_loop_test.cpp) the wiring to
// Qt's real clock, and input first. While the thread is blocked, driver work runs and two timers
// fall due, late by two intervals; their delivery is queued. Input queued behind it, posted calls,
// and a kill of the first timer then all go before the delivery, which brings the second timer
// once, and next in its phase.
TEST(QtEventLoopTest, DriverWorkInputAndPostedCallsGoBeforeADueTimerThatFiresOnce) {
    QtEventLoop loop;
    std::vector<std::string> log;
    CLogWindow window(loop, log), doomed(loop, log);
    QLineEdit input;  // notes the key presses that reach it
    QObject::connect(&input, &QLineEdit::textEdited, [&] { log.push_back("key"); });
    const int64_t nStart = loop.NowMs();
    loop.SetTimer(&doomed, 1, 10);
    loop.SetTimer(&window, 3, 10);
    loop.Post([&] {
        loop.ScheduleDeviceWork(loop.NowNs() + 5'000'000, [&] { log.push_back("bytes"); });
        loop.Sleep(30);
        log.push_back("woke");
        // Behind the queued delivery, as window-system input waits behind posted events.
        QCoreApplication::postEvent(&input,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"),
                                    Qt::LowEventPriority);
        loop.Post([&] { log.push_back("posted"); });
        loop.Post([&] { loop.KillTimer(&doomed, 1); });
    });
    ASSERT_TRUE(loop.RunUntil([&] { return window.times.size() == 2; }, 5000));
    loop.KillTimer(&window, 3);
    // Killed, it fires no more; RunUntil gives up at its limit.
    const int64_t nKilled = loop.NowMs();
    EXPECT_FALSE(loop.RunUntil([&] { return window.times.size() > 2; }, 50));
    EXPECT_GE(loop.NowMs(), nKilled + 50);
    EXPECT_THAT(log, ElementsAre("bytes", "woke", "posted", "key", "timer3", "timer3"));
    EXPECT_GE(window.times[0], nStart + 30);
    EXPECT_GE(window.times[1], nStart + 40);
}

using namespace form;

// The form, and the program's own templates.
const DialogTemplate* TestTemplates(int nId) {
    const DialogTemplate* pForm = FormTemplate(nId);
    return pForm ? pForm : FindDialogTemplate(nId);
}

struct QtUiHostTest : ::testing::Test {
    QtUiHostTest() {
        SetTemplateLookup(TestTemplates);
        SetHost(&host);
    }
    ~QtUiHostTest() override {
        form.Destroy();
        SetHost(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    CControl& Item(int nId) { return *form.GetDlgItem(nId); }
    QWidget* Widget(int nId) { return host.ControlWidget(Item(nId)); }
    // Creates the form and shows it as the active window.
    void ShowForm() {
        form.Create();
        QWidget* pView = host.WindowWidget(form);
        pView->show();
        pView->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(pView));
    }

    QtEventLoop loop;
    QtUiHost host{loop};
    CFormDialog form;
};

TEST_F(QtUiHostTest, ChangesFromCodeShowAndAreToldButSendNothing) {
    ShowForm();
    form.m_log.clear();
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
    Item(IDC_EDIT_B).SetDescription(L"Percent, 50 to 200");
    EXPECT_THAT(form.m_log, ElementsAre());
    // clang-format off
    const std::tuple<int, const char*, QVariant> SHOWN[] = {
        {IDC_LIST, "currentRow", 0}, {IDC_PROGRESS, "value", 150}, {IDC_BUTTON, "text", "&Stop"},
        {IDC_TOGGLE, "visible", false}, {IDCANCEL, "enabled", false},
        {IDC_STATUS, "text", "Reading..."}, {IDC_STATUS, "accessibleName", "Status"},
        {IDC_STATUS, "accessibleDescription", "Reading..."}, {IDC_BUTTON, "accessibleName", "Stop"},
        {IDC_EDIT_B, "toolTip", "Percent, 50 to 200"},
        {IDC_EDIT_B, "accessibleDescription", "Percent, 50 to 200"}};
    // clang-format on
    for (const auto& [nId, pszProperty, value] : SHOWN)
        EXPECT_EQ(Widget(nId)->property(pszProperty), value) << nId << " " << pszProperty;
    // Moving the focus from code notifies as the framework says, and selects the edit's text.
    form.GotoDlgCtrl(&Item(IDC_EDIT_B));
    EXPECT_THAT(form.m_log, ElementsAre("10:512", "11:256"));
    EXPECT_TRUE(Widget(IDC_EDIT_B)->hasFocus());
    EXPECT_EQ(qobject_cast<QLineEdit*>(Widget(IDC_EDIT_B))->selectedText(), "123");
}

// Each box is opened by a timer, which keeps firing while the box is open and answers it on
// its third tick.
TEST_F(QtUiHostTest, MessageBoxesShowTheHandheldsKindsAndAnswersWhileTheirTimerFires) {
    using QMB = QMessageBox;
    const std::tuple<const wchar_t*, unsigned, QMB::StandardButtons, QMB::Icon, QMB::StandardButton,
                     int>
        CASES[] = {
            {L"Attention", MB_OK | MB_ICONEXCLAMATION, QMB::Ok, QMB::Warning, QMB::Ok, IDOK},
            {L"Stop", MB_YESNO | MB_ICONSTOP, QMB::Yes | QMB::No, QMB::Critical, QMB::No, IDNO},
            // Without a caption of its own, a box carries the program's name.
            {L"", MB_YESNO | MB_ICONSTOP, QMB::Yes | QMB::No, QMB::Critical, QMB::Yes, IDYES},
        };
    ShowForm();
    form.SetTimer(104, 10);
    for (const auto& [pszCaption, nType, buttons, icon, answer, nResult] : CASES) {
        int nTicks = 0;
        int nAnswer = 0;
        form.m_onTimer = [&, pszCaption = pszCaption, nType = nType, buttons = buttons, icon = icon,
                          answer = answer] {
            auto* pBox = qobject_cast<QMB*>(QApplication::activeModalWidget());
            if (nTicks++ == 0) {
                nAnswer = form.MessageBox(L"Text", pszCaption, nType);
                return;
            }
            if (nTicks < 4 || !pBox)
                return;
            EXPECT_EQ(host.ModalDepth(), 1);
            EXPECT_EQ(pBox->windowTitle(), *pszCaption ? QString::fromWCharArray(pszCaption)
                                                       : QApplication::applicationDisplayName());
            EXPECT_EQ(pBox->text(), "Text");
            EXPECT_EQ(pBox->standardButtons(), buttons);
            EXPECT_EQ(pBox->icon(), icon);
            pBox->button(answer)->click();
        };
        QObject deadline;  // a box no timer answers is closed rather than left open
        QTimer::singleShot(5000, &deadline, [] {
            if (QWidget* pBox = QApplication::activeModalWidget())
                pBox->close();
        });
        ASSERT_TRUE(loop.RunUntil([&] { return nAnswer != 0; }, 10000));
        EXPECT_GE(nTicks, 4);
        EXPECT_EQ(nAnswer, nResult) << nType;
        EXPECT_EQ(host.ModalDepth(), 0);
    }
    form.KillTimer(104);
}

// The agreement dialog's Enter on its focused "I Agree" is the hidden default OK, never the
// agreement.
TEST_F(QtUiHostTest, AModalDialogEndsByEnterEscapeItsCloseButtonOrATimer) {
    CFormDialog dlg;
    CDialog agreement(IDD_SPLASH);
    auto window = [&] { return host.WindowWidget(dlg)->window(); };
    dlg.m_onTimer = [&] { dlg.EndDialog(42); };
    const std::tuple<CDialog*, std::function<void()>, int> CASES[] = {
        {&dlg,
         [&] { QTest::keyClick(host.ControlWidget(*dlg.GetDlgItem(IDC_EDIT_B)), Qt::Key_Return); },
         IDOK},
        {&dlg, [&] { QTest::keyClick(window(), Qt::Key_Escape); }, IDCANCEL},
        {&dlg, [&] { window()->close(); }, IDCANCEL},
        {&dlg, [&] { dlg.SetTimer(1, 10); }, 42},
        {&agreement,
         [&] {
             EXPECT_EQ(agreement.GetFocus(), agreement.GetDlgItem(IDC_I_AGREE));
             QTest::keyClick(host.ControlWidget(*agreement.GetFocus()), Qt::Key_Return);
         },
         IDOK},
    };
    for (const auto& [pDialog, action, nResult] : CASES) {
        loop.Post(action);
        QObject deadline;  // a dialog that stays open fails rather than hangs
        QTimer::singleShot(5000, &deadline, [pDialog = pDialog] { pDialog->EndDialog(-1); });
        EXPECT_EQ(pDialog->DoModal(), nResult);
        EXPECT_FALSE(pDialog->HasWindow());
    }
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
