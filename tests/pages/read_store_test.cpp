// Read and Store end to end: a person taps the Main page's buttons, the software gyro answers
// over the in-memory line, and the page shows what happened, in virtual time. The times are
// worked out by hand: 100 ms (Read) or 10 ms (Store) before the open, 1000 ms before the
// wake-up, 1 ms between steps, and each answer taken by the first 10 ms poll after its last
// byte (520.8 us a byte), which makes every later exchange 20 ms.
#include <gmock/gmock.h>

#include "app_fixture.h"
#include "pages/main_page.h"
#include "shell/splash.h"

namespace {

using namespace platform::ui;
using sim::GyroFaultTarget;
using sim::GyroWrite;
using ::testing::ElementsAre;
using ::testing::Pair;

const wchar_t UNABLE[] =
    L"Unable to communicate with the gyro. \nCheck that:\nThe gyro is powered.\nAll the cables are "
    L"connected corretly.\nThe correct COM port is selected.";
const wchar_t LOST[] =
    L"Lost communications with the gyro, \nCheck that:\nThe gyro is powered.\nAll the cables are "
    L"connected corretly.\nThe correct COM port is selected.";
const wchar_t WRONG_FORMAT_R2[] =
    L"Your gyro firmware uses configuration format R2 but this program supports R3 only.\n\n"
    L"Please update your gyro with the latest firmware and download the latest version of this "
    L"application.\n\nBoth are available on the Morvane RC website.";

class ReadStore : public AppFixture {
  public:
    ReadStore() {
        AddPort(1, L"Simulated tq480 gyro");
        AnswerBoxesAfter(0);
        Start();
        Agree(true);
    }
    void Agree(bool bAgree, std::function<void()> meanwhile = {}) {
        host.SetDialogResponder(IDD_SPLASH, [=](CDialog& d) {
            if (meanwhile)
                meanwhile();
            CUserInput::Tap(*d.GetDlgItem(bAgree ? IDC_I_AGREE : IDCANCEL));
        });
    }
    bool Over() { return Main().m_link.State() == LINK_IDLE && !Main().m_link.IsBusy(); }
    // Taps a button and runs until the sequence is over.
    void TapAndFinish(int nId) {
        m_nTapMs = loop.NowMs();
        ASSERT_TRUE(CUserInput::Tap(Ctl(nId)));
        ASSERT_TRUE(loop.RunUntil([&] { return Over(); }, 60'000));
    }
    // The same, 1 ms at a time: each new status text with its time after the tap. Meanwhile
    // nothing else can be started and the page cannot be left.
    std::vector<std::pair<int64_t, std::wstring>> TapAndWatch(int nId) {
        std::vector<std::pair<int64_t, std::wstring>> seen;
        m_nTapMs = loop.NowMs();
        CUserInput::Tap(Ctl(nId));
        while ((seen.empty() || !Over()) && loop.NowMs() - m_nTapMs < 10'000) {
            loop.RunFor(1);
            if (seen.empty() || seen.back().second != Text(IDC_STATUS))
                seen.emplace_back(loop.NowMs() - m_nTapMs, Text(IDC_STATUS));
            if (Main().m_link.IsBusy()) {
                EXPECT_FALSE(CUserInput::Tap(Ctl(IDC_LOAD_DEFAULTS)));
                EXPECT_FALSE(Main().OnKillActive());
            }
        }
        return seen;
    }
    // What every ending leaves behind.
    void ExpectCleanEnding() {
        EXPECT_TRUE(Over());
        EXPECT_FALSE(line.IsProgramEndOpen());
        EXPECT_FALSE(loop.HasTimer(&Main(), TIMER_RESPONSE_TIMEOUT));
        EXPECT_FALSE(loop.HasTimer(&Main(), TIMER_RECEIVE_POLL));
        for (const int nId : {IDC_READ, IDC_STORE, IDC_LOAD_DEFAULTS, IDC_COMPORT})
            EXPECT_TRUE(Ctl(nId).IsWindowEnabled()) << nId;
        EXPECT_TRUE(Main().OnKillActive());
    }
    std::vector<GyroWrite> WritesSeen() const {
        std::vector<GyroWrite> writes;
        for (const auto& request : gyro.Requests())
            if (request.nKind == sim::GyroRequestKind::WRITE &&
                request.nOutcome == sim::GyroOutcome::ANSWERED)
                writes.push_back({request.nAddress, request.nValue});
        return writes;
    }
    int64_t m_nTapMs = 0;
};

TEST_F(ReadStore, ReadNamesEachRequestAsItGoesAndCompletesAt1554Ms) {
    loop.RunFor(7);
    EXPECT_THAT(
        TapAndWatch(IDC_READ),
        ElementsAre(Pair(1, L"Initialising COM1"), Pair(101, L"Opened COM1"),
                    Pair(1112, L"Read PID"), Pair(1133, L"Read Memory Map Version"),
                    Pair(1154, L"Read Firmware Version"), Pair(1174, L"Read Serial Number"),
                    Pair(1214, L"Read Loader Version"), Pair(1253, L"Read High Endpoint"),
                    Pair(1273, L"Read Low Endpoint"), Pair(1293, L"Read AVCS Clockwise Stop Gain"),
                    Pair(1313, L"Read AVCS Counter Clockwise Stop Gain"),
                    Pair(1333, L"Read Rudderstick Deadband"),
                    Pair(1353, L"Read AVCS Rudder Exponential"),
                    Pair(1373, L"Read Rate Rudder Exponential"),
                    Pair(1393, L"Read AVCS Acceleration Profile"),
                    Pair(1413, L"Read AVCS Deceleration Profile"),
                    Pair(1473, L"Read AVCS Rudder Sensitivity"), Pair(1493, L"Read Servo Data"),
                    Pair(1533, L"Read Midpoint Trim"), Pair(1553, L"Read Servo Direction"),
                    Pair(1554, L"Read Complete")));
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"1.07");
    EXPECT_EQ(Text(IDC_LOADER_VERSION), L"1.03");
    EXPECT_EQ(Text(IDC_SERIAL_NUMBER), L"74565");
    EXPECT_EQ(gyro.ReadCount(), 22u);
    ExpectCleanEnding();
    ASSERT_TRUE(loop.RunUntil([&] { return Text(IDC_STATUS).empty(); }, 10'000));
    EXPECT_EQ(loop.NowMs() - m_nTapMs, 1554 + 2000);
}

TEST_F(ReadStore, StoreWritesTheFifteenWordsInOrderAfterTheAgreement) {
    GyroParameters& params = pSheet->m_gyroParameters;
    params.HighEndpoint = 120;
    params.AvcsAccelerationProfile = 10;
    params.ServoPreset = 9;  // Futaba BLS251, key 24
    params.ServoType = 1;
    params.ServoDirection = true;
    params.MidpointTrim = -20;
    gyro.SetWord(0x011E, 0x00FF);
    // The profile copies (items 9, 10) leave the status line as it is.
    EXPECT_THAT(
        TapAndWatch(IDC_STORE),
        ElementsAre(Pair(1, L"Initialising COM1"), Pair(11, L"Opened COM1"),
                    Pair(1022, L"Read Memory Map Version"), Pair(1043, L"Read Firmware Version"),
                    Pair(1063, L"Read Serial Number"), Pair(1103, L"Read Loader Version"),
                    Pair(1143, L"Write High Endpoint"), Pair(1163, L"Write Low Endpoint"),
                    Pair(1183, L"Write AVCS Clockwise Stop Gain"),
                    Pair(1203, L"Write AVCS Counter Clockwise Stop Gain"),
                    Pair(1223, L"Write Rudderstick Deadband"),
                    Pair(1243, L"Write AVCS Rudder Exponential"),
                    Pair(1263, L"Write Rate Rudder Exponential"),
                    Pair(1283, L"Write AVCS Acceleration Profile"),
                    Pair(1303, L"Write AVCS Deceleration Profile"),
                    Pair(1363, L"Write AVCS Rudder Sensitivity"), Pair(1383, L"Write Servo Data"),
                    Pair(1403, L"Write Midpoint Trim"), Pair(1423, L"Write Servo Direction"),
                    Pair(1443, L"Write Complete")));
    EXPECT_THAT(host.DialogsShown(), ElementsAre(IDD_SPLASH));
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"1.07");
    const std::vector<GyroWrite> expected = {
        {0x0100, 2024},   {0x0102, 1100},   {0x0104, 100},    {0x0106, 100},    {0x0108, 5},
        {0x010A, 0xFFCE}, {0x010C, 0xFFCE}, {0x010E, 5},      {0x0110, 0},      {0x0112, 5},
        {0x0114, 0},      {0x0116, 100},    {0x0118, 0x1806}, {0x011C, 0xFFEC}, {0x011E, 0x0BFF}};
    EXPECT_EQ(WritesSeen(), expected);
    EXPECT_EQ(gyro.ReadCount(0x0008), 0u);  // a store asks no product ID
    ExpectCleanEnding();
}

TEST_F(ReadStore, StoreStoppedAfterTheThirdWriteLeavesOnlyItemsZeroToTwo) {
    sim::ParameterWords words;
    words.fill(0x1111);
    gyro.SetParameters(words);
    // Five identity requests and the direction word come first (the wake-up is not counted).
    gyro.SetSilentAfter(6 + 3);
    TapAndFinish(IDC_STORE);
    EXPECT_THAT(BoxTexts(), ElementsAre(LOST));
    EXPECT_EQ(host.MessageBoxes()[0].nAtMs - m_nTapMs, 1203 + 1000);
    const sim::ParameterWords stored = gyro.Parameters();
    for (size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(stored[i], (i >= 3 ? 0x1111 : std::array{1940, 1100, 100}[i])) << i;
    ExpectCleanEnding();
}

// Every way a sequence can fail, produced by the gyro or the port, with what the person sees
// and when the box shows (after the tap). A Read that fails keeps the record as it was.
struct FailureCase {
    const char* pName;
    int nButton;
    std::function<void(ReadStore&)> arrange;
    std::wstring strMessage;  // empty: no box
    std::wstring strStatus;   // the status line right after
    int64_t nBoxAtMs = -1;
};

void PrintTo(const FailureCase& c, std::ostream* pOut) {
    *pOut << c.pName;
}

class ReadStoreFailures : public ReadStore, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ReadStoreFailures, EndsWithItsMessageAndLeavesEverythingClosed) {
    const FailureCase& c = GetParam();
    gyro.SetWord(0x0100, 1658);  // a high endpoint of 33 % that a failed Read must not keep
    const GyroParameters before = pSheet->m_gyroParameters;
    c.arrange(*this);
    TapAndFinish(c.nButton);
    EXPECT_EQ(BoxTexts(), c.strMessage.empty() ? std::vector<std::wstring>{}
                                               : std::vector<std::wstring>{c.strMessage});
    for (const auto& box : host.MessageBoxes()) {
        EXPECT_EQ(box.nAtMs - m_nTapMs, c.nBoxAtMs);
        EXPECT_EQ(box.strCaption, L"Attention");
        EXPECT_EQ(box.nType, MB_OK | MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(Text(IDC_STATUS), c.strStatus);
    EXPECT_EQ(pSheet->m_gyroParameters, before);
    EXPECT_TRUE(WritesSeen().empty());
    ExpectCleanEnding();
    loop.RunFor(2000);
    EXPECT_EQ(Text(IDC_STATUS), L"");
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ReadStoreFailures,
    ::testing::Values(
        FailureCase{"read_no_echo", IDC_READ, [](ReadStore& t) { t.gyro.SetNoEcho(true); }, UNABLE,
                    L"", 1101 + 1000},
        FailureCase{"store_no_echo", IDC_STORE, [](ReadStore& t) { t.gyro.SetNoEcho(true); }, LOST,
                    L"", 1011 + 1000},
        // Something else keeps talking on the port: the wake-up drops 64 waiting bytes, 10 ms
        // each, then waits for the echo as always. The talk stops after 10 s, so that a read
        // that never ends fails instead of hanging.
        FailureCase{"read_port_keeps_talking", IDC_READ,
                    [](ReadStore& t) {
                        t.gyro.SetNoEcho(true);
                        t.gyro.SetChatter("$GPGSV,3,1,11*4E\r\n");
                        t.loop.ScheduleDeviceWork(10'000'000'000, [&t] { t.gyro.SetChatter(""); });
                    },
                    UNABLE, L"", 1101 + 640 + 1000},
        FailureCase{"read_silent_later", IDC_READ, [](ReadStore& t) { t.gyro.SetSilentAfter(4); },
                    LOST, L"", 1194 + 1000},
        // A zero byte right after the prefix cuts the product ID answer short for ever.
        FailureCase{"read_zero_byte", IDC_READ,
                    [](ReadStore& t) { t.gyro.SetZeroByte(GyroFaultTarget::Nth(1)); }, LOST, L"",
                    1112 + 1000},
        FailureCase{"read_cable_pulled", IDC_READ,
                    [](ReadStore& t) { t.gyro.SetDisconnectAfter(3); }, LOST, L"", 1174 + 1000},
        FailureCase{"store_cable_pulled", IDC_STORE,
                    [](ReadStore& t) { t.gyro.SetDisconnectAfter(5); }, LOST, L"", 1123 + 1000},
        FailureCase{
            "read_unknown_product", IDC_READ, [](ReadStore& t) { t.gyro.SetProductId(0x0390); },
            L"Unknown device with Product ID 0390.\n\nThis program is not designed to interface "
            L"with your product.",
            L"Read Failed", 1132},
        FailureCase{"read_wrong_format", IDC_READ,
                    [](ReadStore& t) { t.gyro.SetMemoryMapVersion(2); }, WRONG_FORMAT_R2,
                    L"Read Failed", 1153},
        FailureCase{"store_wrong_format", IDC_STORE,
                    [](ReadStore& t) { t.gyro.SetMemoryMapVersion(2); }, WRONG_FORMAT_R2,
                    L"Read Failed", 1042},
        FailureCase{"read_bad_parameter_checksum", IDC_READ,
                    [](ReadStore& t) { t.gyro.SetBadChecksum(GyroFaultTarget::Address(0x0108)); },
                    L"", L"Read Failed"},
        // Noise before an answer shifts its 9-character skip: the checksum refuses it.
        FailureCase{"read_noise", IDC_READ,
                    [](ReadStore& t) { t.gyro.SetNoise("x", GyroFaultTarget::Address(0x0102)); },
                    L"", L"Read Failed"},
        FailureCase{"store_bad_direction_checksum", IDC_STORE,
                    [](ReadStore& t) { t.gyro.SetBadChecksum(GyroFaultTarget::Address(0x011E)); },
                    L"", L"Read Failed"},
        FailureCase{"read_send_fails", IDC_READ,
                    [](ReadStore& t) { t.line.FailNext("Write", EIO); },
                    L"Problem with COM1: Input/output error", L"", 1101},
        FailureCase{"store_send_fails", IDC_STORE,
                    [](ReadStore& t) { t.line.FailNext("Write", EIO); },
                    L"Problem with COM1: Input/output error", L"", 1011},
        FailureCase{"read_port_gone", IDC_READ, [](ReadStore& t) { t.line.Disconnect(); },
                    L"Cannot open COM1: No such device", L"", 101},
        // Only COM1..COM8 can be opened.
        FailureCase{"read_com9", IDC_READ, [](ReadStore& t) { t.Main().m_link.SetComPort(9); },
                    L"Cannot open COM9: Error Code -1", L"", 101},
        FailureCase{"store_com9", IDC_STORE, [](ReadStore& t) { t.Main().m_link.SetComPort(9); },
                    L"Cannot open COM9: Error Code: -1", L"", 11}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
        return std::string(info.param.pName);
    });

TEST_F(ReadStore, ACorruptIdentityAnswerIsPassedOver) {
    TapAndFinish(IDC_READ);
    // Now an unknown product whose answer is corrupt: the check is skipped, the old value stays.
    gyro.SetProductId(0x0390);
    gyro.SetBadChecksum(GyroFaultTarget::Address(0x0008));
    TapAndFinish(IDC_READ);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Read Complete");
    EXPECT_EQ(Main().m_link.Identity().ProductId, 0x0480u);
    // A corrupt firmware word leaves its box empty (the Read emptied it) and its value as it was.
    gyro.SetProductId(0x0480);
    gyro.SetBadChecksum(GyroFaultTarget::Address(0x0006));
    TapAndFinish(IDC_READ);
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"");
    EXPECT_EQ(Main().m_link.Identity().FirmwareVersion, 107);
    EXPECT_EQ(Text(IDC_LOADER_VERSION), L"1.03");
}

// One sequence at a time: a start while another runs does nothing, not even the agreement;
// and only "I Agree" starts a store.
TEST_F(ReadStore, NoSecondSequenceAndNoStoreWithoutTheAgreement) {
    const struct {
        const char* pName;
        int nFirst, nSecond;  // nSecond is tapped during the first step's wait (0: none)
        bool bAgree, bReadDuringAgreement;
        const wchar_t* pStatus;
        uint32_t nWakeUps;
        size_t nWrites, nDialogs;
    } cases[] = {
        {"agreement_cancelled", IDC_STORE, 0, false, false, L"Program Version: 1.07", 0, 0, 1},
        {"store_during_read", IDC_READ, IDC_STORE, true, false, L"Read Complete", 1, 0, 0},
        {"read_during_store", IDC_STORE, IDC_READ, true, false, L"Write Complete", 1, 15, 1},
        {"read_during_agreement", IDC_STORE, 0, true, true, L"Read Complete", 1, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pName);
        gyro.ResetCounters();
        const size_t nDialogsBefore = host.DialogsShown().size();
        Agree(c.bAgree, [&] {
            if (c.bReadDuringAgreement)
                Main().OnRead();
        });
        CUserInput::Tap(Ctl(c.nFirst));
        loop.RunFor(5);
        if (c.nSecond)
            CUserInput::Tap(Ctl(c.nSecond));
        ASSERT_TRUE(loop.RunUntil([&] { return Over(); }, 10'000));
        EXPECT_EQ(Text(IDC_STATUS), c.pStatus);
        EXPECT_EQ(gyro.WakeUps(), c.nWakeUps);
        EXPECT_EQ(WritesSeen().size(), c.nWrites);
        EXPECT_EQ(host.DialogsShown().size() - nDialogsBefore, c.nDialogs);
        EXPECT_TRUE(host.MessageBoxes().empty());
        ExpectCleanEnding();
        loop.RunFor(2000);
    }
}

// A late answer after a time-out is dropped by the next wake-up (15 stale bytes, 150 ms):
// the next Read takes only its own answers.
TEST_F(ReadStore, ALateAnswerIsNeverTakenForTheNextRequest) {
    gyro.SetDelay(1200, GyroFaultTarget::Address(0x0000));
    TapAndFinish(IDC_READ);
    EXPECT_THAT(BoxTexts(), ElementsAre(LOST));
    EXPECT_EQ(host.MessageBoxes()[0].nAtMs - m_nTapMs, 1133 + 1000);
    host.ClearMessageBoxes();
    gyro.ClearFaults();
    TapAndFinish(IDC_READ);
    EXPECT_EQ(loop.NowMs() - m_nTapMs, 1554 + 150);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Read Complete");
    EXPECT_EQ(pSheet->m_gyroParameters.HighEndpoint, 100);
}

}  // namespace
