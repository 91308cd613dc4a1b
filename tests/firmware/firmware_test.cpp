// Firmware update end to end, in virtual time: a pilot opens a file, agrees and sends it; files
// refused when opened; the command line's flash through the same page. The uploads' endings
// are the fault matrix's.
#include <sys/stat.h>

#include <sstream>

#include "app/gyro_cli.h"
#include "platform/text.h"
#include "tests/pages/app_fixture.h"

namespace {

using namespace platform::ui;
namespace fs = std::filesystem;

// A header as read: rows, product ID, version, whether line 3 ended and a key was missing.
std::wstring Describe(const FirmwareHeader& h) {
    std::wstring strText;
    for (const std::wstring& strRow : h.rows)
        strText += L"[" + strRow + L"]";
    return strText + L" PID=" + h.strProductId.value_or(L"-") + L" VER=" +
           h.strVersion.value_or(L"-") + (h.bComplete ? L" complete" : L" cut") +
           (h.bCorrupt ? L" corrupt" : L"");
}

TEST(HeaderLines, GiveRowsProductIdAndVersion) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"desc\nPID: 0480\nVER:123\n", L"[des] PID= 048 VER=0.23 complete"},  // LF alone
        {"\r\nPID: 0390\r\nVER: abc\r\n", L"[] PID=0390 VER=0.00 complete"},
        // The number is looked for in the version line only, not in what line 2 left.
        {"d\r\nPID: 0480\r\nVER:\r\n", L"[d] PID=0480 VER=0.00 complete"},
        {"d\r\npid: 0480\r\nVER: 5\r\n", L"[d] PID=- VER=0.05 complete corrupt"},
        {"d\r\nPID: 0480\r\nV 1\r\n", L"[d] PID=0480 VER=- complete corrupt"},
        {"d\r\nPI: 0480\r\nVER: 1", L"[d] PID=- VER=- cut corrupt"},
        {"", L" PID=- VER=- cut corrupt"},
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

// The loader's reply from its first "."; five characters more go when another "." follows.
TEST(LoaderReply, IsTrimmedFromItsFirstDot) {
    const std::pair<std::wstring, std::wstring> REPLIES[] = {
        {L"ab", L"ab"}, {L"x.abcd.", L".abcd."}, {L".abcd.e", L".e"}, {L".abcdef", L".abcdef"}};
    for (auto [strReply, strTrimmed] : REPLIES) {
        TrimLoaderReply(strReply);
        EXPECT_EQ(strReply, strTrimmed);
    }
}

class FirmwareUpdate : public SheetFixture {
  public:
    FirmwareUpdate() { EXPECT_TRUE(CUserInput::ChooseTab(*pSheet, pSheet->GetPageCount() - 1)); }
};

// A pilot who does not agree sends nothing. One who agrees watches the file go, with the tabs
// and the sheet held; Stop Sending asks, and stops only at a record boundary: record 10's
// answer is awaited and nothing follows it. An upload that ends under the question shows its
// message on top, and the late Yes stops nothing: the next upload stops only when asked.
TEST_F(FirmwareUpdate, APilotSendsAFileWatchesItGoAndMayStopIt) {
    const wchar_t QUESTION[] = L"Are you sure you want to stop sending?";
    const struct {
        bool bEndsUnder;
        int nAnswer;
        Texts boxes;
        size_t nRecords;
    } cases[] = {{true, IDYES, {COMPLETED, QUESTION}, 200},
                 {false, IDYES, {QUESTION, ABORTED}, 10},
                 {false, IDNO, {QUESTION, COMPLETED}, 200}};
    sim::FirmwareFileRecipe recipe;
    recipe.strDescription = "Tail gyro firmware 1.23 with a smoother stop and more";
    bAgree = false;
    Open(WriteFile(recipe));
    CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
    loop.RunFor(5000);
    EXPECT_EQ(gyro.RequestCount(), 0u);
    bAgree = true;
    int64_t nTapMs = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        host.ClearMessageBoxes();
        gyro.ResetCounters();
        nStopAnswer = c.nAnswer;
        onBox = [&](const platform::headless::ShownMessageBox& box) {
            if ((box.nType & MB_TYPEMASK) == MB_YESNO && c.bEndsUnder) {
                EXPECT_TRUE(loop.RunUntil([&] { return Over(); }, 600'000));
            } else if (box.strText == COMPLETED) {
                // The waits before the first record, then 30 ms a record (it goes out 10 ms
                // after the poll that found the last ".", and its 22 bytes and the answer take
                // 12 ms, so the next 15 ms poll misses the "." and the one after finds it), then
                // the ending's waits.
                EXPECT_EQ(box.nAtMs - nTapMs, 7680);
                EXPECT_EQ(Fw(IDC_TRANSFER_PROGRESS).GetPos(),
                          Fw(IDC_TRANSFER_PROGRESS).GetRangeMax());
                EXPECT_EQ(Fw(IDC_PERCENT).GetWindowText(), L"100.0%");
            }
        };
        Open(WriteFile(recipe));
        EXPECT_EQ(Fw(IDC_DESCRIPTION).GetLBText(0), L"Tail gyro firmware 1.23 with a smoother");
        EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(), L"1.23");
        nTapMs = loop.NowMs();
        CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
        ASSERT_TRUE(loop.RunUntil([&] { return gyro.LoaderRecords().size() == 10; }, 10'000));
        EXPECT_EQ(Fw(IDC_PERCENT).GetWindowText(), L"5.0%");
        EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).GetWindowText(), L"Stop Sending");
        EXPECT_FALSE(Fw(IDC_OPEN_FIRMWARE).IsWindowEnabled());
        EXPECT_FALSE(CUserInput::ChooseTab(*pSheet, 0));
        EXPECT_FALSE(CUserInput::CloseSheet(*pSheet));
        CUserInput::Tap(Fw(IDC_SEND_FIRMWARE));
        ASSERT_TRUE(loop.RunUntil([&] { return Over(); }, 600'000));
        ASSERT_EQ(BoxTexts(), c.boxes);
        EXPECT_EQ(host.MessageBoxes()[c.bEndsUnder].nType, MB_YESNO | MB_ICONSTOP);
        EXPECT_EQ(Verdicts(), std::string(c.nRecords, '.'));
        ExpectCleanEnding();
    }
    EXPECT_EQ(gyro.Word(sim::ADDR_FIRMWARE_VERSION), 0x0117);  // the new firmware runs
}

TEST_F(FirmwareUpdate, OpeningRefusesAFileThatCannotBeSentWhole) {
    const std::string strHeader = "d\r\nPID: 0480\r\nVER: 123\r\n", strRecord(20, '0');
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
        {Write(strHeader + strRecord + "\r\n" + strRecord + "\r"), CORRUPT},  // last line cut
        {Write(strHeader + strRecord.substr(1) + "G\r\n"), nullptr},  // the loader judges it
        {"", L""},  // the dialog cancelled: no box, and the page without a file
        {Write("<html>\r\n<head><title>Firmware</title></head>\r\n<body></body>\r\n"), CORRUPT},
        // Ended inside the header lines: nothing to send.
        {Write(""), CORRUPT},
        {Write("d\r\nPID: 0480\r\nVER: 123"), CORRUPT},
        // A long description is a line like any other; only a line that runs on past 1 MiB
        // without its line end is refused.
        {Write(std::string(70'000, 'd') + strHeader.substr(1) + strRecord + "\r\n"), nullptr},
        {Write(std::string(1024 * 1024 + 1, 'd') + strHeader.substr(1)), CORRUPT},
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
        EXPECT_EQ(BoxTexts(), pBox && *pBox ? Texts{pBox} : Texts{});
        // Refused: the page without a file. Accepted: its description, ready to send.
        EXPECT_EQ(Fw(IDC_SEND_FIRMWARE).IsWindowEnabled(), pBox == nullptr);
        EXPECT_EQ(Fw(IDC_DESCRIPTION).GetCount(), pBox ? 0 : 1);
        EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(), pBox ? L"" : L"1.23");
    }
}

TEST_F(FirmwareUpdate, FlashSendsTheFileThroughTheFirmwarePage) {
    pSheet->Destroy();  // the command line builds its own sheet
    pSheet.reset();
    const std::string strFile = fs::path(WriteFile({})).string(),
                      strThree = fs::path(WriteFile({.nRecords = 3})).string();
    std::string strPercents;
    for (int i = 1; i <= 100; ++i)
        strPercents += std::to_string(i) + ".0%\n";
    const struct {
        std::vector<std::string> args;
        uint32_t nRefuse;
        int nExit;
        size_t nRecords;  // taken by the loader (whose check refuses one out of order or
                          // changed), the last refused when nRefuse is set
        std::string strErr;
    } cases[] = {
        // clang-format off
        {{"flash", "COM1", strFile}, 0, 2, 0,
         "morvane-gyro-cli: flash replaces the gyro's firmware: land the helicopter, idle the engine, stop the "
         "rotor, then add --agree to confirm\n"},
        {{"flash", "COM1", strFile + ".gone", "--agree"}, 0, 2, 0,
         "morvane-gyro-cli: " + strFile + ".gone: No such file or directory\n"},
        {{"flash", "COM1", strFile, "--agree"}, 0, 0, 200,
         strPercents + "morvane-gyro-cli: " + platform::Utf8FromWide(COMPLETED) + "\n"},
        // Two thirds show rounded, not cut.
        {{"flash", "COM1", strThree, "--agree"}, 0, 0, 3,
         "33.3%\n66.7%\n100.0%\nmorvane-gyro-cli: " + platform::Utf8FromWide(COMPLETED) + "\n"},
        {{"flash", "COM1:", strFile, "--agree"}, 3, 1, 3,
         "1.0%\nmorvane-gyro-cli: The tq480 reported a corrupt program was sent. Reset the tq480 and try again.\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        gyro.ResetCounters();
        gyro.SetRefuseRecord(c.nRefuse);
        std::istringstream in;
        std::ostringstream out, err;
        EXPECT_EQ(RunGyroCli(c.args, host, in, out, err), c.nExit);
        EXPECT_EQ(err.str(), c.strErr);
        EXPECT_EQ(gyro.RequestCount(), c.nRecords ? 2 + c.nRecords : 0);
    }
}

}  // namespace
