// Firmware update end to end: a pilot opens a file on the Firmware Update page, agrees and
// sends it; the software gyro's loader answers over the in-memory line, in virtual time. Files
// refused when they are opened, and the command line's flash through the same page. The
// uploads' endings are the fault matrix's.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <sstream>

#include "app/gyro_cli.h"
#include "firmware/firmware_page.h"
#include "platform/text.h"
#include "shell/splash.h"
#include "sim/fwr_file.h"
#include "tests/pages/app_fixture.h"

namespace {

using namespace platform::ui;
using ::testing::ElementsAre;
namespace fs = std::filesystem;

const wchar_t COMPLETED[] =
    L"The firmware update completed sucessfully.\n\nBefore you fly ensure the controls operate "
    L"correctly.";
const wchar_t CORRUPT[] = L"Corrupt firmware file found, download firmware again.";
const wchar_t ABORTED[] =
    L"Programming aborted by user.\n\nDo not attempt to fly the gyro until a firmware update has "
    L"been sucessfully completed.";
// A header as the pilot would see it: the rows, then the product ID and version when read,
// then whether line 3 ended and whether a key was missing.
std::wstring Describe(const FirmwareHeader& h) {
    std::wstring strText;
    for (const std::wstring& strRow : h.rows)
        strText += L"[" + strRow + L"]";
    return strText + L" PID=" + h.strProductId.value_or(L"-") + L" VER=" +
           h.strVersion.value_or(L"-") + (h.bComplete ? L" complete" : L" cut") +
           (h.bCorrupt ? L" corrupt" : L"");
}

TEST(HeaderLines, GiveRowsProductIdAndVersion) {
    const std::wstring X34(34, L'x'), Y40(40, L'y');
    const std::pair<std::string, std::wstring> cases[] = {
        // A row ends at the first blank once it holds 35 characters; that blank is dropped.
        {std::string(34, 'x') + "  " + std::string(40, 'y') + " z\r\nPID: 0480\r\nVER: 123\r\nrec",
         L"[" + X34 + L" ][" + Y40 + L"][z] PID=0480 VER=1.23 complete"},
        {"desc\nPID: 0480\nVER:123\n", L"[des] PID= 048 VER=0.23 complete"},  // LF alone
        {"\r\nPID: 0390\r\nVER: abc\r\n", L"[] PID=0390 VER=0.00 complete"},
        // The number is looked for in the version line only, not in what line 2 left.
        {"d\r\nPID: 0480\r\nVER:\r\n", L"[d] PID=0480 VER=0.00 complete"},
        {"d\r\npid: 0480\r\nVER: 5\r\n", L"[d] PID=- VER=0.05 complete corrupt"},
        {"d\r\nPID: 0480\r\nV 1\r\n", L"[d] PID=0480 VER=- complete corrupt"},
        {"d\r\nPI: 0480\r\nVER: 1", L"[d] PID=- VER=- cut corrupt"},
        {"", L" PID=- VER=- cut"},
    };
    const auto path = fs::temp_directory_path() / ("morvane-header-" + std::to_string(getpid()));
    for (const auto& [strFile, strSeen] : cases) {
        std::ofstream(path, std::ios::binary) << strFile;
        CFirmwareFile file;
        ASSERT_TRUE(file.Open(path.wstring()));
        EXPECT_EQ(Describe(ReadHeaderLines(file)), strSeen) << strFile;
    }
    fs::remove(path);
}

class FirmwareUpdate : public AppFixture {
  public:
    FirmwareUpdate() {
        AddPort(1, L"Simulated tq480 gyro");
        Start();
        host.SetFileResponder([this](const std::wstring& strFilter, std::wstring& strPath) {
            EXPECT_EQ(strFilter, L"fwr (*.fwr)|*.fwr||");
            strPath = m_strChosen;
            return !m_strChosen.empty();
        });
        Agree(true);
        host.SetMessageBoxResponder([this](const platform::headless::ShownMessageBox& box) {
            if (onBox)
                onBox(box);
            return (box.nType & MB_TYPEMASK) == MB_YESNO ? nStopAnswer : IDOK;
        });
        EXPECT_TRUE(CUserInput::ChooseTab(*pSheet, pSheet->GetPageCount() - 1));
    }
    void Agree(bool bAgree) {
        // Enter ends the agreement with OK, but without "I Agree".
        host.SetDialogResponder(IDD_SPLASH_FW, [bAgree](CDialog& d) {
            bAgree ? CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)) : CUserInput::PressEnter(d);
        });
    }
    CTQ480FirmwarePage& Page() { return pSheet->m_firmwarePage; }
    CFirmwareUpload& Upload() { return Page().m_upload; }
    CControl& Fw(int nId) { return *Page().GetDlgItem(nId); }
    std::wstring WriteFile(const sim::FirmwareFileRecipe& recipe) {
        lastFile = folder / ("firmware-" + std::to_string(++m_nFiles) + ".fwr");
        std::ofstream out(lastFile, std::ios::binary);
        sim::WriteFirmwareFile(recipe, out);
        return lastFile.wstring();
    }
    void Open(const std::wstring& strPath) {
        m_strChosen = strPath;
        CUserInput::Tap(Fw(IDC_OPEN_FIRMWARE));
    }
    bool Running() { return Upload().m_nUploadState != UPLOAD_IDLE; }
    void SendAndFinish() {
        ASSERT_TRUE(CUserInput::Tap(Fw(IDC_SEND_FIRMWARE)));
        ASSERT_TRUE(
            loop.RunUntil([&] { return !Running() && !Upload().m_bTransferActive; }, 600'000));
    }
    // What every ending leaves behind: the no-file state, nothing held, nothing running.
    void ExpectCleanEnding() {
        EXPECT_FALSE(Upload().m_bTransferActive);
        EXPECT_FALSE(Upload().m_firmwareFile.IsOpen());
        EXPECT_FALSE(line.IsProgramEndOpen());
        for (const unsigned nId : {TIMER_UPLOAD_POLL, TIMER_UPLOAD_STEP, TIMER_UPLOAD_TIMEOUT})
            EXPECT_FALSE(loop.HasTimer(&Page(), nId)) << nId;
        EXPECT_TRUE(Fw(IDC_OPEN_FIRMWARE).IsWindowEnabled());
        EXPECT_FALSE(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled());
        EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).GetWindowText(), L"Send Firmware");
        EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), 0);
        EXPECT_EQ(Fw(IDC_PERCENT).GetWindowText(), L"0.0%");
        EXPECT_EQ(Fw(IDC_TRANSFER_PROGRESS).GetPos(), 0);
    }
    // The loader's verdict on each record it took: "." accepted, "/" refused.
    std::string Verdicts() const {
        std::string strVerdicts;
        for (const sim::LoaderRecord& record : gyro.LoaderRecords())
            strVerdicts += record.bAccepted ? '.' : '/';
        return strVerdicts;
    }

    std::function<void(const platform::headless::ShownMessageBox&)> onBox;
    int nStopAnswer = IDYES;
    fs::path lastFile;

  private:
    std::wstring m_strChosen;
    int m_nFiles = 0;
};

TEST_F(FirmwareUpdate, APilotSendsAFileAndWatchesItsProgress) {
    sim::FirmwareFileRecipe recipe;
    recipe.strDescription = "Tail gyro firmware 1.23 with a smoother stop and more";
    Open(WriteFile(recipe));
    EXPECT_EQ(Fw(IDC_DESCRIPTION).GetLBText(0), L"Tail gyro firmware 1.23 with a smoother");
    EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(), L"1.23");
    ASSERT_TRUE(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled());

    // Without the agreement nothing is sent.
    Agree(false);
    CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
    loop.RunFor(5000);
    EXPECT_EQ(gyro.RequestCount(), 0u);

    Agree(true);
    CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
    ASSERT_TRUE(loop.RunUntil([&] { return gyro.LoaderRecords().size() == 1; }, 5000));
    EXPECT_EQ(Fw(IDC_PERCENT).GetWindowText(), L"0.5%");
    EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).GetWindowText(), L"Stop Sending");
    EXPECT_FALSE(Fw(IDC_OPEN_FIRMWARE).IsWindowEnabled());
    EXPECT_FALSE(CUserInput::ChooseTab(*pSheet, 0));
    EXPECT_FALSE(CUserInput::CloseSheet(*pSheet));

    onBox = [&](const platform::headless::ShownMessageBox& box) {
        EXPECT_EQ(Fw(IDC_TRANSFER_PROGRESS).GetPos(), Fw(IDC_TRANSFER_PROGRESS).GetRangeMax());
        EXPECT_EQ(Fw(IDC_PERCENT).GetWindowText(), L"100.0%");
        EXPECT_EQ(box.strCaption, L"Attention");
        EXPECT_EQ(box.nType, MB_OK | MB_ICONEXCLAMATION);
    };
    ASSERT_TRUE(loop.RunUntil([&] { return !Running(); }, 60'000));
    EXPECT_THAT(host.DialogsShown(), ElementsAre(IDD_SPLASH_FW, IDD_SPLASH_FW));
    EXPECT_THAT(BoxTexts(), ElementsAre(COMPLETED));
    EXPECT_EQ(Verdicts(), std::string(200, '.'));
    EXPECT_EQ(gyro.Word(sim::ADDR_FIRMWARE_VERSION), 0x0117);  // the new firmware runs
    ExpectCleanEnding();
}

// A cancelled dialog leaves the page without a file; the files it refuses are the opening
// table's, the uploads' endings the fault matrix's.
TEST_F(FirmwareUpdate, ACancelledDialogLeavesThePageWithoutAFile) {
    Open(WriteFile({}));
    Open(L"");
    EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), 0);
    EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(), L"");
    EXPECT_FALSE(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled());
}

// Stop Sending asks, and stops only at a record boundary: record 10's answer is awaited and
// nothing follows it.
TEST_F(FirmwareUpdate, StopSendingAsksAndStopsOnlyAtARecordBoundary) {
    for (const int nAnswer : {IDNO, IDYES}) {
        host.ClearMessageBoxes();
        nStopAnswer = nAnswer;
        Open(WriteFile({}));
        CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
        ASSERT_TRUE(loop.RunUntil([&] { return gyro.LoaderRecords().size() == 10; }, 10'000));
        SendAndFinish();  // the button now reads "Stop Sending"
        EXPECT_THAT(BoxTexts(), ElementsAre(L"Are you sure you want to stop sending?",
                                            nAnswer == IDYES ? ABORTED : COMPLETED));
        EXPECT_EQ(host.MessageBoxes()[0].nType, MB_YESNO | MB_ICONSTOP);
        EXPECT_EQ(Verdicts(), std::string(nAnswer == IDYES ? 10 : 200, '.'));
        ExpectCleanEnding();
    }
}

// The upload goes on under the stop question and may end there: its ending message shows on
// top, and the late Yes stops nothing afterwards, the next upload runs to its end.
TEST_F(FirmwareUpdate, AnUploadThatEndsUnderTheStopQuestionLeavesTheNextOneAlone) {
    onBox = [&](const platform::headless::ShownMessageBox& box) {
        if ((box.nType & MB_TYPEMASK) == MB_YESNO) {
            EXPECT_TRUE(loop.RunUntil([&] { return !Running(); }, 600'000));
        }
    };
    Open(WriteFile({}));
    CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
    ASSERT_TRUE(loop.RunUntil([&] { return gyro.LoaderRecords().size() == 10; }, 10'000));
    SendAndFinish();
    EXPECT_THAT(BoxTexts(), ElementsAre(COMPLETED, L"Are you sure you want to stop sending?"));
    ExpectCleanEnding();
    onBox = nullptr;
    Open(WriteFile({}));
    SendAndFinish();
    EXPECT_EQ(BoxTexts().back(), COMPLETED);
    EXPECT_EQ(Verdicts(), std::string(200, '.'));
}

TEST_F(FirmwareUpdate, OpeningRefusesAFileThatCannotBeSentWhole) {
    const std::string strHeader = "d\r\nPID: 0480\r\nVER: 123\r\n", strRecord(20, '0');
    AnswerBoxesAfter(0);
    int nFile = 0;
    const auto Write = [&](const std::string& strContent) {
        const fs::path path = folder / ("raw-" + std::to_string(++nFile) + ".fwr");
        std::ofstream(path, std::ios::binary) << strContent;
        return path;
    };
    mkfifo((folder / "fifo.fwr").c_str(), 0600);
    fs::create_directory(folder / "folder.fwr");
    // 1 GB, sparse: zeros after a header, and zeros with no line end at all.
    const fs::path hugeAfterHeader = Write(strHeader), hugeBare = Write("");
    for (const fs::path& huge : {hugeAfterHeader, hugeBare})
        fs::resize_file(huge, uintmax_t{1} << 30);
    const wchar_t ACCESS[] = L"Unable to access the selected firmware file";
    const std::pair<fs::path, const wchar_t*> cases[] = {
        {Write(strHeader + strRecord + "\r\n" + strRecord.substr(1) + "\r\n"), CORRUPT},
        {Write(strHeader + strRecord + "0\r\n"), CORRUPT},
        {Write(strHeader + strRecord.substr(10) + "\t" + strRecord.substr(11) + "\r\n"), CORRUPT},
        {Write(strHeader + strRecord + "\n"), CORRUPT},
        {Write(strHeader + strRecord + "\r\n" + strRecord + "\r"), CORRUPT},  // last line cut
        {Write(strHeader + "0000"), CORRUPT},                                 // short of a record
        {Write(strHeader), nullptr},                                          // no records
        {Write("<html>\r\n<head><title>Firmware</title></head>\r\n<body></body>\r\n"), CORRUPT},
        {hugeAfterHeader, CORRUPT},
        {hugeBare, CORRUPT},
        {folder / "gone.fwr", ACCESS},
        {folder / "fifo.fwr", ACCESS},
        {"/dev/zero", ACCESS},
        {folder / "folder.fwr", ACCESS},
    };
    for (const auto& [path, pBox] : cases) {
        SCOPED_TRACE(path);
        host.ClearMessageBoxes();
        Open(path.wstring());
        EXPECT_EQ(BoxTexts(), pBox ? std::vector<std::wstring>{pBox} : std::vector<std::wstring>{});
        // Refused: the page without a file. Accepted: its description, ready to send.
        EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled(), pBox == nullptr);
        EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), pBox ? 0 : 1);
    }
}

TEST_F(FirmwareUpdate, FlashSendsTheFileThroughTheFirmwarePage) {
    pSheet->Destroy();  // the command line builds its own sheet
    pSheet.reset();
    const std::string strFile = fs::path(WriteFile({})).string();
    std::string strPercents;
    for (int i = 1; i <= 100; ++i)
        strPercents += std::to_string(i) + ".0%\n";
    const struct {
        std::vector<std::string> args;
        uint32_t nRefuse;
        int nExit;
        std::string strErr;
        size_t nRecords;  // taken by the loader (whose check refuses one out of order or
                          // changed), the last refused when nRefuse is set
    } cases[] = {
        {{"flash", "COM1", strFile},
         0,
         2,
         "flash replaces the gyro's firmware: land the helicopter, idle the engine, stop the "
         "rotor, then add --agree to confirm\n",
         0},
        {{"flash", "COM1", strFile + ".gone", "--agree"},
         0,
         2,
         "Unable to access the selected firmware file\n",
         0},
        {{"flash", "COM1", strFile, "--agree"},
         0,
         0,
         strPercents + platform::Utf8FromWide(UPLOAD_COMPLETED) + "\n",
         200},
        {{"flash", "COM1:", strFile, "--agree"},
         3,
         1,
         "1.0%\nThe tq480 reported a corrupt program was sent. Reset the tq480 and try again.\n",
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        gyro.ResetCounters();
        gyro.SetRefuseRecord(c.nRefuse);
        std::ostringstream out, err;
        EXPECT_EQ(RunGyroCli(c.args, host, out, err), c.nExit);
        EXPECT_EQ(err.str(), c.strErr);
        EXPECT_EQ(gyro.RequestCount(), c.nRecords ? 2 + c.nRecords : 0);
    }
}

}  // namespace
