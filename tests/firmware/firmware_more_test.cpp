// Firmware update on the real sheet with the software gyro, in virtual time: files refused
// when they are opened, uploads that end as the file and the line allow, and the command
// line's flash through the same page.
#include <gmock/gmock.h>
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
    static std::string Fwr(const sim::FirmwareFileSpec& spec) {
        std::ostringstream out;
        sim::WriteFirmwareFile(spec, out);
        return out.str();
    }
    void Open(const fs::path& path) {
        chosen = path;
        CUserInput::Tap(Fw(IDC_OPEN_FIRMWARE));
    }
    void StartOnFirmwarePage() {
        Start();
        EXPECT_TRUE(CUserInput::ChooseTab(*pSheet, pSheet->GetPageCount() - 1));
    }
    CControl& Fw(int nId) { return *pSheet->m_firmwarePage.GetDlgItem(nId); }
    CFirmwareUpload& Upload() { return pSheet->m_firmwarePage.m_upload; }

    fs::path chosen;

  private:
    int m_nFiles = 0;
};

TEST_F(FirmwareMore, OpeningRefusesAFileThatCannotBeSentWhole) {
    const std::string strHeader = "d\r\nPID: 0480\r\nVER: 123\r\n", strRecord(20, '0');
    sim::FirmwareFileSpec shortRecord, cutLine;
    shortRecord.nShortRecord = 3;
    cutLine.bCutLastLine = true;
    mkfifo((folder / "fifo.fwr").c_str(), 0600);
    fs::create_directory(folder / "folder.fwr");
    const wchar_t ACCESS[] = L"Unable to access the selected firmware file";
    const struct {
        fs::path path;
        const wchar_t* pBox;  // null: accepted
    } cases[] = {
        {Write(Fwr(shortRecord)), CORRUPT},
        {Write(Fwr(cutLine)), CORRUPT},
        {Write(strHeader + "0000"), CORRUPT},
        {Write(strHeader + strRecord + "\r\n" + "0000000000\t000000000\r\n"), CORRUPT},
        {Write(strHeader + strRecord + "\n"), CORRUPT},
        {Write(strHeader + strRecord + "0\r\n"), CORRUPT},
        {Write(strHeader), nullptr},
        {folder / "fifo.fwr", ACCESS},
        {"/dev/zero", ACCESS},
        {folder / "folder.fwr", ACCESS},
    };
    StartOnFirmwarePage();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        host.ClearMessageBoxes();
        Open(c.path);
        EXPECT_EQ(BoxTexts(),
                  c.pBox ? std::vector<std::wstring>{c.pBox} : std::vector<std::wstring>{});
        // A refused file leaves the page without a file; an accepted one may be sent.
        EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled(), c.pBox == nullptr);
        EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(), c.pBox ? L"" : L"1.23");
        EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), c.pBox ? 0 : 1);
    }
}

struct UploadCase {
    const char* pName;
    uint32_t nRecords;
    std::function<void(FirmwareMore&)> beforeSend, afterSend;
    std::vector<std::wstring> boxes;
    std::string strVerdicts;  // the loader's on each record: "." accepted, "/" refused
    uint32_t nRequests;       // start commands and records the gyro heard
    int64_t nBoxAtMs;         // the last box, after the agreement; -1 for any time
};

class Uploads : public FirmwareMore, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(Uploads, EndAsTheFileAndTheLineAllow) {
    const UploadCase& c = GetParam();
    sim::FirmwareFileSpec spec;
    spec.nRecords = c.nRecords;
    StartOnFirmwarePage();
    Open(Write(Fwr(spec)));
    if (c.beforeSend)
        c.beforeSend(*this);
    const int64_t nAgreedMs = loop.NowMs();
    ASSERT_TRUE(CUserInput::Tap(Fw(IDC_SEND_FIRMWARE)));
    if (c.afterSend)
        c.afterSend(*this);
    ASSERT_TRUE(loop.RunUntil(
        [&] { return Upload().m_nUploadState == UPLOAD_IDLE && !Upload().m_bTransferActive; },
        600'000));
    EXPECT_EQ(BoxTexts(), c.boxes);
    std::string strVerdicts;
    for (const sim::LoaderRecord& record : gyro.LoaderRecords())
        strVerdicts += record.bAccepted ? '.' : '/';
    EXPECT_EQ(strVerdicts, c.strVerdicts);
    EXPECT_EQ(gyro.RequestCount(), c.nRequests);
    if (c.nBoxAtMs >= 0 && !host.MessageBoxes().empty()) {
        EXPECT_EQ(host.MessageBoxes().back().nAtMs - nAgreedMs, c.nBoxAtMs);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, Uploads,
    ::testing::Values(
        UploadCase{"no_records", 0, {}, {}, {UPLOAD_COMPLETED}, "", 2, -1},
        // The file changed since it was opened: checked again before the first record.
        UploadCase{"record_spoiled_after_opening",
                   8,
                   [](FirmwareMore& t) {
                       sim::FirmwareFileSpec spoiled;
                       spoiled.nShortRecord = 1;
                       std::ofstream(t.chosen, std::ios::binary) << FirmwareMore::Fwr(spoiled);
                   },
                   {},
                   {CORRUPT},
                   "",
                   2,
                   -1},
        // Cut by one whole record during the upload: one record short is not a success.
        UploadCase{"file_cut_by_a_whole_record",
                   400,
                   [](FirmwareMore& t) {
                       t.gyro.SetLoaderObserver([&t](const auto& records) {
                           if (records.size() == 2)
                               fs::resize_file(t.chosen, fs::file_size(t.chosen) - 22);
                       });
                   },
                   {},
                   {CORRUPT},
                   std::string(399, '.'),
                   2 + 399,
                   -1},
        // 64 bytes let go, 10 ms apart, after the first 500 ms; then the start commands, and
        // the identity answer's 3000 ms time-out ends it.
        UploadCase{"line_keeps_sending",
                   8,
                   [](FirmwareMore& t) {
                       t.gyro.SetSilentAfter(0);
                       t.gyro.SetChatter("$GPGSV,3,1,11*4E\r\n");
                   },
                   {},
                   {UNABLE},
                   "",
                   2,
                   100 + 500 + 64 * 10 + 500 + 3000 + 500},
        // A second agreement before the first step neither restarts nor delays the upload.
        UploadCase{"second_tap_before_the_first_step",
                   8,
                   [](FirmwareMore& t) { t.gyro.SetSilentAfter(0); },
                   [](FirmwareMore& t) {
                       t.loop.RunFor(50);
                       CUserInput::Tap(t.Fw(IDC_SEND_FIRMWARE));
                   },
                   {UNABLE},
                   "",
                   2,
                   100 + 500 + 500 + 3000 + 500}),
    [](const auto& info) { return std::string(info.param.pName); });

TEST_F(FirmwareMore, FlashSendsTheFileThroughTheFirmwarePage) {
    const fs::path file = Write(Fwr({}));  // 200 records
    std::vector<std::string> records;
    std::ifstream in(file);
    for (std::string strLine; std::getline(in, strLine);)
        records.push_back(strLine.substr(0, 20));
    records.erase(records.begin(), records.begin() + 3);
    std::string strPercents;
    for (int i = 1; i <= 100; ++i)
        strPercents += std::to_string(i) + ".0%\n";
    const std::string strRefused =
        "The tq480 reported a corrupt program was sent. Reset the tq480 and try again.\n";
    const struct {
        std::vector<std::string> args;
        uint32_t nRefuse;
        int nExit;
        std::string strErr;
        size_t nRecords;  // taken by the loader, the last refused when nRefuse is set
    } cases[] = {
        {{"flash", "COM1", file},
         0,
         2,
         "flash replaces the gyro's firmware: land the helicopter, idle the engine, stop the "
         "rotor, then add --agree to confirm\n",
         0},
        {{"flash", "COM1", folder / "absent.fwr", "--agree"},
         0,
         2,
         "Unable to access the selected firmware file\n",
         0},
        {{"flash", "COM1", file, "--agree"},
         0,
         0,
         strPercents + platform::Utf8FromWide(UPLOAD_COMPLETED) + "\n",
         200},
        {{"flash", "COM1:", file, "--agree"}, 3, 1, "1.0%\n" + strRefused, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        gyro.ResetCounters();
        gyro.SetRefuseRecord(c.nRefuse);
        std::ostringstream out, err;
        EXPECT_EQ(RunGyroCli(c.args, host, out, err), c.nExit);
        EXPECT_EQ(err.str(), c.strErr);
        if (c.nRecords == 0) {
            EXPECT_EQ(gyro.RequestCount(), 0u);
            continue;
        }
        // The loader took the file's records in order, and none after a refused one.
        const auto& taken = gyro.LoaderRecords();
        ASSERT_EQ(taken.size(), c.nRecords);
        for (size_t i = 0; i < taken.size(); ++i)
            EXPECT_EQ(taken[i], (sim::LoaderRecord{records[i], i + 1 != c.nRecords || !c.nRefuse}));
    }
}

}  // namespace
