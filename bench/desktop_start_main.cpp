// morvane-bench-desktop: the desktop program as morvane-gyro-tools starts it, on the Qt backend
// with its property sheet and its Qt event loop, for morvane-bench to measure.
//
// Without options it ends as soon as its sheet is shown and its modal loop has taken two rounds
// of events: morvane-bench measures the time to that moment and the peak memory.
//
// With --drive it acts as a pilot on its own sheet, from inside: picks the port, taps Read and
// Store, sits idle, opens the firmware file and sends it, agreeing to every agreement and
// answering every box at once. Each sequence runs on the real clock through the program's own
// loop; a line per sequence tells its wall time (from the tap, or for a Store and an upload from
// the agreement's end, when the sequence starts) and this process's CPU time over it:
//
//   DESKTOP read|store|upload RUN DONE WALL_NS CPU_NS
//   DESKTOP idle 0 1 WALL_NS CPU_NS
//
//   morvane-bench-desktop --drive N [--runs N] [--idle-s S] [--fwr FILE] [--no-read-store]
//                         [--trace FILE] [-- PROGRAM ARGUMENTS]
//
// The arguments after "--" go to the program as its own command line would.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/config_sheet.h"
#include "app/gyro_tools_app.h"
#include "link/wire_trace.h"
#include "platform/append_file.h"
#include "platform/event_loop.h"
#include "platform/qt/qt_program.h"
#include "platform/ui/ui.h"
#include "res/resources.h"
#include "shell/splash.h"

using namespace platform::ui;

namespace {

// Far longer than any sequence takes; only a machine that stopped moving reaches it.
constexpr int64_t SEQUENCE_LIMIT_MS = 600'000;

struct DriveOptions {
    int nPort = 0;
    int nRuns = 1;
    int nIdleS = 0;
    bool bReadStore = true;
    std::string strFwr;
    std::string strTrace;  // a wire trace appended to this file, as --trace FILE gives one
};

int64_t CpuNs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ns = [](const timeval& tv) {
        return static_cast<int64_t>(tv.tv_sec) * 1'000'000'000 +
               static_cast<int64_t>(tv.tv_usec) * 1000;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

// The pilot at the real windows: the Qt backend shows every window; the agreements are agreed
// to as soon as they are up, boxes are answered without being shown (yes, or OK) and the file
// dialog gives the bench's file.
class CBenchPilot final : public UiHost {
  public:
    CBenchPilot(UiHost& qt, std::wstring strFile) : m_qt(qt), m_strFile(std::move(strFile)) {}

    platform::EventLoop& Loop() override { return m_qt.Loop(); }
    int RunMessageBox(CDialog*, const std::wstring& strText, const std::wstring&,
                      unsigned nType) override {
        m_strLastBox = strText;
        return (nType & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
    int RunModalDialog(CDialog& dlg) override {
        Loop().Post([&dlg] {
            if (CControl* pAgree = dlg.GetDlgItem(IDC_I_AGREE))
                CUserInput::Tap(*pAgree);
        });
        const int nResult = m_qt.RunModalDialog(dlg);
        m_nAgreedNs = Loop().NowNs();
        m_nAgreedCpuNs = CpuNs();
        return nResult;
    }
    int RunPropertySheet(CPropertySheet& sheet) override { return m_qt.RunPropertySheet(sheet); }
    bool RunFileOpenDialog(CDialog*, const std::wstring&, std::wstring& strPath) override {
        strPath = m_strFile;
        return true;
    }
    void WindowCreated(CDialog& dlg) override { m_qt.WindowCreated(dlg); }
    void WindowDestroyed(CDialog& dlg) override { m_qt.WindowDestroyed(dlg); }
    void BeginQuit() override { m_qt.BeginQuit(); }

    std::wstring m_strLastBox;
    int64_t m_nAgreedNs = -1;
    int64_t m_nAgreedCpuNs = 0;

  private:
    UiHost& m_qt;
    std::wstring m_strFile;
};

void Report(const char* pszWhat, int nRun, bool bDone, int64_t nWallNs, int64_t nCpuNs) {
    std::printf("DESKTOP %s %d %d %lld %lld\n", pszWhat, nRun, bDone ? 1 : 0,
                static_cast<long long>(nWallNs), static_cast<long long>(nCpuNs));
    std::fflush(stdout);
}

// Taps the button; runs the loop until bIdle holds and reports the sequence. With bAgreed, the
// sequence starts when its agreement ends.
void RunTimed(CBenchPilot& pilot, const char* pszWhat, int nRun, CControl& button, bool bAgreed,
              const std::function<bool()>& bIdle, const std::function<bool()>& bDone) {
    platform::EventLoop& loop = pilot.Loop();
    int64_t nStartNs = loop.NowNs();
    int64_t nStartCpuNs = CpuNs();
    pilot.m_nAgreedNs = -1;
    CUserInput::Tap(button);
    loop.RunUntil(bIdle, SEQUENCE_LIMIT_MS);
    const int64_t nEndNs = loop.NowNs();
    const int64_t nEndCpuNs = CpuNs();
    if (bAgreed && pilot.m_nAgreedNs >= 0) {
        nStartNs = pilot.m_nAgreedNs;
        nStartCpuNs = pilot.m_nAgreedCpuNs;
    }
    Report(pszWhat, nRun, bDone(), nEndNs - nStartNs, nEndCpuNs - nStartCpuNs);
}

void Drive(CBenchPilot& pilot, CTQ480ConfigSheet& sheet, const DriveOptions& options) {
    platform::EventLoop& loop = pilot.Loop();
    CMainCtrlPage& page = sheet.m_mainPage;
    CControl& ports = *page.GetDlgItem(IDC_COMPORT);
    // The port list fills from the port watch: the bench's port may take a moment to appear.
    loop.RunUntil(
        [&] {
            for (int i = 0; i < ports.GetCount(); ++i)
                if (ports.GetItemData(i) == options.nPort)
                    return true;
            return false;
        },
        5000);
    for (int i = 0; i < ports.GetCount(); ++i)
        if (ports.GetItemData(i) == options.nPort && ports.GetCurSel() != i)
            CUserInput::Pick(ports, i);
    auto linkIdle = [&] { return page.m_link.State() == LINK_IDLE && !page.m_link.IsBusy(); };

    for (int nRun = 0; options.bReadStore && nRun < options.nRuns; ++nRun) {
        RunTimed(pilot, "read", nRun, *page.GetDlgItem(IDC_READ), false, linkIdle,
                 [&] { return page.m_link.m_strStatus == L"Read Complete"; });
        RunTimed(pilot, "store", nRun, *page.GetDlgItem(IDC_STORE), true, linkIdle,
                 [&] { return page.m_link.m_strStatus == L"Write Complete"; });
    }

    if (options.nIdleS > 0) {
        // Idle with the port selected, once the status line has been cleared.
        loop.RunFor(2100);
        const int64_t nCpuNs = CpuNs();
        const int64_t nStartNs = loop.NowNs();
        loop.RunFor(static_cast<int64_t>(options.nIdleS) * 1000);
        Report("idle", 0, true, loop.NowNs() - nStartNs, CpuNs() - nCpuNs);
    }

    if (options.strFwr.empty())
        return;
    CTQ480FirmwarePage& fwPage = sheet.m_firmwarePage;
    const CFirmwareUpload& upload = fwPage.m_upload;
    CUserInput::ChooseTab(sheet, sheet.GetPageCount() - 1);
    for (int nRun = 0; nRun < options.nRuns; ++nRun) {
        CUserInput::Tap(*fwPage.GetDlgItem(IDC_OPEN_FIRMWARE));
        pilot.m_strLastBox.clear();
        RunTimed(
            pilot, "upload", nRun, *fwPage.GetDlgItem(IDC_SEND_FIRMWARE), true,
            [&] { return upload.m_nUploadState == UPLOAD_IDLE && !upload.m_bTransferActive; },
            [&] { return pilot.m_strLastBox == UPLOAD_COMPLETED; });
    }
}

bool ParseDrive(int argc, char** argv, DriveOptions& options, std::vector<char*>& programArgs) {
    programArgs.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string strOption = argv[i];
        const bool bValue = i + 1 < argc;
        if (strOption == "--drive" && bValue)
            options.nPort = std::atoi(argv[++i]);
        else if (strOption == "--runs" && bValue)
            options.nRuns = std::max(1, std::atoi(argv[++i]));
        else if (strOption == "--idle-s" && bValue)
            options.nIdleS = std::max(0, std::atoi(argv[++i]));
        else if (strOption == "--fwr" && bValue)
            options.strFwr = argv[++i];
        else if (strOption == "--trace" && bValue)
            options.strTrace = argv[++i];
        else if (strOption == "--no-read-store")
            options.bReadStore = false;
        else if (strOption == "--") {
            programArgs.insert(programArgs.end(), argv + i + 1, argv + argc);
            break;
        } else
            return false;
    }
    programArgs.push_back(nullptr);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    DriveOptions options;
    std::vector<char*> programArgs;
    if (!ParseDrive(argc, argv, options, programArgs)) {
        std::fputs(
            "Usage: morvane-bench-desktop [--drive N [--runs N] [--idle-s S] [--fwr FILE] "
            "[--no-read-store] [--trace FILE] [-- PROGRAM ARGUMENTS]]\n",
            stderr);
        return 2;
    }
    platform::CAppendFile traceOutput;
    platform::qt::QtProgramSetup setup;
    setup.pszProgramName = "morvane-bench-desktop";
    setup.templates = FindDialogTemplate;
    setup.icons = LoadIconXpm;
    setup.nProgramIconId = IDR_MAINFRAME;
    if (options.nPort == 0) {
        setup.initInstance = [] {
            platform::EventLoop& loop = CurrentHost().Loop();
            // Posted messages run once a loop runs: the sheet's own, after it has been shown.
            loop.Post([&loop] { loop.Post([] { _exit(0); }); });
            return theApp.InitInstance();
        };
    } else {
        if (!options.strTrace.empty()) {
            if (const int nError = traceOutput.Open(options.strTrace)) {
                std::fprintf(stderr, "morvane-bench-desktop: trace %s: %s\n",
                             options.strTrace.c_str(), std::strerror(nError));
                return 2;
            }
        }
        setup.initInstance = [&options, &traceOutput] {
            UiHost& qt = CurrentHost();
            // On the clock of the loop that runs the program, as morvane-gyro-tools traces.
            std::optional<CWireTrace> trace;
            if (traceOutput.IsOpen())
                trace.emplace(traceOutput, qt.Loop(), "morvane-bench-desktop");
            CBenchPilot pilot(qt, std::wstring(options.strFwr.begin(), options.strFwr.end()));
            SetHost(&pilot);
            // Once the sheet runs: the pilot's work, then the sheet's close button.
            std::function<void()> start;
            start = [&] {
                auto* pSheet = dynamic_cast<CTQ480ConfigSheet*>(g_pConfigSheet);
                if (!pSheet || !pSheet->m_mainPage.HasWindow()) {
                    pilot.Loop().Post(start);
                    return;
                }
                Drive(pilot, *pSheet, options);
                CUserInput::CloseSheet(*pSheet);
            };
            pilot.Loop().Post(start);
            const bool bResult = theApp.InitInstance();
            SetHost(&qt);
            return bResult;
        };
    }
    const int nResult = platform::qt::RunQtProgram(static_cast<int>(programArgs.size()) - 1,
                                                   programArgs.data(), setup);
    return nResult != 0 ? nResult : theApp.ExitStatus();
}
