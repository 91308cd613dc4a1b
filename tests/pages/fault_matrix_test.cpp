// The fault matrix: every ending of the Read, Store and upload at the first, a middle and the
// last exchange it can strike, on the real sheet in virtual time, every box held open under a
// talking line: the exact messages, what the gyro received, everything stopped and closed, and
// a next try that succeeds. The soak runs random rows one after another on one sheet.
#include <cerrno>
#include <random>
#include <set>

#include "app_fixture.h"

namespace {

using namespace platform::ui;
constexpr auto Nth = sim::GyroFaultTarget::Nth;

// Exchanges: Read 0 wake-up, 1..6 identity words, 7..22 parameters; Store 0 wake-up, 1..5
// identity, 6 direction word, 7..21 writes; upload 0 start commands, then the records.
enum Sequence { READ, STORE, UPLOAD };
const char* const SEQUENCE_NAMES[] = {"read", "store", "upload"};
constexpr int RECORDS = 400;

const std::wstring CHECK =
    L"\nCheck that:\nThe gyro is powered.\nAll the cables are connected corretly.\nThe correct "
    L"COM port is selected.";
const std::wstring UNABLE = L"Unable to communicate with the gyro. " + CHECK;
const std::wstring LOST = L"Lost communications with the gyro, " + CHECK;
const std::wstring NO_ANSWER =
    L"Unable to communicate with the gyro.\n\nEnsure that you are in range of the WaveTether and "
    L"the power to the gyro and WaveTether is good.";
// The system's texts for a port that fails (as Wine gives Windows' own on Windows), and the
// code a test injects for a transfer that fails.
#ifdef _WIN32
constexpr uint32_t IO_ERROR = 31;  // ERROR_GEN_FAILURE
const std::wstring EIO_TEXT = L"Problem with COM1: General failure";
#else
constexpr uint32_t IO_ERROR = EIO;
const std::wstring EIO_TEXT = L"Problem with COM1: Input/output error";
#endif
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
const std::wstring NOT_SENT =
    L"Communications Error, unable to send data to gyro.\n\nPlease try again.";
#ifdef _WIN32
const std::wstring GONE = L"Cannot open COM1: File not found",
                   BUSY = L"Cannot open COM1: Access denied";
#else
const std::wstring GONE = L"Cannot open COM1: No such device",
                   BUSY = L"Cannot open COM1: Device or resource busy";
#endif
const std::wstring COM9 = L"Cannot open COM9: Error Code -1";
// clang-format off
enum Ending {
    SILENT, PULLED, LATE, WRITE_FAILS, BAD_CHECKSUM, NOISE, ZERO_BYTE, CHATTER, REFUSED, STOPPED,
    FILE_CUT, FILE_CUT_FAR, FILE_GROWS, FILE_SPOILED, NO_RECORDS, WRONG_FORMAT, UNKNOWN_PRODUCT, OTHER_PRODUCT,
    PORT_GONE, PORT_BUSY, PORT_NINE, FILE_GONE, HEADER_CUT, PASSED_OVER
};
const struct {
    const char* pName;
    std::array<std::pair<int, int>, 3> reach;
    std::array<Texts, 3> messages;
} ENDINGS[] = {
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
    {"stopped", {NO, NO, ALL_U}, {{{}, {}, {ABORTED}}}},
    // Cut where the reading has not buffered the file yet: before the first record or far on.
    {"file_cut", {NO, NO, std::pair{1, 1}}, {{{}, {}, {CORRUPT}}}},
    {"file_cut", {NO, NO, std::pair{RECORDS / 2, RECORDS}}, {{{}, {}, {CORRUPT}}}},
    // Grown while it was sent: its end is not sent, so the upload cannot have succeeded.
    {"file_grows", {NO, NO, std::pair{1, RECORDS}}, {{{}, {}, {CORRUPT}}}},
    // A record spoiled after the file was opened, and a file without records.
    {"file_spoiled", {NO, NO, AT_0}, {{{}, {}, {CORRUPT}}}},
    {"no_records", {NO, NO, AT_0}, {{{}, {}, {COMPLETED}}}},
    {"wrong_format", {{{2, 2}, {1, 1}, NO}}, {{{FORMAT}, {FORMAT}, {}}}},
    {"unknown_product", {{{1, 1}, NO, AT_0}}, {{{UNKNOWN}, {}, {UNKNOWN}}}},
    {"other_product", {NO, NO, AT_0}, {{{}, {}, {L"The selected firmware is not suitable for your tq390"}}}},
    {"port_gone", {OPEN, OPEN, OPEN}, {{{GONE}, {GONE}, {GONE}}}},
    {"port_busy", {OPEN, OPEN, OPEN}, {{{BUSY}, {BUSY}, {BUSY}}}},
    {"port_nine", {OPEN, OPEN, OPEN}, {{{COM9}, {L"Cannot open COM9: Error Code: -1"}, {COM9}}}},
    {"file_gone", {NO, NO, AT_0}, {}},
    {"header_cut", {NO, NO, AT_0}, {{{}, {}, {CORRUPT}}}},
    // Not an ending: a corrupt identity word is neither taken nor checked, the sequence goes on.
    {"identity_word_passed_over", {{{1, 6}, {1, 5}, NO}}, {}},
    // clang-format on
};

struct Row {
    Ending nEnding;
    Sequence nSequence;
    int nAt;  // the exchange it strikes; -1 at the open
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (int nEnding = 0; nEnding <= PASSED_OVER; ++nEnding)
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
    return ENDINGS[r.nEnding].messages[r.nSequence];
}

class FaultFixture : public SheetFixture {
  public:
    FaultFixture() {
        nHoldMs = 400;  // every box stays open while the line talks
        file = folder / "tail.fwr";
        gyro.SetLog([this](const std::string& strLine) {
            if (strLine[0] != ' ' && ++m_nRequestsLogged == m_nFailWriteAfter)
                line.FailNext("Write", IO_ERROR);
        });
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
                if (e == 0) line.FailNext("Write", IO_ERROR);
                else if (bUpload) Observe(k - 1, [this] { line.FailNext("Write", IO_ERROR); });
                else m_nFailWriteAfter = m_nRequestsLogged + e;  // the wake-up, e - 1 requests
                break;
            case BAD_CHECKSUM: gyro.SetBadChecksum(Nth(e)); break;
            case NOISE: gyro.SetNoise("x", Nth(e)); break;
            case ZERO_BYTE: gyro.SetZeroByte(Nth(bUpload ? 2 : e), bUpload ? 40 : 9); break;
            case CHATTER:  // until the first box, whose own chatter replaces it
                gyro.SetSilentAfter(0);
                gyro.SetChatter("$GPGSV,3,1,11*4E\r\n");
                break;
            case REFUSED: WriteFile({.nRecords = RECORDS, .nBadRecord = uint32_t(k)}, file); break;
            case STOPPED: Observe(k, [this] { Upload().RequestStop(); }); break;
            case FILE_CUT:
            case FILE_CUT_FAR:  // from record k on: part of a record, or whole records
                Observe(std::min(k - 1, 2), [this, k] {
                    std::filesystem::resize_file(file, std::filesystem::file_size(file) -
                                                 (RECORDS - k + 1) * 22 + (k % 2 ? 11 : 0));
                });
                break;
            case FILE_GROWS:
                Observe(k, [this] { std::ofstream(file, std::ios::app) << "0011\r\n"; });
                break;
            case FILE_SPOILED:
                onOpened = [this] { WriteFile({.nRecords = RECORDS, .nShortRecord = 1}, file); };
                break;
            case NO_RECORDS: WriteFile({.nRecords = 0}, file); break;
            case WRONG_FORMAT: gyro.SetMemoryMapVersion(2); break;
            case UNKNOWN_PRODUCT: gyro.SetProductId(0x0A5C); break;
            case OTHER_PRODUCT: gyro.SetProductId(0x0390); break;
            case PORT_GONE: line.Disconnect(); break;
            case PORT_BUSY:
                pHolder = line.OpenProgramEnd();
                onBox = [this](const auto&) { pHolder.reset(); };
                break;
            case PORT_NINE: Upload().m_nComPort = 9; Main().m_link.SetComPort(9); break;
            case FILE_GONE: onOpened = [this] { std::filesystem::remove(file); }; break;
            case PASSED_OVER:  // the product ID and format it would refuse, at the first word
                gyro.SetBadChecksum(Nth(e));
                if (e == 1) r.nSequence == READ ? gyro.SetProductId(0x0390) : gyro.SetMemoryMapVersion(2);
                break;
            case HEADER_CUT:  // after opening: the page refuses such a file itself
                onOpened = [this] { std::ofstream(file, std::ios::binary) << "d\r\nPID: 0480\r\nVER: 1"; };
                break;
        }
        // clang-format on
    }
    // Starts the operation as the pilot does, and waits for its end.
    void Run(Sequence nSequence) {
        host.ClearMessageBoxes();
        gyro.ResetCounters();
        m_before = pSheet->m_gyroParameters;
        const size_t nDialogs = host.DialogsShown().size();
        if (nSequence == UPLOAD) {
            ASSERT_TRUE(CUserInput::ChooseTab(*pSheet, pSheet->GetPageCount() - 1));
            if (!std::filesystem::exists(file))
                WriteFile({.nRecords = RECORDS}, file);
            Open(file);
            if (onOpened)
                onOpened();
            m_nTapMs = loop.NowMs();
            CControl& send = Fw(IDC_SEND_FIRMWARE);
            ASSERT_TRUE(CUserInput::Tap(send));
            // A second agreement before the first step neither restarts nor delays it.
            loop.RunFor(50);
            CUserInput::Tap(send);
        } else {
            ASSERT_TRUE(CUserInput::ChooseTab(*pSheet, 0));
            m_nTapMs = loop.NowMs();
            ASSERT_TRUE(CUserInput::Tap(Ctl(nSequence == READ ? IDC_READ : IDC_STORE)));
            // The other sequence, tapped while this one waits to open, starts nothing, not even
            // the agreement.
            loop.RunFor(5);
            CUserInput::Tap(Ctl(nSequence == READ ? IDC_STORE : IDC_READ));
        }
        // From the tap on, before the port is open too, the page and the sheet stay.
        EXPECT_FALSE(CUserInput::ChooseTab(*pSheet, 1));
        EXPECT_FALSE(CUserInput::CloseSheet(*pSheet));
        ASSERT_TRUE(loop.RunUntil([&] { return Over(); }, 120'000));
        // The agreement: none for a Read, one for a Store, two for the upload (tapped twice).
        EXPECT_EQ(host.DialogsShown().size() - nDialogs, static_cast<size_t>(nSequence));
        onBox = nullptr;
        onOpened = nullptr;
    }
    // The row's ending: its messages, nothing received after the failing item, all stopped.
    void ExpectEnding(bool bOnAFreshLine = true) {
        const Row& r = m;
        const int e = r.nAt, k = r.nAt;
        EXPECT_EQ(BoxTexts(), Messages(r));
        // Nothing answers the first request: 100 ms (Read) or 10 ms (Store) before the open, 1000
        // ms before the wake-up; the upload's first step after 100 ms, 500 ms of quiet line, 500
        // ms between the start commands, and 500 ms before the port closes; 64 pauses of 10 ms
        // (100 ms before the start commands) for a line that keeps talking; then the time-out.
        if (bOnAFreshLine && e == 0 && (r.nEnding == SILENT || r.nEnding == CHATTER)) {
            const int64_t nOpened[] = {1101, 1011, 100 + 500 + 500};
            EXPECT_EQ(host.MessageBoxes().at(0).nAtMs - m_nTapMs,
                      nOpened[r.nSequence] +
                          (r.nEnding == CHATTER ? (r.nSequence == UPLOAD ? 6400 : 640) : 0) +
                          (r.nSequence == UPLOAD ? 3500 : 1000));
        }
        if (r.nSequence == UPLOAD) {
            std::string strVerdicts(r.nEnding == FILE_GROWS ? RECORDS
                                    : r.nEnding == LATE || r.nEnding == STOPPED
                                        ? k
                                        : std::max(k - 1, 0),
                                    '.');
            EXPECT_EQ(Verdicts(), r.nEnding == REFUSED ? strVerdicts + "/" : strVerdicts);
            if (r.nEnding == FILE_GONE) {
                EXPECT_EQ(Fw(IDC_NEW_VERSION).GetWindowText(),
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
        ExpectCleanEnding();
        const auto before = std::pair(gyro.RequestCount(), host.MessageBoxes().size());
        loop.RunFor(r.nEnding == LATE ? 0 : 5000);
        EXPECT_EQ(std::pair(gyro.RequestCount(), host.MessageBoxes().size()), before);
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
            EXPECT_EQ(BoxTexts(), Texts{COMPLETED});
            EXPECT_EQ(Verdicts(), std::string(RECORDS, '.'));
        } else {
            EXPECT_EQ(BoxTexts(), Texts{});
            EXPECT_EQ(Text(IDC_STATUS), nSequence == READ ? L"Read Complete" : L"Write Complete");
            EXPECT_EQ(gyro.Writes().size(), nSequence == STORE ? 15u : 0u);
            EXPECT_EQ(pSheet->m_gyroParameters.HighEndpoint, DecodeHighEndpoint(gyro.Word(0x0100)));
        }
        ExpectCleanEnding();
    }

    Row m{};
    std::function<void()> onOpened;
    std::unique_ptr<platform::SerialDevice> pHolder;  // another program's hold on the port
    uint32_t m_nBefore = 0;
    int m_nFailWriteAfter = -1, m_nRequestsLogged = 0;
    int64_t m_nTapMs = 0;
    GyroParameters m_before;
};

class FaultMatrix : public FaultFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(FaultMatrix, EndsAsDefinedAndTheNextTrySucceeds) {
    Arrange(GetParam());
    gyro.SetWord(0x0100, 1658);  // a high endpoint of 33 %, which a failed Read must not keep
    Run(GetParam().nSequence);
    if (GetParam().nEnding == PASSED_OVER)
        return ExpectSuccess(GetParam().nSequence);
    ExpectEnding();
    if (!Mend())
        return;
    Run(GetParam().nSequence);
    ExpectSuccess(GetParam().nSequence);
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
    const std::vector<Row> rows = Rows();
    // Descriptors are counted where the system lists them (/proc/self/fd); Windows' handles are
    // not counted here.
    const auto OpenDescriptors = [] {
#ifdef _WIN32
        return std::ptrdiff_t{0};
#else
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
#endif
    };
    const auto nDescriptors = OpenDescriptors();
    for (int nCycle = 0; nCycle < 550 && !HasFailure(); ++nCycle) {
        const auto nSequence = nCycle % 11 == 10 ? UPLOAD : static_cast<Sequence>(random() % 2);
        SCOPED_TRACE("cycle " + std::to_string(nCycle));
        Row r = rows[random() % rows.size()];
        // Not where the line would be gone for good.
        while (r.nSequence != nSequence || r.nEnding == PULLED || r.nEnding == PORT_GONE)
            r = rows[random() % rows.size()];
        if (random() % 2) {
            Arrange(r);
            Run(nSequence);
            SCOPED_TRACE(std::string(SEQUENCE_NAMES[m.nSequence]) + " " + ENDINGS[m.nEnding].pName +
                         " at " + std::to_string(m.nAt));
            // Bytes left by earlier cycles may lengthen the first waits.
            r.nEnding == PASSED_OVER ? ExpectSuccess(nSequence) : ExpectEnding(false);
            Mend();
        } else {
            Run(nSequence);
            ExpectSuccess(nSequence);
        }
    }
    EXPECT_EQ(OpenDescriptors(), nDescriptors);
}

}  // namespace
