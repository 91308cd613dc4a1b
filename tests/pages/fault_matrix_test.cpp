// The fault matrix: every ending of the Read, Store and firmware upload, struck at the first, a
// middle and the last exchange it can strike, on the real sheet with the software gyro, in
// virtual time. Every box is held open while bytes keep arriving and timers keep firing. Each
// row checks the exact messages, what the gyro received, that everything is stopped and
// closed, and that the same operation then succeeds, a late answer still on its way. The soak
// runs random rows one after another on one sheet.
#include <random>
#include <set>
#include <sstream>

#include "app_fixture.h"
#include "firmware/firmware_page.h"
#include "pages/main_page.h"
#include "shell/splash.h"
#include "sim/fwr_file.h"

namespace {

using namespace platform::ui;
constexpr auto Nth = sim::GyroFaultTarget::Nth;
using Texts = std::vector<std::wstring>;

// Exchanges: Read 0 wake-up, 1..6 identity words, 7..22 parameters; Store 0 wake-up, 1..5
// identity, 6 direction word, 7..21 writes; upload 0 start commands, then the records.
enum Sequence { READ, STORE, UPLOAD };
const char* const SEQUENCE_NAMES[] = {"read", "store", "upload"};
constexpr int RECORDS = 400;

// clang-format off
enum Ending {
    SILENT, PULLED, LATE, WRITE_FAILS, BAD_CHECKSUM, NOISE, ZERO_BYTE, CHATTER, REFUSED, STOPPED,
    FILE_CUT, FILE_CUT_FAR, FILE_SPOILED, NO_RECORDS, WRONG_FORMAT, UNKNOWN_PRODUCT, OTHER_PRODUCT,
    PORT_GONE, PORT_BUSY, PORT_NINE, FILE_GONE, HEADER_CUT
};
// clang-format on
const std::wstring CHECK =
    L"\nCheck that:\nThe gyro is powered.\nAll the cables are connected corretly.\nThe correct "
    L"COM port is selected.";
const std::wstring UNABLE = L"Unable to communicate with the gyro. " + CHECK;
const std::wstring LOST = L"Lost communications with the gyro, " + CHECK;
const std::wstring NO_ANSWER =
    L"Unable to communicate with the gyro.\n\nEnsure that you are in range of the WaveTether and "
    L"the power to the gyro and WaveTether is good.";
const std::wstring EIO_TEXT = L"Problem with COM1: Input/output error";
const std::wstring CORRUPT = L"Corrupt firmware file found, download firmware again.";
const std::wstring FORMAT =
    L"Your gyro firmware uses configuration format R2 but this program supports R3 only.\n\n"
    L"Please update your gyro with the latest firmware and download the latest version of this "
    L"application.\n\nBoth are available on the Morvane RC website.";
const std::wstring UNKNOWN =
    L"Unknown device with Product ID 0a5c.\n\nThis program is not designed to interface with "
    L"your product.";

// Where each ending strikes, per sequence (first and last exchange; none: {9, 0}), and what the
// pilot is told.
constexpr std::pair<int, int> NO{9, 0}, OPEN{-1, -1}, AT_0{0, 0}, ALL_R{0, 22}, ALL_S{0, 21},
    ALL_U{0, RECORDS};
const std::wstring REFUSED_TEXT =
    L"The tq480 reported a corrupt program was sent. Reset the tq480 and try again.";
const std::wstring STOPPED_TEXT =
    L"Programming aborted by user.\n\nDo not attempt to fly the gyro until a firmware update has "
    L"been sucessfully completed.";
const std::wstring NOT_SENT =
    L"Communications Error, unable to send data to gyro.\n\nPlease try again.";
const std::wstring COM9 = L"Cannot open COM9: Error Code -1";
const struct {
    const char* pName;
    std::array<std::pair<int, int>, 3> reach;
    std::array<Texts, 3> messages;
} ENDINGS[] = {
    // clang-format off
    {"silent", {ALL_R, ALL_S, ALL_U}, {{{LOST}, {LOST}, {NO_ANSWER}}}},
    {"pulled", {ALL_R, ALL_S, ALL_U}, {{{LOST}, {LOST}, {NO_ANSWER}}}},
    {"late", {{{1, 22}, {1, 21}, ALL_U}}, {{{LOST}, {LOST}, {NO_ANSWER}}}},
    {"write_fails", {ALL_R, ALL_S, ALL_U}, {{{EIO_TEXT}, {EIO_TEXT}, {EIO_TEXT + L".", NOT_SENT}}}},
    {"bad_checksum", {{{7, 22}, {6, 6}, NO}}, {}},
    {"noise", {{{7, 22}, {6, 6}, NO}}, {}},
    {"zero_byte", {{{1, 22}, {1, 6}, AT_0}}, {{{LOST}, {LOST}, {NO_ANSWER}}}},
    // Another device keeps talking on the port, and nothing answers.
    {"chatter", {AT_0, AT_0, AT_0}, {{{UNABLE}, {LOST}, {NO_ANSWER}}}},
    {"refused", {NO, NO, std::pair{1, RECORDS}}, {{{}, {}, {REFUSED_TEXT}}}},
    {"stopped", {NO, NO, ALL_U}, {{{}, {}, {STOPPED_TEXT}}}},
    // Cut where the reading has not buffered the file yet: before the first record or far on.
    {"file_cut", {NO, NO, std::pair{1, 1}}, {{{}, {}, {CORRUPT}}}},
    {"file_cut", {NO, NO, std::pair{RECORDS / 2, RECORDS}}, {{{}, {}, {CORRUPT}}}},
    // A record spoiled after the file was opened, and a file without records.
    {"file_spoiled", {NO, NO, AT_0}, {{{}, {}, {CORRUPT}}}},
    {"no_records", {NO, NO, AT_0}, {{{}, {}, {UPLOAD_COMPLETED}}}},
    {"wrong_format", {{{2, 2}, {1, 1}, NO}}, {{{FORMAT}, {FORMAT}, {}}}},
    {"unknown_product", {{{1, 1}, NO, AT_0}}, {{{UNKNOWN}, {}, {UNKNOWN}}}},
    {"other_product", {NO, NO, AT_0}, {{{}, {}, {L"The selected firmware is not suitable for your tq390"}}}},
    {"port_gone", {OPEN, OPEN, OPEN}, {{{L"Cannot open COM1: No such device"}}}},
    {"port_busy", {OPEN, OPEN, OPEN}, {{{L"Cannot open COM1: Device or resource busy"}}}},
    {"port_nine", {OPEN, OPEN, OPEN}, {{{COM9}, {L"Cannot open COM9: Error Code: -1"}, {COM9}}}},
    {"file_gone", {NO, NO, AT_0}, {}},
    {"header_cut", {NO, NO, AT_0}, {{{}, {}, {CORRUPT}}}},
    // clang-format on
};

struct Row {
    Ending nEnding;
    Sequence nSequence;
    int nAt;  // the exchange it strikes; -1 at the open
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (int nEnding = 0; nEnding <= HEADER_CUT; ++nEnding)
        for (const Sequence nSequence : {READ, STORE, UPLOAD}) {
            const auto [nFirst, nLast] = ENDINGS[nEnding].reach[nSequence];
            for (const int nAt : std::set<int>{nFirst, (nFirst + nLast) / 2, nLast})
                if (nFirst <= nLast)
                    rows.push_back({static_cast<Ending>(nEnding), nSequence, nAt});
        }
    return rows;
}

Texts Messages(const Row& r) {
    const bool bFirst = r.nAt == 0;
    if (r.nSequence == UPLOAD && bFirst && (r.nEnding == PULLED || r.nEnding == WRITE_FAILS))
        return {EIO_TEXT + L".", L"Cannot communicate with the gyro"};  // a start command
    if (r.nSequence == READ && bFirst && (r.nEnding == SILENT || r.nEnding == PULLED))
        return {UNABLE};
    if (r.nEnding == PORT_GONE || r.nEnding == PORT_BUSY)
        return ENDINGS[r.nEnding].messages[0];
    return ENDINGS[r.nEnding].messages[r.nSequence];
}

auto OpenDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

class FaultFixture : public AppFixture {
  public:
    FaultFixture() {
        AddPort(1, L"Simulated tq480 gyro");
        for (const int nId : {IDD_SPLASH, IDD_SPLASH_FW})
            host.SetDialogResponder(
                nId, [](CDialog& d) { CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)); });
        host.SetFileResponder([this](const std::wstring&, std::wstring& strPath) {
            strPath = file.wstring();
            return true;
        });
        // Every box stays open a while: the line keeps talking, with '.' and a byte above
        // 0x7F, the timers keep firing, and nothing may be sent meanwhile.
        host.SetMessageBoxResponder([this](const platform::headless::ShownMessageBox& box) {
            EXPECT_EQ(box.strCaption + std::to_wstring(box.nType),
                      L"Attention" + std::to_wstring(MB_OK | MB_ICONEXCLAMATION));
            const size_t nSent = line.SentByProgram().size();
            gyro.SetChatter(".\xFF");
            loop.RunFor(400);
            gyro.SetChatter("");
            EXPECT_EQ(line.SentByProgram().size(), nSent) << "sent under an open box";
            if (onBox)
                onBox();
            return IDOK;
        });
        gyro.SetLog([this](const std::string& strLine) {
            if (strLine[0] != ' ') {
                m_nLastRequestMs = loop.NowMs();
                if (++m_nRequestsLogged == m_nFailWriteAfter)
                    line.FailNext("Write", EIO);
            }
        });
        Start();
        std::ostringstream out;
        sim::WriteFirmwareFile({.nRecords = RECORDS}, out);
        m_strFirmware = out.str();
    }

    CFirmwareUpload& Upload() { return pSheet->m_firmwarePage.m_upload; }
    bool Over() {
        return Upload().m_nUploadState == UPLOAD_IDLE && !Upload().m_bTransferActive &&
               Main().m_link.State() == LINK_IDLE && !Main().m_link.IsBusy();
    }
    void Arrange(const Row& r) {
        m = r;
        const int e = r.nAt, k = r.nAt;  // the exchange; for the upload, the record
        const bool bUpload = r.nSequence == UPLOAD;
        // Requests the gyro serves before the fault (the upload has two start commands).
        m_nBefore = bUpload ? (e == 0 ? 0 : 1 + k) : (e == 0 ? 0 : e - 1);
        const auto Observe = [this](size_t nRecords, std::function<void()> action) {
            gyro.SetLoaderObserver([=](const auto& records) {
                if (records.size() == nRecords)
                    action();
            });
        };
        // clang-format off
        switch (r.nEnding) {
            case SILENT: gyro.SetSilentAfter(int32_t(m_nBefore)); break;
            case PULLED: gyro.SetDisconnectAfter(int32_t(m_nBefore)); break;
            // Past the time-out, into the next try's first waits.
            case LATE: gyro.SetDelay(bUpload ? 3800 : 1500, Nth(bUpload ? 2 + k : e)); break;
            case WRITE_FAILS:
                if (e == 0) line.FailNext("Write", EIO);
                else if (bUpload) Observe(k - 1, [this] { line.FailNext("Write", EIO); });
                else m_nFailWriteAfter = m_nRequestsLogged + e;  // the wake-up, e - 1 requests
                break;
            case BAD_CHECKSUM: gyro.SetBadChecksum(Nth(e)); break;
            case NOISE: gyro.SetNoise("x", Nth(e)); break;
            case ZERO_BYTE: gyro.SetZeroByte(Nth(bUpload ? 2 : e), bUpload ? 40 : 9); break;
            case CHATTER:  // until the first box, whose own chatter replaces it
                gyro.SetSilentAfter(0);
                gyro.SetChatter("$GPGSV,3,1,11*4E\r\n");
                break;
            case REFUSED: WriteFile({.nRecords = RECORDS, .nBadRecord = uint32_t(k)}); break;
            case STOPPED: Observe(k, [this] { Upload().RequestStop(); }); break;
            case FILE_CUT:
            case FILE_CUT_FAR:  // from record k on: part of a record, or whole records
                Observe(std::min(k - 1, 2), [this, k] {
                    std::filesystem::resize_file(file, m_strFirmware.size() -
                                                 (RECORDS - k + 1) * 22 + (k % 2 ? 11 : 0));
                });
                break;
            case FILE_SPOILED:
                onOpened = [this] { WriteFile({.nRecords = RECORDS, .nShortRecord = 1}); };
                break;
            case NO_RECORDS: WriteFile({.nRecords = 0}); break;
            case WRONG_FORMAT: gyro.SetMemoryMapVersion(2); break;
            case UNKNOWN_PRODUCT: gyro.SetProductId(0x0A5C); break;
            case OTHER_PRODUCT: gyro.SetProductId(0x0390); break;
            case PORT_GONE: line.Disconnect(); break;
            case PORT_BUSY:
                pHolder = line.OpenProgramEnd();
                onBox = [this] { pHolder.reset(); };
                break;
            case PORT_NINE: Upload().m_nComPort = 9; Main().m_link.SetComPort(9); break;
            case FILE_GONE: onOpened = [this] { std::filesystem::remove(file); }; break;
            case HEADER_CUT: std::ofstream(file, std::ios::binary) << "d\r\nPID: 0480\r\nVER: 1"; break;
        }
        // clang-format on
    }
    void WriteFile(const sim::FirmwareFileRecipe& recipe) {
        std::ofstream out(file, std::ios::binary);
        sim::WriteFirmwareFile(recipe, out);
    }
    // Starts the operation as the pilot does, and waits for its end.
    void Run(Sequence nSequence) {
        host.ClearMessageBoxes();
        gyro.ResetCounters();
        m_before = pSheet->m_gyroParameters;
        if (nSequence == UPLOAD) {
            ASSERT_TRUE(CUserInput::ChooseTab(*pSheet, pSheet->GetPageCount() - 1));
            if (!std::filesystem::exists(file))
                std::ofstream(file, std::ios::binary) << m_strFirmware;
            ASSERT_TRUE(CUserInput::Tap(*pSheet->m_firmwarePage.GetDlgItem(IDC_OPEN_FIRMWARE)));
            if (onOpened)
                onOpened();
            m_nTapMs = loop.NowMs();
            CControl& send = *pSheet->m_firmwarePage.GetDlgItem(IDC_SEND_FIRMWARE);
            ASSERT_TRUE(CUserInput::Tap(send));
            // A second agreement before the first step neither restarts nor delays it.
            loop.RunFor(50);
            CUserInput::Tap(send);
        } else {
            ASSERT_TRUE(CUserInput::ChooseTab(*pSheet, 0));
            m_nTapMs = loop.NowMs();
            ASSERT_TRUE(CUserInput::Tap(Ctl(nSequence == READ ? IDC_READ : IDC_STORE)));
        }
        ASSERT_TRUE(loop.RunUntil([&] { return Over(); }, 120'000));
        onBox = onOpened = nullptr;
    }
    std::string Verdicts() const {
        std::string strVerdicts;
        for (const sim::LoaderRecord& record : gyro.LoaderRecords())
            strVerdicts += record.bAccepted ? '.' : '/';
        return strVerdicts;
    }
    // Nothing runs, nothing is held, the pilot has every control back.
    void ExpectStoppedAndClosed() {
        EXPECT_TRUE(Over());
        EXPECT_FALSE(line.IsProgramEndOpen());
        EXPECT_FALSE(Upload().m_firmwareFile.IsOpen());
        for (const unsigned nId :
             {TIMER_RESPONSE_TIMEOUT, TIMER_READ_STEP, TIMER_STORE_STEP, TIMER_RECEIVE_POLL})
            EXPECT_FALSE(loop.HasTimer(&Main(), nId)) << nId;
        for (const unsigned nId : {TIMER_UPLOAD_POLL, TIMER_UPLOAD_STEP, TIMER_UPLOAD_TIMEOUT})
            EXPECT_FALSE(loop.HasTimer(&pSheet->m_firmwarePage, nId)) << nId;
        for (const int nId : {IDC_READ, IDC_STORE, IDC_LOAD_DEFAULTS, IDC_COMPORT})
            EXPECT_TRUE(Ctl(nId).IsWindowEnabled()) << nId;
        if (const CControl* pOpen = pSheet->m_firmwarePage.GetDlgItem(IDC_OPEN_FIRMWARE)) {
            EXPECT_TRUE(pOpen->IsWindowEnabled());
        }
    }
    // The ending of the row just run: its messages, what the gyro received (nothing after the
    // failing item, and nothing later either), and everything stopped.
    void ExpectEnding(bool bOnAFreshLine = true) {
        const Row& r = m;
        const int e = r.nAt, k = r.nAt;
        EXPECT_EQ(BoxTexts(), Messages(r));
        // Nothing answers the first request: 100 ms (Read) or 10 ms (Store) before the open, 1000
        // ms before the wake-up; the upload's first step after 100 ms, 500 ms of quiet line, 500
        // ms between the start commands, and 500 ms before the port closes; 64 pauses of 10 ms
        // for a line that keeps talking; then the time-out.
        if (bOnAFreshLine && e == 0 && (r.nEnding == SILENT || r.nEnding == CHATTER)) {
            const int64_t nOpened[] = {1101, 1011, 100 + 500 + 500};
            EXPECT_EQ(host.MessageBoxes().at(0).nAtMs - m_nTapMs,
                      nOpened[r.nSequence] + (r.nEnding == CHATTER ? 640 : 0) +
                          (r.nSequence == UPLOAD ? 3500 : 1000));
        }
        // A time-out strikes its full wait after the request that went unanswered.
        if (r.nEnding == SILENT || r.nEnding == LATE || (r.nEnding == PULLED && e > 0)) {
            const int64_t nWaited = host.MessageBoxes().at(0).nAtMs - m_nLastRequestMs;
            EXPECT_GT(nWaited, (r.nSequence == UPLOAD ? 3500 : 1000) - 15);
            EXPECT_LE(nWaited, r.nSequence == UPLOAD ? 3500 : 1000);
        }
        if (r.nSequence == UPLOAD) {
            std::string strVerdicts(
                r.nEnding == LATE || r.nEnding == STOPPED ? k : std::max(k - 1, 0), '.');
            EXPECT_EQ(Verdicts(), r.nEnding == REFUSED ? strVerdicts + "/" : strVerdicts);
            if (r.nEnding == FILE_GONE) {
                EXPECT_EQ(pSheet->m_firmwarePage.GetDlgItem(IDC_NEW_VERSION)->GetWindowText(),
                          L"Cannot find selected firmware file.  Locate and try again.");
            }
        } else {
            const bool bReadFailed = r.nEnding == BAD_CHECKSUM || r.nEnding == NOISE ||
                                     r.nEnding == WRONG_FORMAT || r.nEnding == UNKNOWN_PRODUCT;
            EXPECT_EQ(Text(IDC_STATUS), bReadFailed ? L"Read Failed" : L"");
            const uint32_t nReceived = e < 0 ? 0 : r.nEnding == WRITE_FAILS ? m_nBefore : e;
            const uint32_t nServed =
                r.nEnding == SILENT || r.nEnding == PULLED ? m_nBefore : nReceived;
            EXPECT_EQ(gyro.RequestCount(), nReceived);
            EXPECT_EQ(gyro.WakeUps(), e < 0 || (r.nEnding == WRITE_FAILS && e == 0) ? 0u : 1u);
            EXPECT_EQ(gyro.Writes().size(), r.nSequence == STORE && nServed > 6 ? nServed - 6 : 0u);
            if (r.nSequence == READ) {
                EXPECT_EQ(pSheet->m_gyroParameters, m_before);  // a failed Read keeps the record
            }
        }
        ExpectStoppedAndClosed();
        const uint32_t nRequests = gyro.RequestCount();
        const size_t nBoxes = host.MessageBoxes().size();
        loop.RunFor(r.nEnding == LATE ? 0 : 5000);
        EXPECT_EQ(gyro.RequestCount(), nRequests);
        EXPECT_EQ(host.MessageBoxes().size(), nBoxes);
    }
    // Back to a sound gyro and port; false when the line is gone for good.
    bool Mend() {
        gyro.ClearFaults();
        gyro.SetLoaderObserver(nullptr);
        gyro.SetProductId(0x0480);
        gyro.SetMemoryMapVersion(3);
        gyro.PowerCycle();  // after an upload that failed, as its messages say
        Main().m_link.SetComPort(1);
        Upload().m_nComPort = 1;
        std::filesystem::remove(file);
        return !line.IsDisconnected();
    }
    void ExpectSuccess(Sequence nSequence) {
        if (nSequence == UPLOAD) {
            EXPECT_EQ(BoxTexts(), Texts{UPLOAD_COMPLETED});
            EXPECT_EQ(Verdicts(), std::string(RECORDS, '.'));
        } else {
            EXPECT_EQ(BoxTexts(), Texts{});
            EXPECT_EQ(Text(IDC_STATUS), nSequence == READ ? L"Read Complete" : L"Write Complete");
            EXPECT_EQ(gyro.Writes().size(), nSequence == STORE ? 15u : 0u);
        }
        ExpectStoppedAndClosed();
    }

    Row m{};
    std::filesystem::path file = folder / "tail.fwr";
    std::function<void()> onBox, onOpened;
    std::unique_ptr<platform::SerialDevice> pHolder;  // another program's hold on the port
    uint32_t m_nBefore = 0;
    int m_nFailWriteAfter = -1, m_nRequestsLogged = 0;
    int64_t m_nLastRequestMs = 0, m_nTapMs = 0;
    std::string m_strFirmware;
    GyroParameters m_before;
};

class FaultMatrix : public FaultFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(FaultMatrix, EndsAsDefinedAndTheNextTrySucceeds) {
    Arrange(GetParam());
    gyro.SetWord(0x0100, 1658);  // a high endpoint of 33 %, which a failed Read must not keep
    Run(GetParam().nSequence);
    ExpectEnding();
    if (!Mend() || GetParam().nEnding == PORT_GONE)
        return;
    Run(GetParam().nSequence);
    ExpectSuccess(GetParam().nSequence);
    if (GetParam().nSequence == READ) {
        EXPECT_EQ(pSheet->m_gyroParameters.HighEndpoint, 33);
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, FaultMatrix, ::testing::ValuesIn(Rows()), [](const auto& info) {
    const Row& r = info.param;
    return std::string(SEQUENCE_NAMES[r.nSequence]) + "_" + ENDINGS[r.nEnding].pName +
           (r.nAt < 0 ? "" : "_at_" + std::to_string(r.nAt));
});

// 500 Reads and Stores and 50 uploads on one sheet, each with a random ending of the matrix or
// none. MORVANE_SOAK_SEED repeats a run.
TEST_F(FaultFixture, SoakOfRandomFaultsEndsEveryTimeAsDefinedAndLeavesNothingBehind) {
    const char* pSeed = std::getenv("MORVANE_SOAK_SEED");
    const unsigned nSeed =
        pSeed ? static_cast<unsigned>(std::stoul(pSeed)) : std::random_device{}();
    SCOPED_TRACE("MORVANE_SOAK_SEED=" + std::to_string(nSeed));
    std::mt19937 random(nSeed);
    std::vector<Row> rows;
    for (const Row& r : Rows())
        if (r.nEnding != PULLED && r.nEnding != PORT_GONE)  // the line would be gone for good
            rows.push_back(r);
    const size_t nDescriptors = OpenDescriptors();
    for (int nCycle = 0; nCycle < 550 && !HasFailure(); ++nCycle) {
        const auto nSequence = nCycle % 11 == 10 ? UPLOAD : static_cast<Sequence>(random() % 2);
        std::vector<Row> candidates;
        for (const Row& r : rows)
            if (r.nSequence == nSequence)
                candidates.push_back(r);
        SCOPED_TRACE("cycle " + std::to_string(nCycle));
        if (random() % 2) {
            Arrange(candidates[random() % candidates.size()]);
            Run(nSequence);
            SCOPED_TRACE(std::string(SEQUENCE_NAMES[m.nSequence]) + " " + ENDINGS[m.nEnding].pName +
                         " at " + std::to_string(m.nAt));
            ExpectEnding(false);  // bytes left by earlier cycles may lengthen the first waits
            Mend();
        } else {
            Run(nSequence);
            ExpectSuccess(nSequence);
        }
    }
    EXPECT_EQ(OpenDescriptors(), nDescriptors);
}

}  // namespace
