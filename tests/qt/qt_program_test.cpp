// The program's own sheet on the Qt backend, as a pilot meets it: a Read of gyro-sim over a
// real pseudo-terminal through the termios path, in real time, every page with the gyro's
// values, refused values, each kind of control used with the mouse, keys and wheel, a Store
// that reaches the gyro's memory, and a firmware update that reaches its loader.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <tuple>
#include <utility>

#include "app/config_sheet.h"
#include "app/gyro_tools_app.h"
#include "platform/files.h"
#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "tests/pty/pty_support.h"

namespace {

using namespace platform::ui;
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;

// The gyro's sixteen parameter words: endpoints 150 % and 115 %, stop gains 120 and 110,
// deadband 12, exponentials -30 (AVCS) and -20 (rate), profiles at 10 and 6, sensitivity 90, a
// Futaba BLS251 at 0.06, trim -8, reversed.
const char GYRO_MEMORY[] =
    "0866\n040D\n0078\n006E\n000C\nFFE2\nFFEC\n0005\n0009\n0005\n0009\n005A\n"
    "1806\n0000\nFFF8\n0B00\n";
// After the pilot's changes: high endpoint 145 %, deadband 25, acceleration profile at 14.
const char STORED_MEMORY[] =
    "0851\n040D\n0078\n006E\n0019\nFFE2\nFFEC\n0001\n0009\n0001\n0009\n005A\n"
    "1806\n0000\nFFF8\n0B00\n";

// The pictures of the pages, for the README (tools/update-screenshots.sh).
const QString SCREENSHOT_DIR = QStringLiteral(MORVANE_SCREENSHOT_DIR "/");

// What each tab shows after the Read, by the names a screen reader gives the controls, and the
// unit and range that some fields' tooltips and descriptions tell (not checked where empty).
// clang-format off
const std::tuple<int, const char*, const char*, const char*> SHOWN[] = {
    {0, "Firmware Version", "1.07", ""}, {0, "Loader Version", "1.03", ""},
    {0, "Serial Number", "74565", ""}, {1, "Rudder Stick Deadband", "12", "5 to 100"},
    {1, "Normal", "released", ""}, {1, "Reverse", "pressed", ""},
    {2, "High Endpoint", "150", "Percent of servo travel, 30 to 145"},
    {2, "Low Endpoint", "115", "Percent of servo travel, 30 to 145"},
    {2, "Midpoint Trim", "-8", "-100 to 100"}, {2, "Servo", "Futaba BLS251", ""},
    {2, "Type", "760usec/560Hz", ""}, {2, "Speed", "0.06", ""},
    {3, "Rudder Exponential", "-20", "Percent, -100 to 100"},
    {4, "Acceleration Profile", "10", "0 (slow) to 15 (fast)"}, {4, "Deceleration Profile", "6", ""},
    {4, "Clockwise Stop Gain", "120", ""}, {4, "Counter Clockwise Stop Gain", "110", ""},
    {4, "Rudder Exponential", "-30", ""}, {4, "Rudder Sensitivity", "90", "Percent, 50 to 150"},
    {5, "New firmware version", "1.23", ""}, {5, "Firmware transfer progress", "0", ""}};
// clang-format on

// Acts on every modal window of type T that opens, from a timer of Qt's own, as a person would
// (the framework's timers stay free for the code under test).
template <typename T>
class CModalActor {
  public:
    explicit CModalActor(std::function<void(T*)> act) : m_act(std::move(act)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (T* pWindow = qobject_cast<T*>(QApplication::activeModalWidget()))
                m_act(pWindow);
        });
        m_timer.start(5);
    }

  private:
    std::function<void(T*)> m_act;
    QTimer m_timer;
};

// Texts fit their controls, and shown controls do not overlap except inside their group box.
void ExpectTidy(QWidget* pView) {
    const QFontMetrics metrics(pView->font());
    std::vector<std::pair<QRect, QString>> placed;
    for (QWidget* pWidget : pView->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect rect = pWidget->geometry();
        const QString strWhere = pWidget->accessibleName();
        QSize needed(0, 0);  // a wrapping label may take more lines, no more width
        if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
            const QRect room(0, 0, pLabel->wordWrap() ? rect.width() : 10000, 10000);
            const int nFlags = Qt::TextWordWrap | static_cast<int>(pLabel->alignment());
            needed = metrics.boundingRect(room, nFlags, pLabel->text()).size();
        }
        if (auto* pButton = qobject_cast<QPushButton*>(pWidget))
            needed = QSize(metrics.horizontalAdvance(pButton->text()) + 4, 0);
        EXPECT_LE(needed.width(), rect.width()) << strWhere.toStdString();
        EXPECT_LE(needed.height(), rect.height()) << strWhere.toStdString();
        if (qobject_cast<QGroupBox*>(pWidget) || pWidget->isHidden())
            continue;
        for (const auto& [other, strOther] : placed)
            EXPECT_FALSE(rect.intersects(other))
                << (strWhere + " overlaps " + strOther).toStdString();
        placed.emplace_back(rect, strWhere);
    }
}

// Every framed control shows all four sides of its frame at fractional scales too, where a
// line may fall between two device pixels: the darkest pixel across each side's middle.
void ExpectFramed(QWidget* pView) {
    for (const double dScale : {1.25, 1.5, 1.75}) {
        QImage image(pView->size() * dScale, QImage::Format_RGB32);
        image.setDevicePixelRatio(dScale);
        pView->render(&image);
        for (QWidget* pWidget : pView->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!pWidget->isVisible() || qobject_cast<QLabel*>(pWidget) ||
                qobject_cast<QSlider*>(pWidget) || qobject_cast<QGroupBox*>(pWidget))
                continue;
            const QRect r((QPointF(pWidget->pos()) * dScale).toPoint(),
                          (QSizeF(pWidget->size()) * dScale).toSize());
            std::array<int, 4> darkest = {255, 255, 255, 255};
            for (int i = -1; i <= 2; ++i) {
                const QPoint sides[] = {{r.left() + i, r.center().y()},
                                        {r.right() + 1 - i, r.center().y()},
                                        {r.center().x(), r.top() + i},
                                        {r.center().x(), r.bottom() + 1 - i}};
                for (size_t n = 0; n < darkest.size(); ++n)
                    darkest[n] = std::min(darkest[n], qGray(image.pixel(sides[n])));
            }
            for (const int nGray : darkest)
                EXPECT_LT(nGray, 0xD8) << pWidget->accessibleName().toStdString() << " " << dScale;
        }
    }
}

// What a screen reader tells of a control: a toggle's state, or its value.
std::string Told(QWidget* pWidget) {
    QAccessibleInterface* pAccessible = QAccessible::queryAccessibleInterface(pWidget);
    if (pAccessible->state().checkable)
        return pAccessible->state().checked ? "pressed" : "released";
    if (QAccessibleValueInterface* pValue = pAccessible->valueInterface())
        return pValue->currentValue().toString().toStdString();
    return pAccessible->text(QAccessible::Value).toStdString();
}

void TurnWheel(QWidget* pWidget) {
    const QPointF at(pWidget->rect().center());
    QWheelEvent wheel(at, pWidget->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(pWidget, &wheel);
}

// Drags a trackbar's thumb to the right end with the mouse.
void DragThumbToTheEnd(QWidget* pWidget) {
    auto* pSlider = qobject_cast<QSlider*>(pWidget);
    ASSERT_NE(pSlider, nullptr);
    QStyleOptionSlider option;
    option.initFrom(pSlider);
    option.maximum = pSlider->maximum();
    option.sliderPosition = pSlider->sliderPosition();
    option.tickPosition = pSlider->tickPosition();
    const QPoint from = pSlider->style()
                            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle)
                            .center();
    const QPoint to(pSlider->width() - 1, from.y());
    QTest::mousePress(pSlider, Qt::LeftButton, {}, from);
    QTest::mouseMove(pSlider, to);
    QTest::mouseRelease(pSlider, Qt::LeftButton, {}, to);
}

// The pilot's tap on "I Agree" in an agreement dialog.
void Agree(QDialog* pDialog) {
    for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
        if (pButton->isVisible() && pButton->text() == "I Agree") {
            ExpectTidy(pButton->parentWidget());
            QTest::mouseClick(pButton, Qt::LeftButton);
        }
}

void Photograph(QWidget& window, const QString& strName) {
    EXPECT_TRUE(QDir().mkpath(SCREENSHOT_DIR));
    EXPECT_TRUE(window.grab().save(SCREENSHOT_DIR + strName + ".png", "PNG"));
}

struct QtProgramTest : ::testing::Test {
    QtProgramTest() {
        SetTemplateLookup(FindDialogTemplate);
        SetHost(&host);
        host.SetIconLookup(LoadIconXpm, IDR_MAINFRAME);
    }
    ~QtProgramTest() override {
        SetHost(nullptr);
        platform::SetExecutablePathOverride(std::nullopt);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Runs the program's sheet; the action runs once it is shown, then the sheet closes.
    void RunSheet(const std::function<void(CTQ480ConfigSheet&, QDialog&)>& action) {
        CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
        loop.Post([&] {
            action(sheet, *host.SheetWindow(sheet));
            host.SheetWindow(sheet)->close();
        });
        // A step that a failure left waiting ends the sheet rather than hang.
        QObject deadline;
        QTimer::singleShot(60000, &deadline, [&] {
            if (QDialog* pWindow = host.SheetWindow(sheet))
                pWindow->done(0);
        });
        sheet.DoModal();
        for (const std::string& strText : boxes)
            ADD_FAILURE() << "message box: " << strText;
    }
    // The control of the page that a screen reader names so, not its label or group box (the
    // page itself when there is none).
    QWidget* Named(CDialog& page, const char* pszName) {
        for (const auto& pControl : page.Controls()) {
            QWidget* pWidget = host.ControlWidget(*pControl);
            if (pControl->Kind() != ControlKind::Static &&
                pControl->Kind() != ControlKind::GroupBox &&
                QAccessible::queryAccessibleInterface(pWidget)->text(QAccessible::Name) == pszName)
                return pWidget;
        }
        ADD_FAILURE() << "no control named " << pszName;
        return host.WindowWidget(page);
    }
    // A pick in a drop-down list's dropped list with the mouse.
    void Pick(QWidget* pWidget, int nRow) {
        auto* pCombo = qobject_cast<QComboBox*>(pWidget);
        ASSERT_NE(pCombo, nullptr);
        pCombo->showPopup();
        QAbstractItemView* pList = pCombo->view();
        const QPoint at = pList->visualRect(pList->model()->index(nRow, 0)).center();
        QTest::mouseMove(pList->viewport(), at);
        QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, at);
        loop.RunFor(20);  // the choice is reported once the list has closed
    }

    QtEventLoop loop;
    QtUiHost host{loop};
    // The boxes the test expects next ("caption: text" begins so) are answered OK with a click;
    // any other box fails the test with its text and is closed, instead of waiting for an
    // answer that never comes.
    std::string strExpectedBox;
    int nExpectedBoxes = 0;
    std::vector<std::string> boxes;
    void Expect(const std::string& strBox, int nTimes = 1) {
        strExpectedBox = strBox;
        nExpectedBoxes = nTimes;
    }
    void Answer(QMessageBox* pBox) {
        const std::string strBox = (pBox->windowTitle() + ": " + pBox->text()).toStdString();
        if (strBox.starts_with(strExpectedBox) && nExpectedBoxes > 0) {
            --nExpectedBoxes;
            QTest::mouseClick(pBox->button(QMessageBox::Ok), Qt::LeftButton);
        } else {
            boxes.push_back(strBox);
            pBox->reject();
        }
    }
    CModalActor<QMessageBox> watchdog{[this](QMessageBox* pBox) { Answer(pBox); }};
};

TEST_F(QtProgramTest, APilotReadsGyroSimSeesItsValuesOnEveryPageStoresChangesAndSendsFirmware) {
    const std::string strRecords =
        fs::temp_directory_path() / ("morvane-qt-fw-" + std::to_string(getpid()));
    const std::string strFile = strRecords + ".fwr";
    ASSERT_EQ(std::system((MAKE_FWR_PATH " --records 300 " + strFile).c_str()), 0);
    // The simulator is started once the window is open, as a pilot plugs an adapter in.
    GyroSimProcess::UseFolders();
    std::optional<GyroSimProcess> sim;
    platform::SetExecutablePathOverride((GyroSimProcess::Folder() / "morvane-gyro-tools").string());

    RunSheet([&](CTQ480ConfigSheet& sheet, QDialog& window) {
        auto* pTabs = window.findChild<QTabWidget*>();
        EXPECT_EQ(pTabs->tabPosition(), QTabWidget::South);
        // A person's click gives the keyboard back to the sheet after a dialog; QTest's does not.
        auto activate = [&] {
            window.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        };
        auto clickTab = [&](int nTab) {
            activate();
            QTest::mouseClick(pTabs->tabBar(), Qt::LeftButton, {},
                              pTabs->tabBar()->tabRect(nTab).center());
        };
        auto choose = [&](int nTab) -> CPropertyPage& {
            clickTab(nTab);
            EXPECT_EQ(sheet.GetActiveIndex(), nTab);
            return *sheet.GetPage(nTab);
        };
        auto type = [&](QWidget* pEdit, const char* pszText, bool bLeave = true) {
            activate();
            QTest::mouseClick(pEdit, Qt::LeftButton);
            QTest::keyClick(pEdit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(pEdit, pszText);
            if (bLeave)
                QTest::keyClick(pEdit, Qt::Key_Tab);
        };
        auto click = [&](QWidget* pWidget) {
            activate();
            QTest::mouseClick(pWidget, Qt::LeftButton);
        };
        CMainCtrlPage& page = sheet.m_mainPage;
        CControl& status = *page.GetDlgItem(IDC_STATUS);
        auto finished = [&](const wchar_t* pszStatus) {
            return loop.RunUntil(
                [&] { return status.GetWindowText() == pszStatus || !boxes.empty(); }, 10000);
        };
        // The simulator's port is in the window's list within a second of its start; pick it,
        // then tap Read with the mouse.
        CControl& ports = *page.GetDlgItem(IDC_COMPORT);
        auto* pPorts = qobject_cast<QComboBox*>(host.ControlWidget(ports));
        auto simEntry = [&] {
            return pPorts->findText("(Simulated tq480 gyro)", Qt::MatchEndsWith);
        };
        ASSERT_EQ(simEntry(), -1);
        sim.emplace("Simulated tq480 gyro", std::vector<std::string>{"--firmware", strRecords},
                    GYRO_MEMORY);
        ASSERT_FALSE(sim->Tty().empty());
        ASSERT_TRUE(loop.RunUntil([&] { return simEntry() >= 0; }, 1000));
        const int nEntry = simEntry();
        if (nEntry != ports.GetCurSel())
            CUserInput::Pick(ports, nEntry);
        const int nComPort = static_cast<int>(ports.GetItemData(nEntry));
        click(Named(page, "Read"));
        ASSERT_TRUE(finished(L"Read Complete"));
        ASSERT_TRUE(boxes.empty());
        // The port list is named by the group around it, and tells the port chosen.
        EXPECT_TRUE(Told(Named(page, "Program Control")).ends_with(":(Simulated tq480 gyro)"));

        // Every tab as a pilot chooses it, with the gyro's values (and the sample firmware
        // file opened), every control named for a screen reader, tidy, photographed for the
        // README.
        QString strPick = QStringLiteral(SAMPLE_FIRMWARE_PATH);
        CModalActor<QFileDialog> opening([&](QFileDialog* pDialog) {
            EXPECT_EQ(pDialog->nameFilters().join(";;"), "fwr (*.fwr)");
            pDialog->selectFile(strPick);
            static_cast<QDialog*>(pDialog)->accept();  // protected in QFileDialog
        });
        for (int nTab = 0; nTab < sheet.GetPageCount(); ++nTab) {
            CPropertyPage& shown = choose(nTab);
            if (&shown == &sheet.m_firmwarePage)
                click(Named(shown, "Open Firmware File"));
            for (const auto& [nPage, pszName, pszValue, pszDescription] : SHOWN)
                if (nPage == nTab) {
                    QWidget* pWidget = Named(shown, pszName);
                    EXPECT_EQ(Told(pWidget), pszValue) << pszName;
                    if (*pszDescription) {
                        EXPECT_EQ(pWidget->toolTip() + "|" + pWidget->accessibleDescription(),
                                  QString(pszDescription) + "|" + pszDescription);
                    }
                }
            for (const auto& pControl : shown.Controls()) {  // Qt focuses no other control
                EXPECT_NE(host.ControlWidget(*pControl)->accessibleName(), "");
                EXPECT_TRUE(!host.ControlWidget(*pControl)->hasFocus() ||
                            shown.GetFocus() == pControl.get());
            }
            ExpectTidy(host.WindowWidget(shown));
            Photograph(window, QString::fromStdWString(shown.Title()).section(' ', 0, 0).toLower());
            ExpectFramed(host.WindowWidget(shown));
        }

        // Common: 300 typed into the deadband is refused with the handheld's message when the
        // field is left, and the value read comes back. "abc" keeps the pilot on the page
        // whether a tab is clicked, Ctrl+Tab pressed or the window closed. 25 is taken. Each
        // tap on a direction toggle flips the direction.
        CPropertyPage& common = choose(1);
        QWidget* pDeadband = Named(common, "Rudder Stick Deadband");
        Expect("Info: Deadband must be less or equal to 100\n");
        type(pDeadband, "300");
        EXPECT_EQ(Told(pDeadband), "12");
        type(pDeadband, "abc", false);
        Expect(window.windowTitle().toStdString() + ": Please enter an integer.", 3);
        clickTab(2);
        QTest::keyClick(pTabs, Qt::Key_Tab, Qt::ControlModifier);
        window.close();
        EXPECT_EQ(nExpectedBoxes, 0);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(pTabs->currentIndex(), 1);
        EXPECT_EQ(sheet.GetActiveIndex(), 1);
        type(pDeadband, "55", false);  // made 25 at its start: the caret stays the typist's
        for (const Qt::Key key : {Qt::Key_Home, Qt::Key_Delete, Qt::Key_2, Qt::Key_Tab})
            QTest::keyClick(pDeadband, key);
        for (const char* pszReverse : {"released", "pressed"}) {
            click(Named(common, "Normal"));
            EXPECT_EQ(Told(Named(common, "Reverse")), pszReverse);
        }

        // Servo: the field loses the focus before "+1" is clicked, so 150 is refused first
        // and the step goes from the value read, clamped.
        CPropertyPage& servo = choose(2);
        QWidget* pHigh = Named(servo, "High Endpoint");
        type(pHigh, "150", false);
        Expect("Info: Endpoint must be less or equal to 145%\n");
        click(Named(servo, "+1"));
        EXPECT_EQ(nExpectedBoxes, 0);
        EXPECT_EQ(Told(pHigh), "145");
        // A list that gets the focus by the keys is the step target: "+1" only takes the
        // focus back to it. The wheel over it changes nothing.
        QWidget* pTrim = Named(servo, "Midpoint Trim");
        click(pTrim);
        QTest::keyClick(pTrim, Qt::Key_Tab);
        click(Named(servo, "+1"));
        QWidget* pModel = Named(servo, "Servo");
        EXPECT_TRUE(pModel->hasFocus());
        EXPECT_EQ(Told(pTrim), "-8");
        TurnWheel(pModel);
        EXPECT_EQ(Told(pModel), "Futaba BLS251");
        // Picks in dropped lists: a type of one's own makes the servo Generic (the list's
        // selection change), a speed is taken (its close-up), a preset brings its type and
        // speed back.
        Pick(Named(servo, "Type"), 0);
        EXPECT_EQ(Told(pModel), "Generic");
        Pick(Named(servo, "Speed"), 2);
        EXPECT_EQ(sheet.m_gyroParameters.ServoSpeed, 2);
        Pick(pModel, 9);
        EXPECT_EQ(Told(Named(servo, "Type")) + " " + Told(Named(servo, "Speed")),
                  "760usec/560Hz 0.06");

        // Mode2: the wheel over a trackbar changes nothing; its thumb dragged to the end is 15,
        // a key steps it back, and it is the step target: "+1" only takes the focus to it.
        CPropertyPage& mode2 = choose(4);
        QWidget* pAcceleration = Named(mode2, "Acceleration Profile");
        TurnWheel(pAcceleration);
        EXPECT_EQ(Told(pAcceleration), "10");
        DragThumbToTheEnd(pAcceleration);
        EXPECT_EQ(sheet.m_gyroParameters.AvcsAccelerationProfile, 15);
        QTest::keyClick(pAcceleration, Qt::Key_Left);
        click(Named(mode2, "+1"));
        EXPECT_TRUE(pAcceleration->hasFocus());
        EXPECT_EQ(Told(pAcceleration), "14");

        // A screen reader's focus move out of a field checks it as a click elsewhere would.
        QWidget* pSensitivity = Named(mode2, "Rudder Sensitivity");
        type(pSensitivity, "151", false);
        Expect("Info: Sensitivity must be less or equal to 150%\n");
        Named(mode2, "Rudder Exponential")->setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(nExpectedBoxes, 0);
        EXPECT_EQ(Told(pSensitivity), "90");

        // Store on Main, agreed with a click: the gyro's memory holds the changes.
        CModalActor<QDialog> agreeing(Agree);
        click(Named(choose(0), "Store"));
        ASSERT_TRUE(finished(L"Write Complete"));
        std::stringstream memory;
        memory << std::ifstream(sim->MemoryPath()).rdbuf();
        EXPECT_TRUE(memory.str().ends_with(STORED_MEMORY)) << memory.str();

        // A make-fwr file opened and sent, agreed with a click, photographed a third of the way.
        CPropertyPage& firmware = choose(5);
        strPick = QString::fromStdString(strFile);
        click(Named(firmware, "Open Firmware File"));
        click(Named(firmware, "Send Firmware"));
        EXPECT_TRUE(loop.RunUntil(
            [&] { return firmware.GetDlgItem(IDC_TRANSFER_PROGRESS)->GetPos() >= 100; }, 30'000));
        EXPECT_EQ(firmware.GetDlgItem(IDC_PERCENT)->GetWindowText(), L"33.3%");
        EXPECT_EQ(firmware.GetDlgItem(IDC_SEND_FIRMWARE)->GetWindowText(), L"Stop Sending");
        Photograph(window, "firmware-sending");
        Expect(
            "Attention: The firmware update completed sucessfully.\n\nBefore you fly ensure "
            "the controls operate correctly.");
        EXPECT_TRUE(loop.RunUntil([&] { return nExpectedBoxes == 0 || !boxes.empty(); }, 60'000));

        // The simulator stops: its entry stays selected, under its number on both pages, so
        // that the same port started again just works.
        sim->Stop();
        loop.RunFor(1000);
        EXPECT_EQ(pPorts->currentIndex(), simEntry());
        EXPECT_EQ(std::pair(page.m_link.ComPort(), sheet.GetFirmwareComPort()),
                  std::pair(nComPort, nComPort));
    });
    // The loader holds every record of the file.
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

// A SIGTERM (a logout) during a Read: the Read ends through its own ending, the program's sheet
// closes with status 128 + 15, and the tty is given back with its settings as found.
TEST_F(QtProgramTest, ASigtermDuringAReadEndsTheProgramWithThePortGivenBack) {
    GyroSimProcess sim("Signalled tq480 gyro");
    const int nTty = open(sim.Tty().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(nTty, &before), 0);
    platform::SetExecutablePathOverride(sim.MemoryPath() + "-program");
    loop.Post([&] {
        CMainCtrlPage& page = dynamic_cast<CTQ480ConfigSheet*>(g_pConfigSheet)->m_mainPage;
        CControl& ports = *page.GetDlgItem(IDC_COMPORT);
        for (int i = 0; i < ports.GetCount(); ++i)
            if (ports.GetLBText(i).find(L"(Signalled tq480 gyro)") != std::wstring::npos)
                CUserInput::Pick(ports, i);
        CUserInput::Tap(*page.GetDlgItem(IDC_READ));
        EXPECT_TRUE(loop.RunUntil([&] { return page.m_link.IsBusy(); }, 5000));
        raise(SIGTERM);
    });
    theApp.InitInstance();
    EXPECT_EQ(theApp.ExitStatus(), 128 + SIGTERM);
    int nExclusive = 1;
    ASSERT_EQ(tcgetattr(nTty, &after), 0);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(ioctl(nTty, TIOCGEXCL, &nExclusive), 0);
    EXPECT_EQ(nExclusive, 0);
    EXPECT_EQ(flock(nTty, LOCK_EX | LOCK_NB), 0);
    close(nTty);
}

// The real program: a second start reaches the running copy and ends at once instead of
// showing a second sheet.
TEST(ProgramInstances, ASecondStartHandsOverToTheRunningCopyAndEnds) {
    const fs::path folder =
        fs::temp_directory_path() / ("morvane-instances-" + std::to_string(getpid()));
    fs::create_directories(folder / "config");
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    // The program keeps its settings beside itself: a file made by this test is not left
    // there, where it would take ./run.sh's first run from a newcomer.
    const fs::path settings = fs::path(PROGRAM_PATH).parent_path() / "morvane.ini";
    const bool bHadSettings = fs::exists(settings);
    QProcess first, second;
    first.start(QStringLiteral(PROGRAM_PATH));
    EXPECT_FALSE(first.waitForFinished(1500));  // it shows its sheet and keeps running
    second.start(QStringLiteral(PROGRAM_PATH));
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    first.waitForFinished();
    fs::remove_all(folder);
    if (!bHadSettings)
        fs::remove(settings);
}

}  // namespace
