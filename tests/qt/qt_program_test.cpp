// The program's own sheet on the Qt backend, as a pilot meets it: a Read of gyro-sim over a
// real pseudo-terminal through the termios path, in real time, every page with the gyro's
// values, a refused value, and a Store that reaches the gyro's memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAccessible>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/config_sheet.h"
#include "platform/files.h"
#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "tests/pty/pty_support.h"
#include "tests/qt/qt_test_support.h"
#include "tests/qt/screenshot.h"

namespace {

using namespace platform::ui;
using morvane_test::CModalActor;
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;

// The gyro's sixteen parameter words: endpoints 120 % and 115 %, stop gains 120 and 110,
// deadband 12, exponentials -30 (AVCS) and -20 (rate), profiles at 10 and 6, sensitivity 90, a
// Futaba BLS251 at 0.06, trim -8, reversed.
const char GYRO_MEMORY[] =
    "07E8\n040D\n0078\n006E\n000C\nFFE2\nFFEC\n0005\n0009\n0005\n0009\n005A\n"
    "1806\n0000\nFFF8\n0B00\n";

// What each tab shows after the Read, by the names a screen reader gives the controls.
// clang-format off
const std::tuple<int, const char*, const char*> SHOWN[] = {
    {0, "Firmware Version", "1.07"}, {0, "Loader Version", "1.03"}, {0, "Serial Number", "74565"},
    {1, "Rudder Stick Deadband", "12"}, {1, "Normal", "released"}, {1, "Reverse", "pressed"},
    {2, "High Endpoint", "120"}, {2, "Low Endpoint", "115"}, {2, "Midpoint Trim", "-8"},
    {2, "Servo", "Futaba BLS251"}, {2, "Type", "760usec/560Hz"}, {2, "Speed", "0.06"},
    {3, "Rudder Exponential", "-20"}, {4, "Acceleration Profile", "10"},
    {4, "Deceleration Profile", "6"}, {4, "Clockwise Stop Gain", "120"},
    {4, "Counter Clockwise Stop Gain", "110"}, {4, "Rudder Exponential", "-30"},
    {4, "Rudder Sensitivity", "90"}, {5, "New firmware version", "1.23"},
    {5, "Firmware transfer progress", "0"}};
// clang-format on

struct QtProgramTest : ::testing::Test {
    QtProgramTest() {
        SetTemplateLookup(FindDialogTemplate);
        SetHost(&host);
        host.SetIconLookup(LoadIconXpm, IDR_MAINFRAME);
    }
    ~QtProgramTest() override {
        SetHost(nullptr);
        platform::SetExecutablePathOverride(std::nullopt);
        morvane_test::FlushDeferredDeletes();
    }
    // Runs the program's sheet; the action runs once it is shown, then the sheet closes.
    void RunSheet(const std::function<void(CTQ480ConfigSheet&, QDialog&)>& action) {
        CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
        loop.Post([&] {
            action(sheet, *host.SheetWindow(sheet));
            host.SheetWindow(sheet)->close();
        });
        const morvane_test::CDeadline deadline(30000, [&] {
            if (QDialog* pWindow = host.SheetWindow(sheet))
                pWindow->done(0);
        });
        sheet.DoModal();
        for (const std::string& strText : boxes)
            ADD_FAILURE() << "message box: " << strText;
    }
    // The control of the page that a screen reader names so, not its label (the page itself
    // when there is none).
    QWidget* Named(CDialog& page, const char* pszName) {
        for (const auto& pControl : page.Controls())
            if (pControl->Kind() != ControlKind::Static &&
                host.ControlWidget(*pControl)->accessibleName() == pszName)
                return host.ControlWidget(*pControl);
        ADD_FAILURE() << "no control named " << pszName;
        return host.WindowWidget(page);
    }
    // What a screen reader tells of a control: a toggle's state, or its value.
    static std::string Told(QWidget* pWidget) {
        QAccessibleInterface* pAccessible = QAccessible::queryAccessibleInterface(pWidget);
        if (pAccessible->state().checkable)
            return pAccessible->state().checked ? "pressed" : "released";
        if (QAccessibleValueInterface* pValue = pAccessible->valueInterface())
            return pValue->currentValue().toString().toStdString();
        return pAccessible->text(QAccessible::Value).toStdString();
    }

    QtEventLoop loop;
    QtUiHost host{loop};
    // The box the test expects next ("caption: text") is answered OK with a click; any other
    // box fails the test with its text and is closed, instead of waiting for an answer that
    // never comes.
    std::string strExpectedBox;
    std::vector<std::string> boxes;
    void Answer(QMessageBox* pBox) {
        const std::string strBox = (pBox->windowTitle() + ": " + pBox->text()).toStdString();
        if (strBox == std::exchange(strExpectedBox, {})) {
            QTest::mouseClick(pBox->button(QMessageBox::Ok), Qt::LeftButton);
        } else {
            boxes.push_back(strBox);
            pBox->reject();
        }
    }
    CModalActor<QMessageBox> watchdog{[this](QMessageBox* pBox) { Answer(pBox); }, true};
};

TEST_F(QtProgramTest, APilotReadsGyroSimSeesItsValuesOnEveryPageAndStoresAChange) {
    GyroSimProcess sim("Simulated tq480 gyro", {}, GYRO_MEMORY);  // private folders
    ASSERT_FALSE(sim.Tty().empty());
    const fs::path folder = fs::path(getenv("XDG_RUNTIME_DIR"));
    platform::SetExecutablePathOverride((folder / "morvane-gyro-tools").string());

    RunSheet([&](CTQ480ConfigSheet& sheet, QDialog& window) {
        auto* pTabs = window.findChild<QTabBar*>();
        // A person's click gives the keyboard back to the sheet after a dialog; QTest's does not.
        auto activate = [&] {
            window.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        };
        auto choose = [&](int nTab) -> CPropertyPage& {
            activate();
            QTest::mouseClick(pTabs, Qt::LeftButton, {}, pTabs->tabRect(nTab).center());
            EXPECT_EQ(sheet.GetActiveIndex(), nTab);
            return *sheet.GetPage(nTab);
        };
        auto typeAndLeave = [&](QWidget* pEdit, const char* pszText) {
            activate();
            QTest::mouseClick(pEdit, Qt::LeftButton);
            QTest::keyClick(pEdit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(pEdit, pszText);
            QTest::keyClick(pEdit, Qt::Key_Tab);
        };
        CMainCtrlPage& page = sheet.m_mainPage;
        CControl& status = *page.GetDlgItem(IDC_STATUS);
        auto finished = [&](const wchar_t* pszStatus) {
            return loop.RunUntil(
                [&] { return status.GetWindowText() == pszStatus || !boxes.empty(); }, 10000);
        };
        // Pick the simulator's port as the list offers it, then tap Read with the mouse.
        CControl& ports = *page.GetDlgItem(IDC_COMPORT);
        int nEntry = -1;
        for (int i = 0; i < ports.GetCount(); ++i)
            if (ports.GetLBText(i).find(L"(Simulated tq480 gyro)") != std::wstring::npos)
                nEntry = i;
        ASSERT_GE(nEntry, 0);
        if (nEntry != ports.GetCurSel())
            CUserInput::Pick(ports, nEntry);
        QTest::mouseClick(Named(page, "Read"), Qt::LeftButton);
        ASSERT_TRUE(finished(L"Read Complete"));
        ASSERT_TRUE(boxes.empty());

        // Every tab as a pilot chooses it, with the gyro's values (and the sample firmware
        // file opened), tidy, photographed for the README.
        CModalActor<QFileDialog> opening([](QFileDialog* pDialog) {
            pDialog->selectFile(QStringLiteral(SAMPLE_FIRMWARE_PATH));
            static_cast<QDialog*>(pDialog)->accept();  // protected in QFileDialog
        });
        for (int nTab = 0; nTab < sheet.GetPageCount(); ++nTab) {
            CPropertyPage& shown = choose(nTab);
            if (&shown == &sheet.m_firmwarePage)
                QTest::mouseClick(Named(shown, "Open Firmware File"), Qt::LeftButton);
            for (const auto& [nPage, pszName, pszValue] : SHOWN)
                if (nPage == nTab) {
                    EXPECT_EQ(Told(Named(shown, pszName)), pszValue) << pszName;
                }
            morvane_test::ExpectTidy(host, shown);
            const QString strTitle = QString::fromStdWString(shown.Title());
            EXPECT_TRUE(
                morvane_test::SaveScreenshot(&window, strTitle.section(' ', 0, 0).toLower()));
        }

        // 300 typed into the deadband is refused with the handheld's message when the field
        // is left, and the value read comes back; 25 is taken.
        QWidget* pDeadband = Named(choose(1), "Rudder Stick Deadband");
        strExpectedBox =
            "Info: Deadband must be less or equal to 100\nValue has been change to previous value";
        typeAndLeave(pDeadband, "300");
        EXPECT_EQ(strExpectedBox, "");  // shown and answered
        EXPECT_EQ(Told(pDeadband), "12");
        typeAndLeave(pDeadband, "25");

        // A list that gets the focus by the keys is the step target: "+1" only takes the
        // focus back to it.
        CPropertyPage& servo = choose(2);
        QWidget* pTrim = Named(servo, "Midpoint Trim");
        QTest::mouseClick(pTrim, Qt::LeftButton);
        QTest::keyClick(pTrim, Qt::Key_Tab);
        QTest::mouseClick(Named(servo, "+1"), Qt::LeftButton);
        EXPECT_TRUE(Named(servo, "Servo")->hasFocus());
        EXPECT_EQ(Told(pTrim), "-8");

        // Store on Main, agreed with a click: the gyro's memory holds what was read, and 25.
        CModalActor<QDialog> agreeing(
            [](QDialog* pDialog) {
                for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
                    if (pButton->isVisible() && pButton->text() == "I Agree")
                        QTest::mouseClick(pButton, Qt::LeftButton);
            },
            true);
        QTest::mouseClick(Named(choose(0), "Store"), Qt::LeftButton);
        ASSERT_TRUE(finished(L"Write Complete"));
        std::stringstream memory;
        memory << std::ifstream(sim.MemoryPath()).rdbuf();
        std::string strExpected = GYRO_MEMORY;
        EXPECT_TRUE(memory.str().ends_with(strExpected.replace(20, 4, "0019"))) << memory.str();
    });
}

}  // namespace

namespace {

// Waits up to nMs for the process to end; its exit status, or -1 when it still runs.
int WaitForExit(pid_t nPid, int nMs) {
    for (int nWaited = 0; nWaited <= nMs; nWaited += 20) {
        int nStatus = 0;
        if (waitpid(nPid, &nStatus, WNOHANG) == nPid)
            return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -2;
        usleep(20'000);
    }
    return -1;
}

pid_t StartProgram() {
    const pid_t nPid = fork();
    if (nPid == 0) {
        execl(PROGRAM_PATH, PROGRAM_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    return nPid;
}

TEST(ProgramInstances, ASecondStartHandsOverToTheRunningCopyAndEnds) {
    const fs::path folder =
        fs::temp_directory_path() / ("morvane-instances-" + std::to_string(getpid()));
    fs::create_directories(folder / "config");
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    const pid_t nFirst = StartProgram();
    ASSERT_GT(nFirst, 0);
    // The first copy shows its sheet and keeps running.
    EXPECT_EQ(WaitForExit(nFirst, 1500), -1);
    // A second copy reaches it and ends at once instead of showing a second sheet.
    const pid_t nSecond = StartProgram();
    const int nSecondStatus = WaitForExit(nSecond, 15000);
    if (nSecondStatus == -1) {
        kill(nSecond, SIGKILL);
        waitpid(nSecond, nullptr, 0);
    }
    EXPECT_EQ(nSecondStatus, 0);
    EXPECT_EQ(WaitForExit(nFirst, 0), -1);
    kill(nFirst, SIGTERM);
    waitpid(nFirst, nullptr, 0);
    fs::remove_all(folder);
}

}  // namespace
