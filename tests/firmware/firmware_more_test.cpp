// Firmware update on the real sheet with the software gyro, in virtual time: files refused
// when they are opened, uploads that end as the file and the line allow, and the command
// line's flash through the same page.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "app/gyro_cli.h"
#include "platform/text.h"
#include "shell/splash.h"
#include "sim/fwr_file.h"
#include "tests/pages/app_fixture.h"

namespace {

using namespace platform::ui;
namespace fs = std::filesystem;

const wchar_t CORRUPT[] = L"Corrupt firmware file found, download firmware again.";
const wchar_t UNABLE[] =
    L"Unable to communicate with the gyro.\n\nEnsure that you are in range of the WaveTether and "
    L"the power to the gyro and WaveTether is good.";

class FirmwareMore : public AppFixture {
  public:
    FirmwareMore() {
        AddPort(1, L"Simulated tq480 gyro");
        host.SetFileResponder([this](const std::wstring&, std::wstring& strPath) {
            strPath = chosen.wstring();
            return true;
        });
        host.SetDialogResponder(IDD_SPLASH_FW,
                                [](CDialog& d) { CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)); });
        AnswerBoxesAfter(0);
    }
    // Writes a file under a new name, which the file dialog then gives.
    fs::path Write(const std::string& strContent) {
        chosen = folder / ("firmware-" + std::to_string(++m_nFiles) + ".fwr");
        std::ofstream(chosen, std::ios::binary) << strContent;
        return chosen;
    }
    static std::string Fwr(uint32_t nRecords, uint32_t nShortRecord = 0) {
        std::ostringstream out;
        sim::WriteFirmwareFile({.nRecords = nRecords, .nShortRecord = nShortRecord}, out);
        return out.str();
    }
    void StartAndOpen(const fs::path& path) {
        if (!pSheet) {
            Start();
            EXPECT_TRUE(CUserInput::ChooseTab(*pSheet, pSheet->GetPageCount() - 1));
        }
        chosen = path;
        CUserInput::Tap(Fw(IDC_OPEN_FIRMWARE));
    }
    CControl& Fw(int nId) { return *pSheet->m_firmwarePage.GetDlgItem(nId); }

    fs::path chosen;

  private:
    int m_nFiles = 0;
};

TEST_F(FirmwareMore, OpeningRefusesAFileThatCannotBeSentWhole) {
    const std::string strHeader = "d\r\nPID: 0480\r\nVER: 123\r\n", strRecord(20, '0');
    mkfifo((folder / "fifo.fwr").c_str(), 0600);
    fs::create_directory(folder / "folder.fwr");
    const wchar_t ACCESS[] = L"Unable to access the selected firmware file";
    const std::pair<fs::path, const wchar_t*> cases[] = {
        {Write(strHeader + strRecord + "\r\n" + strRecord.substr(1) + "\r\n"), CORRUPT},
        {Write(strHeader + strRecord + "0\r\n"), CORRUPT},
        {Write(strHeader + strRecord.substr(10) + "\t" + strRecord.substr(11) + "\r\n"), CORRUPT},
        {Write(strHeader + strRecord + "\n"), CORRUPT},
        {Write(strHeader + strRecord + "\r\n" + strRecord + "\r"), CORRUPT},  // last line cut
        {Write(strHeader + "0000"), CORRUPT},                                 // short of a record
        {Write(strHeader), nullptr},                                          // no records
        {folder / "fifo.fwr", ACCESS},
        {"/dev/zero", ACCESS},
        {folder / "folder.fwr", ACCESS},
    };
    for (const auto& [path, pBox] : cases) {
        SCOPED_TRACE(path);
        host.ClearMessageBoxes();
        StartAndOpen(path);
        EXPECT_EQ(BoxTexts(), pBox ? std::vector<std::wstring>{pBox} : std::vector<std::wstring>{});
        // Refused: the page without a file. Accepted: its description, ready to send.
        EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled(), pBox == nullptr);
        EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), pBox ? 0 : 1);
    }
}

struct UploadCase {
    const char* pName;
    uint32_t nRecords;
    std::function<void(FirmwareMore&)> beforeSend, afterSend;
    std::wstring strBox;
    uint32_t nAccepted;  // records the loader took and accepted
    int64_t nBoxAtMs;    // after the agreement; -1 for any time
};

class Uploads : public FirmwareMore, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(Uploads, EndAsTheFileAndTheLineAllow) {
    const UploadCase& c = GetParam();
    StartAndOpen(Write(Fwr(c.nRecords)));
    if (c.beforeSend)
        c.beforeSend(*this);
    const int64_t nAgreedMs = loop.NowMs();
    CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
    if (c.afterSend)
        c.afterSend(*this);
    const CFirmwareUpload& upload = pSheet->m_firmwarePage.m_upload;
    loop.RunUntil([&] { return upload.m_nUploadState == UPLOAD_IDLE && !upload.m_bTransferActive; },
                  600'000);
    ASSERT_EQ(BoxTexts(), std::vector<std::wstring>{c.strBox});
    std::string strVerdicts;  // the loader's on each record: "." accepted, "/" refused
    for (const sim::LoaderRecord& record : gyro.LoaderRecords())
        strVerdicts += record.bAccepted ? '.' : '/';
    EXPECT_EQ(strVerdicts, std::string(c.nAccepted, '.'));
    EXPECT_EQ(gyro.RequestCount(), 2 + c.nAccepted);  // the start commands, then the records
    if (c.nBoxAtMs >= 0) {
        EXPECT_EQ(host.MessageBoxes()[0].nAtMs - nAgreedMs, c.nBoxAtMs);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, Uploads,
    ::testing::Values(
        // Changed since it was opened: checked again before the first record.
        UploadCase{"record_spoiled_after_opening",
                   8,
                   [](FirmwareMore& t) {
                       std::ofstream(t.chosen, std::ios::binary) << FirmwareMore::Fwr(8, 1);
                   },
                   {},
                   CORRUPT,
                   0,
                   -1},
        // Cut by one whole record during the upload: one record short is no success.
        UploadCase{"file_cut_by_a_whole_record",
                   400,
                   [](FirmwareMore& t) {
                       t.gyro.SetLoaderObserver([&t](const auto& records) {
                           if (records.size() == 2)
                               fs::resize_file(t.chosen, fs::file_size(t.chosen) - 22);
                       });
                   },
                   {},
                   CORRUPT,
                   399,
                   -1},
        // 64 bytes let go, 10 ms apart, after the first 500 ms; then the start commands, and
        // the identity answer's time-out ends it.
        UploadCase{"line_keeps_sending",
                   8,
                   [](FirmwareMore& t) {
                       t.gyro.SetSilentAfter(0);
                       t.gyro.SetChatter("$GPGSV,3,1,11*4E\r\n");
                   },
                   {},
                   UNABLE,
                   0,
                   100 + 500 + 64 * 10 + 500 + 3000 + 500},
        // A second agreement before the first step neither restarts nor delays the upload.
        UploadCase{"second_tap_before_the_first_step", 8,
                   [](FirmwareMore& t) { t.gyro.SetSilentAfter(0); },
                   [](FirmwareMore& t) {
                       t.loop.RunFor(50);
                       CUserInput::Tap(t.Fw(IDC_SEND_FIRMWARE));
                   },
                   UNABLE, 0, 100 + 500 + 500 + 3000 + 500}),
    [](const auto& info) { return std::string(info.param.pName); });

TEST_F(FirmwareMore, FlashSendsTheFileThroughTheFirmwarePage) {
    const std::string strFile = Write(Fwr(200));
    std::string strPercents;
    for (int i = 1; i <= 100; ++i)
        strPercents += std::to_string(i) + ".0%\n";
    const struct {
        std::vector<std::string> args;
        uint32_t nRefuse;
        int nExit;
        std::string strErr;
        size_t nRecords;  // taken by the loader, the last refused when nRefuse is set
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
        std::istringstream in;
        std::ostringstream out, err;
        EXPECT_EQ(RunGyroCli(c.args, host, in, out, err), c.nExit);
        EXPECT_EQ(err.str(), c.strErr);
        EXPECT_EQ(gyro.RequestCount(), c.nRecords ? 2 + c.nRecords : 0);
        // The loader took the file's records in order, and none after a refused one.
        std::istringstream fwr(Fwr(200));
        std::string strLine;
        for (int i = 0; i < 3; ++i)
            std::getline(fwr, strLine);
        for (size_t i = 0; i < c.nRecords && std::getline(fwr, strLine); ++i)
            EXPECT_EQ(
                gyro.LoaderRecords().at(i),
                (sim::LoaderRecord{strLine.substr(0, 20), i + 1 != c.nRecords || !c.nRefuse}));
    }
}

}  // namespace
