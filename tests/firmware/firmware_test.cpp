// Firmware update end to end: a pilot opens a file on the Firmware Update page, agrees and
// sends it; the software gyro's loader answers over the in-memory line, in virtual time.
#include <gmock/gmock.h>

#include "firmware/firmware_page.h"
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
const wchar_t ABORTED[] =
    L"Programming aborted by user.\n\nDo not attempt to fly the gyro until a firmware update has "
    L"been sucessfully completed.";
const wchar_t UNABLE[] =
    L"Unable to communicate with the gyro.\n\nEnsure that you are in range of the WaveTether and "
    L"the power to the gyro and WaveTether is good.";
const wchar_t CORRUPT[] = L"Corrupt firmware file found, download firmware again.";
const wchar_t REFUSED[] =
    L"The tq480 reported a corrupt program was sent. Reset the tq480 and try again.";

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
    std::unique_ptr<platform::SerialDevice> pHolder;  // another program's hold on the port
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

TEST_F(FirmwareUpdate, OpeningAFileShowsWhatItHoldsOrSaysWhatIsWrong) {
    sim::FirmwareFileRecipe recipe;
    Open(WriteFile(recipe));
    Open(L"");  // the dialog cancelled
    EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), 0);
    EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(), L"");
    EXPECT_FALSE(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled());

    Open((folder / "gone.fwr").wstring());
    recipe.bNoProductKey = true;
    Open(WriteFile(recipe));
    EXPECT_THAT(BoxTexts(), ElementsAre(L"Unable to access the selected firmware file", CORRUPT));
    EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), 0);
    EXPECT_FALSE(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled());
    // A file that ends inside its header lines is accepted here and refused by the upload.
    std::ofstream(folder / "cut.fwr", std::ios::binary) << "d\r\nPID: 0480\r\nVER: 1";
    Open((folder / "cut.fwr").wstring());
    EXPECT_TRUE(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled());
    SendAndFinish();
    EXPECT_EQ(BoxTexts().back(), CORRUPT);
    EXPECT_EQ(gyro.RequestCount(), 2u);  // the start commands and no record
}

// Every way an upload ends, with what the pilot sees and the loader's verdict on each record
// it took.
struct EndingCase {
    const char* pName;
    std::vector<std::wstring> messages;
    std::string strVerdicts;
    std::function<void(FirmwareUpdate&, sim::FirmwareFileRecipe&)> arrange;
};

EndingCase Ending(const char* pName, std::vector<std::wstring> messages, std::string strVerdicts,
                  std::function<void(FirmwareUpdate&, sim::FirmwareFileRecipe&)> arrange) {
    return {pName, std::move(messages), std::move(strVerdicts), std::move(arrange)};
}

class UploadEndings : public FirmwareUpdate, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(UploadEndings, EndWithTheirMessageAndLeaveNothingBehind) {
    sim::FirmwareFileRecipe recipe;
    recipe.nRecords = 8;
    GetParam().arrange(*this, recipe);
    Open(WriteFile(recipe));
    SendAndFinish();
    EXPECT_EQ(BoxTexts(), GetParam().messages);
    EXPECT_EQ(Verdicts(), GetParam().strVerdicts);
    ExpectCleanEnding();
}

INSTANTIATE_TEST_SUITE_P(
    Endings, UploadEndings,
    ::testing::Values(
        Ending("no_records", {COMPLETED}, "", [](auto&, auto& s) { s.nRecords = 0; }),
        Ending("record_refused_on_demand", {REFUSED}, "../",
               [](auto& t, auto&) { t.gyro.SetRefuseRecord(3); }),
        Ending("record_failing_the_loaders_check", {REFUSED}, "..../",
               [](auto&, auto& s) { s.nBadRecord = 5; }),
        Ending("loader_falls_silent", {UNABLE}, "...",
               [](auto& t, auto&) { t.gyro.SetSilentAfter(2 + 3); }),
        Ending("cable_pulled_mid_upload", {UNABLE}, "....",
               [](auto& t, auto&) { t.gyro.SetDisconnectAfter(2 + 4); }),
        Ending("unknown_product",
               {L"Unknown device with Product ID 0a5c.\n\nThis program is not designed to "
                L"interface with your product."},
               "", [](auto& t, auto&) { t.gyro.SetProductId(0x0A5C); }),
        Ending("file_for_another_product",
               {L"The selected firmware is not suitable for your tq390"}, "",
               [](auto& t, auto&) { t.gyro.SetProductId(0x0390); }),
        Ending("start_command_not_written",
               {L"Problem with COM1: Input/output error.", L"Cannot communicate with the gyro"}, "",
               [](auto& t, auto&) { t.line.FailNext("Write", EIO); }),
        Ending("record_not_written",
               {L"Problem with COM1: Input/output error.",
                L"Communications Error, unable to send data to gyro.\n\nPlease try again."},
               "..",
               [](FirmwareUpdate& t, auto&) {
                   t.gyro.SetLoaderObserver([&t](const auto& records) {
                       if (records.size() == 2)
                           t.line.FailNext("Write", EIO);
                   });
               }),
        Ending("port_busy", {L"Cannot open COM1: Device or resource busy"}, "",
               [](FirmwareUpdate& t, auto&) {
                   t.pHolder = t.line.OpenProgramEnd();
                   t.onBox = [&t](const auto&) { t.pHolder.reset(); };
               }),
        Ending("port_above_eight", {L"Cannot open COM9: Error Code -1"}, "",
               [](auto& t, auto&) { t.Upload().m_nComPort = 9; }),
        // A file cut short after the check is refused where the cut is met, not reported sent.
        Ending("file_cut_during_upload", {CORRUPT}, std::string(399, '.'),
               [](FirmwareUpdate& t, auto& s) {
                   s.nRecords = 400;
                   t.gyro.SetLoaderObserver([&t](const auto& records) {
                       if (records.size() == 2)
                           fs::resize_file(t.lastFile, fs::file_size(t.lastFile) - 11);
                   });
               })),
    [](const auto& info) { return std::string(info.param.pName); });

TEST_F(FirmwareUpdate, ASilentLoaderIsGivenUpAfterTheWaitsAndThreeSeconds) {
    gyro.SetSilentAfter(0);
    Open(WriteFile({}));
    CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
    const int64_t nAgreedMs = loop.NowMs();
    ASSERT_TRUE(loop.RunUntil([&] { return !Running(); }, 10'000));
    ASSERT_THAT(BoxTexts(), ElementsAre(UNABLE));
    // 100 ms to the first step, 500 ms of quiet line, 500 ms between the start commands,
    // 3000 ms for the answer, 500 ms before the port closes.
    EXPECT_EQ(host.MessageBoxes()[0].nAtMs - nAgreedMs, 100 + 500 + 500 + 3000 + 500);
    EXPECT_EQ(gyro.RequestCount(), 2u);
}

TEST_F(FirmwareUpdate, FileGoneSinceItWasOpenedIsNamedInTheVersionBox) {
    Open(WriteFile({}));
    fs::remove(lastFile);
    SendAndFinish();
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(),
              L"Cannot find selected firmware file.  Locate and try again.");
    EXPECT_TRUE(gyro.LoaderRecords().empty());
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

// A 0x00 byte inside the identity answer loses the rest of that poll, so that upload fails;
// what it left does not spoil the next one.
TEST_F(FirmwareUpdate, AnAnswerCutShortDoesNotSpoilTheNextUpload) {
    gyro.SetZeroByte(sim::GyroFaultTarget::Nth(2), 40);
    Open(WriteFile({}));
    SendAndFinish();
    gyro.ClearFaults();
    Open(WriteFile({}));
    SendAndFinish();
    EXPECT_THAT(BoxTexts(), ElementsAre(UNABLE, COMPLETED));
}

}  // namespace
