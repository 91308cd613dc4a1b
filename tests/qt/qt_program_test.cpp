// The program's own sheet on the Qt backend: what a person sees, and a Read of gyro-sim over a
// real pseudo-terminal through the termios path, in real time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <string>
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
using platform::qt::QtEventLoop;
using platform::qt::QtUiHost;

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
    QLineEdit* Edit(CDialog& page, int nId) {
        return qobject_cast<QLineEdit*>(host.ControlWidget(*page.GetDlgItem(nId)));
    }

    QtEventLoop loop;
    QtUiHost host{loop};
    // Every message box fails the test with its text and is closed, instead of waiting for
    // an answer that never comes.
    std::vector<std::string> boxes;
    void Close(QMessageBox* pBox) {
        boxes.push_back(pBox->text().toStdString());
        pBox->reject();
    }
    morvane_test::CModalActor<QMessageBox> watchdog{[this](QMessageBox* pBox) { Close(pBox); },
                                                    true};
};

TEST_F(QtProgramTest, ReadsGyroSimOverARealPseudoTerminalAndShowsItsFirmware) {
    const std::string strName = "Qt sim " + std::to_string(getpid());
    GyroSimProcess sim(strName);  // private runtime and configuration folders
    ASSERT_FALSE(sim.Tty().empty());
    const fs::path folder = fs::path(getenv("XDG_RUNTIME_DIR"));
    platform::SetExecutablePathOverride((folder / "morvane-gyro-tools").string());

    RunSheet([&](CTQ480ConfigSheet& sheet, QDialog& window) {
        CMainCtrlPage& page = sheet.m_mainPage;
        // Pick the simulator's port as the list offers it, then tap Read with the mouse.
        CControl& ports = *page.GetDlgItem(IDC_COMPORT);
        int nEntry = -1;
        for (int i = 0; i < ports.GetCount(); ++i)
            if (ports.GetLBText(i).find(std::wstring(strName.begin(), strName.end())) !=
                std::wstring::npos)
                nEntry = i;
        ASSERT_GE(nEntry, 0);
        if (nEntry != ports.GetCurSel())
            CUserInput::Pick(ports, nEntry);
        std::ifstream ini(folder / "morvane.ini");
        std::string strStored;
        ini >> strStored;
        EXPECT_EQ(strStored, std::to_string(ports.GetItemData(nEntry)));

        QTest::mouseClick(host.ControlWidget(*page.GetDlgItem(IDC_READ)), Qt::LeftButton);
        ASSERT_TRUE(loop.RunUntil(
            [&] { return page.m_link.m_strStatus == L"Read Complete" || !boxes.empty(); }, 10000))
            << std::string(page.m_link.m_strStatus.begin(), page.m_link.m_strStatus.end());
        ASSERT_TRUE(boxes.empty());
        EXPECT_EQ(Edit(page, IDC_FIRMWARE_VERSION)->text().toStdString(), "1.07");
        EXPECT_EQ(Edit(page, IDC_LOADER_VERSION)->text().toStdString(), "1.03");
        EXPECT_EQ(Edit(page, IDC_SERIAL_NUMBER)->text().toStdString(), "74565");
        EXPECT_FALSE(page.m_link.IsBusy());
        EXPECT_TRUE(
            morvane_test::SaveScreenshot(&window, QStringLiteral("program-main-after-read")));
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
