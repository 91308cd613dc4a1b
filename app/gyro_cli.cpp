#include "app/gyro_cli.h"

#include <cwchar>
#include <fstream>
#include <sstream>

#include "app/config_sheet.h"
#include "pages/parameter_fields.h"
#include "platform/text.h"
#include "res/resources.h"
#include "shell/splash.h"

using namespace platform::ui;

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
// Far longer than any sequence takes, including every wait and time-out.
constexpr int64_t SEQUENCE_LIMIT_MS = 120'000;

const char USAGE[] =
    "usage: morvane-gyro-cli ports\n"
    "       morvane-gyro-cli read COMn\n"
    "       morvane-gyro-cli store COMn FILE --agree\n"
    "       morvane-gyro-cli flash COMn FILE --agree\n";

// "COM3" or "COM3:" to 3; 0 when it is not such a name.
int ParsePortArgument(const std::string& strArg) {
    std::string strDigits = strArg.rfind("COM", 0) == 0 ? strArg.substr(3) : "";
    if (!strDigits.empty() && strDigits.back() == ':')
        strDigits.pop_back();
    if (strDigits.empty() || strDigits.size() > 3 ||
        strDigits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoi(strDigits);
}

bool ReadWholeFile(const std::string& strPath, std::string& strText) {
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    strText = content.str();
    return true;
}

// Sends the firmware file through the Firmware Update page as a pilot would: opens it, taps
// "Send Firmware", agrees, and follows the percentage until the upload has ended.
int FlashFirmware(CTQ480ConfigSheet& sheet, platform::headless::HeadlessUiHost& host,
                  const std::string& strFile, std::ostream& err) {
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
            err << "the upload stopped moving\n";
            return EXIT_FAILED;
        }
    }
    const auto& boxes = host.MessageBoxes();
    return boxes.size() > nBoxesBefore && boxes.back().strText == UPLOAD_COMPLETED ? EXIT_DONE
                                                                                   : EXIT_FAILED;
}

}  // namespace

int RunGyroCli(const std::vector<std::string>& args, platform::headless::HeadlessUiHost& host,
               std::ostream& out, std::ostream& err) {
    const std::string strCommand = args.empty() ? "" : args[0];
    const bool bPorts = strCommand == "ports" && args.size() == 1;
    const bool bRead = strCommand == "read" && args.size() == 2;
    const bool bStore = strCommand == "store" && (args.size() == 3 || args.size() == 4);
    const bool bFlash = strCommand == "flash" && (args.size() == 3 || args.size() == 4);
    if (!bPorts && !bRead && !bStore && !bFlash) {
        err << USAGE;
        return EXIT_USAGE;
    }
    int nPort = 0;
    if (!bPorts && (nPort = ParsePortArgument(args[1])) == 0) {
        err << "not a port name: " << args[1] << " (use COM1, COM2, ...)\n";
        return EXIT_USAGE;
    }
    if ((bStore || bFlash) && (args.size() != 4 || args[3] != "--agree")) {
        err << (bStore ? "store writes into the gyro" : "flash replaces the gyro's firmware")
            << ": land the helicopter, idle the engine, stop the rotor, then add --agree to "
               "confirm\n";
        return EXIT_USAGE;
    }
    GyroParameters toStore;
    if (bStore) {
        std::string strText, strError;
        if (!ReadWholeFile(args[2], strText)) {
            err << "cannot read " << args[2] << "\n";
            return EXIT_USAGE;
        }
        LoadDefaults(toStore);
        // Every field must be named: a file with only some would store defaults for the rest.
        if (!ParseParameterLines(strText, toStore, strError, true)) {
            err << args[2] << ": " << strError << "\n";
            return EXIT_USAGE;
        }
    }

    host.SetMessageBoxResponder([&err](const platform::headless::ShownMessageBox& box) {
        err << platform::Utf8FromWide(box.strText) << "\n";
        return (box.nType & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    host.SetUnexpectedHandler([&err](const std::wstring& strWhat) {
        err << "unexpected " << platform::Utf8FromWide(strWhat) << "\n";
    });
    for (const int nAgreement : {IDD_SPLASH, IDD_SPLASH_FW})
        host.SetDialogResponder(
            nAgreement, [](CDialog& dlg) { CUserInput::Tap(*dlg.GetDlgItem(IDC_I_AGREE)); });

    int nResult = EXIT_FAILED;
    host.SetSheetScript([&](CPropertySheet& shown) {
        CTQ480ConfigSheet& sheet = static_cast<CTQ480ConfigSheet&>(shown);
        CMainCtrlPage& page = sheet.m_mainPage;
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
            err << "COM" << nPort << " is not in the port list\n";
            CUserInput::CloseSheet(sheet);
            return;
        }
        if (ports.GetCurSel() != nEntry)
            CUserInput::Pick(ports, nEntry);
        if (bFlash) {
            nResult = FlashFirmware(sheet, host, args[2], err);
            CUserInput::CloseSheet(sheet);
            return;
        }
        if (bStore)
            sheet.m_gyroParameters = toStore;

        const wchar_t* pDone = bRead ? L"Read Complete" : L"Write Complete";
        bool bDone = false;
        CUserInput::Tap(*page.GetDlgItem(bRead ? IDC_READ : IDC_STORE));
        host.Loop().RunUntil(
            [&] {
                bDone = bDone || page.m_link.m_strStatus == pDone;
                return page.m_link.State() == LINK_IDLE && !page.m_link.IsBusy();
            },
            SEQUENCE_LIMIT_MS);
        bDone = bDone || page.m_link.m_strStatus == pDone;
        if (bDone) {
            nResult = EXIT_DONE;
            if (bRead)
                out << FormatIdentityLines(page.m_link.Identity())
                    << FormatParameterLines(sheet.m_gyroParameters);
        } else if (!page.m_link.m_strStatus.empty()) {
            err << platform::Utf8FromWide(page.m_link.m_strStatus) << "\n";
        }
        CUserInput::CloseSheet(sheet);
    });
    CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
    sheet.DoModal();
    return nResult;
}
