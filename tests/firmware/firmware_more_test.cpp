// Firmware update on the real sheet with the software gyro, in virtual time: files refused
// when they are opened, and the command line's flash through the same page. The uploads'
// endings are the fault matrix's.
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
    static std::string Fwr(uint32_t nRecords) {
        std::ostringstream out;
        sim::WriteFirmwareFile({.nRecords = nRecords}, out);
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
        std::ostringstream out, err;
        EXPECT_EQ(RunGyroCli(c.args, host, out, err), c.nExit);
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
