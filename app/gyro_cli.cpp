#include "app/gyro_cli.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/cli_signals.h"
#include "app/config_sheet.h"
#include "link/wire_trace.h"
#include "pages/parameter_fields.h"
#include "platform/append_file.h"
#include "platform/files.h"
#include "platform/signal_watch.h"
#include "platform/text.h"
#include "res/resources.h"
#include "res/version.h"
#include "shell/history.h"
#include "shell/splash.h"

using namespace platform::ui;

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
// Far longer than any sequence takes, including every wait and time-out.
constexpr int64_t SEQUENCE_LIMIT_MS = 120'000;

constexpr int EXIT_DIFFERS = 3;

const char USAGE[] =
    "Usage: morvane-gyro-cli [--trace FILE] COMMAND [ARGUMENT]...\n"
    "The Morvane tq480 gyro configuration tool without a window, for scripts and\n"
    "backups: the same pages and sequences as morvane-gyro-tools.\n"
    "\n"
    "  --trace FILE            adds a wire trace to FILE ('-': standard error): every\n"
    "                          port opened and closed, every byte sent and received,\n"
    "                          every step of the sequence, one line each; send it\n"
    "                          with a request for help\n"
    "  ports [--watch]         the port list, one entry a line; --watch then adds a\n"
    "                          line for each port plugged in (+COM3:(...)) or pulled\n"
    "                          out (-COM3:(...)) until interrupted\n"
    "  read COMn [FILE]        the gyro's identity and every parameter as Name=value\n"
    "                          lines, on standard output or into FILE\n"
    "  store COMn FILE --agree [--verify]\n"
    "                          writes the parameters of FILE (the output of read will\n"
    "                          do) into the gyro; --verify reads them back and names\n"
    "                          each field the gyro holds otherwise. FILE names every\n"
    "                          field once; '#' lines are passed over; the servo\n"
    "                          choices as their lists show them or as positions\n"
    "  set COMn NAME=VALUE... --agree [--verify]\n"
    "                          reads the gyro, changes only the named fields (as\n"
    "                          in a FILE, e.g. 'ServoPreset=JR 2700G') and stores\n"
    "                          them all; --verify reads them back\n"
    "  flash COMn FILE --agree sends the firmware file FILE; its percentage goes to\n"
    "                          standard error once per whole percent\n"
    "  history                 the parameter sets kept after every completed read and\n"
    "                          store, newest first, one file a line\n"
    "  --help                  show this text\n"
    "  --version               show the program's version\n"
    "\n"
    "FILE '-' is standard input or output, so\n"
    "  morvane-gyro-cli read COM1 | morvane-gyro-cli store COM2 - --agree --verify\n"
    "copies one gyro's settings into another. --agree is the safety agreement: land\n"
    "the helicopter, idle the engine and stop the rotor first. Messages the tool\n"
    "shows in a box go to standard error. Each completed read and store, here and\n"
    "in morvane-gyro-tools, keeps the parameter set in\n"
    "$XDG_STATE_HOME/morvane/history (~/.local/state/morvane/history), the newest\n"
    "200 of each gyro; store one back with\n"
    "  morvane-gyro-cli store COM1 FILE --agree --verify\n"
    "\n"
    "Exit status: 0 done; 1 the gyro did not complete the sequence, or FILE could\n"
    "not be written (the old FILE stays as it was); 2 a command line or file that\n"
    "cannot be used; 3 the gyro holds other values than were stored; 128 + n ended\n"
    "by signal n (130 for Ctrl-C): a read stops at once, a store writes its\n"
    "remaining words and a flash stops after the record in flight, unless\n"
    "interrupted again; the port is always given back as it was.\n";

// Every message starts so, on the error stream.
constexpr char PREFIX[] = "morvane-gyro-cli: ";

int UsageHint(std::ostream& err, const std::string& strWhat) {
    err << PREFIX << strWhat << "; try 'morvane-gyro-cli --help'\n";
    return EXIT_USAGE;
}

// "COM3", "com3" or "COM3:" to 3; 0 when it is not such a name.
int ParsePortArgument(const std::string& strArg) {
    std::string strDigits = strncasecmp(strArg.c_str(), "COM", 3) == 0 ? strArg.substr(3) : "";
    if (!strDigits.empty() && strDigits.back() == ':')
        strDigits.pop_back();
    if (strDigits.empty() || strDigits.size() > 3 ||
        strDigits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoi(strDigits);
}

// The whole file, or standard input for "-"; 0, else the system's error number.
int ReadWholeFile(const std::string& strPath, std::istream& in, std::string& strText) {
    std::ifstream file;
    errno = 0;
    if (strPath != "-")
        file.open(strPath, std::ios::binary);
    std::istream& source = strPath == "-" ? in : file;
    if (!source)
        return errno ? errno : EIO;
    // A folder opens, and then reads as nothing.
    std::error_code error;
    if (strPath != "-" && std::filesystem::is_directory(strPath, error))
        return EISDIR;
    std::ostringstream content;
    content << source.rdbuf();
    strText = content.str();
    return source.bad() ? (errno ? errno : EIO) : 0;
}

// "# morvane-gyro-cli 1.2.0, tq480 serial 74565, read 2026-12-07T13:00:01Z": where a file
// of parameters came from; store passes over it as over every '#' line.
std::string SourceLine(const GyroIdentity& identity) {
    const time_t nNow = static_cast<time_t>(HistoryNow());
    tm utc{};
    char szTime[32] = "";
    if (gmtime_r(&nNow, &utc))
        std::strftime(szTime, sizeof szTime, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return "# morvane-gyro-cli " MORVANE_VERSION ", tq480 serial " +
           platform::ToNarrowText(FormatSerialNumber(identity.SerialNumber)) + ", read " + szTime +
           "\n";
}

// One "Name: wrote X, gyro holds Y" line for each field whose line differs.
std::string DifferingFields(const GyroParameters& wrote, const GyroParameters& holds) {
    std::istringstream wroteLines(FormatParameterLines(wrote));
    std::istringstream holdsLines(FormatParameterLines(holds));
    std::string strDiffers, strWrote, strHolds;
    while (std::getline(wroteLines, strWrote) && std::getline(holdsLines, strHolds)) {
        const size_t nEquals = strWrote.find('=');
        if (strWrote != strHolds)
            strDiffers += PREFIX + strWrote.substr(0, nEquals) + ": wrote " +
                          strWrote.substr(nEquals + 1) + ", gyro holds " +
                          strHolds.substr(nEquals + 1) + "\n";
    }
    return strDiffers;
}

// Sends the firmware file through the Firmware Update page as a pilot would: opens it, taps
// "Send Firmware", agrees, and follows the percentage until the upload has ended.
int FlashFirmware(CTQ480ConfigSheet& sheet, platform::headless::HeadlessUiHost& host,
                  const std::string& strFile, std::ostream& err) {
    // The page's box would not say which file it could not open.
    if (access(strFile.c_str(), R_OK) != 0) {
        err << PREFIX << strFile << ": " << std::strerror(errno) << "\n";
        return EXIT_USAGE;
    }
    CTQ480FirmwarePage& page = sheet.m_firmwarePage;
    const CFirmwareUpload& upload = page.m_upload;
    if (!CUserInput::ChooseTab(sheet, sheet.GetPageCount() - 1))
        return EXIT_FAILED;
    host.SetFileResponder([&strFile](const std::wstring&, std::wstring& strPath) {
        strPath = platform::WideFromUtf8(strFile);
        return true;
    });
    CUserInput::Tap(*page.GetDlgItem(IDC_OPEN_FIRMWARE));
    CControl& send = *page.GetDlgItem(IDC_SEND_FIRMWARE);
    // The page has said in its box why it will not send this file.
    if (!send.IsWindowEnabled())
        return EXIT_USAGE;
    const size_t nBoxesBefore = host.MessageBoxes().size();
    CUserInput::Tap(send);

    // One line for each whole percent the page's box reaches.
    const CControl& percent = *page.GetDlgItem(IDC_PERCENT);
    long nShownPercent = 0;
    auto running = [&] { return upload.m_nUploadState != UPLOAD_IDLE || upload.m_bTransferActive; };
    auto report = [&] {
        const std::wstring strPercent = percent.GetWindowText();
        const long nPercent = std::wcstol(strPercent.c_str(), nullptr, 10);
        if (running() && nPercent > nShownPercent) {
            err << platform::Utf8FromWide(strPercent) << "\n" << std::flush;
            nShownPercent = nPercent;
        }
    };
    // The upload ends by its own time-outs; the limit only stops waiting for a machine that
    // no longer moves.
    while (running()) {
        const int nState = upload.m_nUploadState;
        const int32_t nLeft = upload.m_nRecordsLeft;
        const bool bMoved = host.Loop().RunUntil(
            [&] {
                report();
                return !running() || upload.m_nUploadState != nState ||
                       upload.m_nRecordsLeft != nLeft;
            },
            SEQUENCE_LIMIT_MS);
        if (!bMoved) {
            err << PREFIX << "the upload stopped moving\n";
            return EXIT_FAILED;
        }
    }
    const auto& boxes = host.MessageBoxes();
    return boxes.size() > nBoxesBefore && boxes.back().strText == UPLOAD_COMPLETED ? EXIT_DONE
                                                                                   : EXIT_FAILED;
}

// Prints the port list, then one line for each entry that comes (+) or goes (-) as the Main
// page's list follows the ports, until SIGINT or SIGTERM.
int WatchPorts(const CMainCtrlPage& page, platform::EventLoop& loop, std::ostream& out,
               std::ostream& err) {
    bool bStop = false;
    platform::CSignalWatch signals(loop, [&bStop](int, int) { bStop = true; });
    if (!signals.IsActive())
        err << PREFIX << "warning: SIGINT and SIGTERM end the program without a last line\n";
    std::vector<std::wstring> shown;
    auto print = [&out](char cSign, const std::vector<std::wstring>& entries,
                        const std::vector<std::wstring>& others) {
        for (const std::wstring& strEntry : entries)
            if (std::find(others.begin(), others.end(), strEntry) == others.end())
                out << (cSign ? std::string(1, cSign) : "") << platform::Utf8FromWide(strEntry)
                    << "\n";
    };
    print(0, page.m_portNames, shown);
    out << std::flush;
    shown = page.m_portNames;
    while (!bStop) {
        // The loop sleeps until the port watch or a signal wakes it.
        loop.RunUntil([&] { return bStop || page.m_portNames != shown; }, 3'600'000);
        print('-', shown, page.m_portNames);
        print('+', page.m_portNames, shown);
        out << std::flush;
        shown = page.m_portNames;
    }
    return EXIT_DONE;
}

}  // namespace

int RunGyroCli(const std::vector<std::string>& givenArgs, platform::headless::HeadlessUiHost& host,
               std::istream& in, std::ostream& out, std::ostream& err) {
    // The global option stands before the command.
    std::optional<std::string> traceFile;
    size_t nCommandAt = 0;
    for (; nCommandAt < givenArgs.size() && givenArgs[nCommandAt] == "--trace"; nCommandAt += 2) {
        if (nCommandAt + 1 >= givenArgs.size())
            return UsageHint(err, "--trace needs a FILE");
        traceFile = givenArgs[nCommandAt + 1];
    }
    const std::vector<std::string> args(givenArgs.begin() + static_cast<ptrdiff_t>(nCommandAt),
                                        givenArgs.end());
    // Opened once the command line has been checked, before the command does anything.
    platform::CAppendFile traceOutput;
    std::optional<CWireTrace> trace;
    auto startTrace = [&] {
        if (!traceFile)
            return true;
        if (const int nError = traceOutput.Open(*traceFile)) {
            err << PREFIX << "trace " << *traceFile << ": " << std::strerror(nError) << "\n";
            return false;
        }
        trace.emplace(traceOutput, host.Loop(), "morvane-gyro-cli " MORVANE_VERSION);
        return true;
    };
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << USAGE;
        return EXIT_DONE;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << "morvane-gyro-cli " MORVANE_VERSION "\n";
        return EXIT_DONE;
    }
    const std::string strCommand = args.empty() ? "" : args[0];
    if (strCommand == "history") {
        if (args.size() != 1)
            return UsageHint(err, "history takes no arguments");
        if (!startTrace())
            return EXIT_USAGE;
        for (const std::string& strPath : ListParameterHistory())
            out << strPath << "\n";
        return EXIT_DONE;
    }
    std::vector<std::string> operands;
    bool bAgree = false, bVerify = false, bWatch = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--agree" &&
            (strCommand == "store" || strCommand == "set" || strCommand == "flash"))
            bAgree = true;
        else if (args[i] == "--watch" && strCommand == "ports")
            bWatch = true;
        else if (args[i] == "--verify" && (strCommand == "store" || strCommand == "set"))
            bVerify = true;
        else if (args[i].size() > 1 && args[i][0] == '-')
            return UsageHint(err, "unknown option \"" + args[i] + "\"");
        else
            operands.push_back(args[i]);
    }
    const bool bPorts = strCommand == "ports";
    const bool bRead = strCommand == "read";
    const bool bStore = strCommand == "store";
    const bool bFlash = strCommand == "flash";
    const bool bSet = strCommand == "set";
    if (!bPorts && !bRead && !bStore && !bFlash && !bSet)
        return UsageHint(
            err, strCommand.empty() ? "no command" : "unknown command \"" + strCommand + "\"");
    // ports alone; read COMn [FILE]; store and flash COMn FILE; set COMn NAME=VALUE...
    const size_t nOperands = operands.size();
    if (bPorts  ? nOperands != 0
        : bRead ? nOperands < 1 || nOperands > 2
        : bSet  ? nOperands < 2
                : nOperands != 2)
        return UsageHint(err, strCommand + ": wrong number of arguments");
    int nPort = 0;
    if (!bPorts && (nPort = ParsePortArgument(operands[0])) == 0) {
        err << PREFIX << operands[0] << ": not a port name (use COM1, COM2, ...)\n";
        return EXIT_USAGE;
    }
    if ((bStore || bSet || bFlash) && !bAgree) {
        err << PREFIX
            << (bFlash ? "flash replaces the gyro's firmware"
                       : strCommand + " writes into the gyro")
            << ": land the helicopter, idle the engine, stop the rotor, then add --agree to "
               "confirm\n";
        return EXIT_USAGE;
    }
    const std::string strFile = operands.size() > 1 ? operands[1] : "-";
    GyroParameters toStore;
    // set's fields as lines of a file, checked as store checks a file before the gyro is
    // touched; the values do not depend on what the gyro holds.
    std::string strSetLines;
    if (bSet) {
        bool bUsable = true;
        for (size_t i = 1; i < nOperands; ++i) {
            // A file's lines that name no field (identity, comments) would change nothing.
            const std::string strName = operands[i].substr(0, operands[i].find('='));
            if (std::none_of(
                    PARAMETER_FIELDS.begin(), PARAMETER_FIELDS.end(),
                    [&](const ParameterField& field) { return strName == field.pszName; })) {
                err << PREFIX << "set: unknown name \"" << strName << "\"\n";
                bUsable = false;
            } else {
                strSetLines += operands[i] + "\n";
            }
        }
        GyroParameters checked;
        LoadDefaults(checked);
        for (const ParameterProblem& problem : ParseParameterLines(strSetLines, checked)) {
            err << PREFIX << "set: " << problem.strMessage << "\n";
            bUsable = false;
        }
        if (!bUsable)
            return EXIT_USAGE;
    }
    if (bStore) {
        std::string strText;
        if (const int nError = ReadWholeFile(strFile, in, strText)) {
            err << PREFIX << strFile << ": " << std::strerror(nError) << "\n";
            return EXIT_USAGE;
        }
        LoadDefaults(toStore);
        // Every field must be named: a file with only some would store defaults for the rest.
        // Every problem is told, each with its line, so that one editing mends them all.
        const std::vector<ParameterProblem> problems = ParseParameterLines(strText, toStore, true);
        for (const ParameterProblem& problem : problems)
            err << strFile << (problem.nLine ? ":" + std::to_string(problem.nLine) : "") << ": "
                << problem.strMessage << "\n";
        if (!problems.empty())
            return EXIT_USAGE;
    }
    if (!startTrace())
        return EXIT_USAGE;

    host.SetMessageBoxResponder([&err](const platform::headless::ShownMessageBox& box) {
        err << PREFIX << platform::Utf8FromWide(box.strText) << "\n";
        return (box.nType & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    host.SetUnexpectedHandler([&err](const std::wstring& strWhat) {
        err << PREFIX << "unexpected " << platform::Utf8FromWide(strWhat) << "\n";
    });
    for (const int nAgreement : {IDD_SPLASH, IDD_SPLASH_FW})
        host.SetDialogResponder(
            nAgreement, [](CDialog& dlg) { CUserInput::Tap(*dlg.GetDlgItem(IDC_I_AGREE)); });

    int nResult = EXIT_FAILED;
    host.SetSheetScript([&](CPropertySheet& shown) {
        CTQ480ConfigSheet& sheet = static_cast<CTQ480ConfigSheet&>(shown);
        CMainCtrlPage& page = sheet.m_mainPage;
        if (bPorts && bWatch) {
            nResult = WatchPorts(page, host.Loop(), out, err);
            CUserInput::CloseSheet(sheet);
            return;
        }
        // Ctrl-C and the like end the work under way through its own ending.
        CCliSignals signals(sheet, host.Loop(), err);
        if (bPorts) {
            for (const std::wstring& strEntry : page.m_portNames)
                out << platform::Utf8FromWide(strEntry) << "\n";
            nResult = EXIT_DONE;
            CUserInput::CloseSheet(sheet);
            return;
        }
        CControl& ports = *page.GetDlgItem(IDC_COMPORT);
        int nEntry = -1;
        for (int i = 0; i < ports.GetCount() && nEntry < 0; ++i)
            if (ports.GetItemData(i) == nPort)
                nEntry = i;
        if (nEntry < 0) {
            err << PREFIX << "COM" << nPort << ": not in the port list\n";
            CUserInput::CloseSheet(sheet);
            return;
        }
        if (ports.GetCurSel() != nEntry)
            CUserInput::Pick(ports, nEntry);
        if (bFlash) {
            nResult = FlashFirmware(sheet, host, strFile, err);
            if (signals.Caught())
                nResult = signals.FlashEnded(nResult == EXIT_DONE);
            CUserInput::CloseSheet(sheet);
            return;
        }
        if (bStore)
            sheet.m_gyroParameters = toStore;

        // Taps Read or Store and waits until the link is idle again; true when the sequence
        // completed, else its status goes to the error stream.
        auto runSequence = [&](bool bReadSequence) {
            const wchar_t* pDone = bReadSequence ? L"Read Complete" : L"Write Complete";
            bool bDone = false;
            CUserInput::Tap(*page.GetDlgItem(bReadSequence ? IDC_READ : IDC_STORE));
            host.Loop().RunUntil(
                [&] {
                    bDone = bDone || page.m_link.m_strStatus == pDone;
                    return page.m_link.State() == LINK_IDLE && !page.m_link.IsBusy();
                },
                SEQUENCE_LIMIT_MS);
            bDone = bDone || page.m_link.m_strStatus == pDone;
            if (!bDone && !page.m_link.m_strStatus.empty())
                err << PREFIX << platform::Utf8FromWide(page.m_link.m_strStatus) << "\n";
            return bDone;
        };
        bool bDone = runSequence(bRead || bSet);
        bool bStored = bStore && bDone;
        if (bSet && bDone && !signals.Caught()) {
            // What the gyro holds, the named fields changed, all stored as Store stores them.
            ParseParameterLines(strSetLines, sheet.m_gyroParameters);
            toStore = sheet.m_gyroParameters;
            bDone = bStored = runSequence(false);
        }
        if (signals.Caught())
            nResult = signals.SequenceEnded(bStored);
        if (!bDone || signals.Caught()) {
            CUserInput::CloseSheet(sheet);
            return;
        }
        nResult = EXIT_DONE;
        if (bRead) {
            const GyroIdentity& identity = page.m_link.Identity();
            const std::string strLines = SourceLine(identity) + FormatIdentityLines(identity) +
                                         FormatParameterLines(sheet.m_gyroParameters);
            if (strFile == "-") {
                out << strLines;
            } else if (const int nError = platform::ReplaceFile(strFile, strLines, 0644)) {
                // The file as it was stays, whole.
                err << PREFIX << strFile << ": " << std::strerror(nError) << "\n";
                nResult = EXIT_FAILED;
            }
        } else if (bVerify) {
            // What the gyro holds now, read through the same page.
            if (!runSequence(true)) {
                nResult = signals.Caught() ? signals.ExitStatus() : EXIT_FAILED;
            } else if (const std::string strDiffers =
                           DifferingFields(toStore, sheet.m_gyroParameters);
                       !strDiffers.empty()) {
                err << strDiffers;
                nResult = EXIT_DIFFERS;
            }
        }
        CUserInput::CloseSheet(sheet);
    });
    SetHistoryFailureReport([&err](const std::string& strWhy) {
        err << PREFIX << "history not kept: " << strWhy << "\n";
    });
    CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
    sheet.DoModal();
    SetHistoryFailureReport(nullptr);
    return nResult;
}
