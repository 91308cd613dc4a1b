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
using ::testing::ElementsAre;

const wchar_t CHECK[] =
    L"\nCheck that:\nThe gyro is powered.\nAll the cables are connected corretly.\nThe correct "
    L"COM port is selected.";
const std::wstring UNABLE = L"Unable to communicate with the gyro. " + std::wstring(CHECK);
const std::wstring LOST = L"Lost communications with the gyro, " + std::wstring(CHECK);
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
            // Enter ends the agreement with OK, but without "I Agree".
            bAgree ? CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)) : CUserInput::PressEnter(d);
        });
    }
    bool Over() { return Main().m_link.State() == LINK_IDLE && !Main().m_link.IsBusy(); }
    void TapAndFinish(int nId) {
        m_nTapMs = loop.NowMs();
        ASSERT_TRUE(CUserInput::Tap(Ctl(nId)));
        ASSERT_TRUE(loop.RunUntil([&] { return Over(); }, 60'000));
    }
    // The same, 1 ms at a time: each new status text after its time since the tap, as
    // "ms text|". Meanwhile nothing else can be started and the page cannot be left.
    std::wstring TapAndWatch(int nId) {
        std::wstring strSeen, strLast = L"-";
        m_nTapMs = loop.NowMs();
        CUserInput::Tap(Ctl(nId));
        while ((strSeen.empty() || !Over()) && loop.NowMs() - m_nTapMs < 10'000) {
            loop.RunFor(1);
            if (Text(IDC_STATUS) != strLast)
                strSeen += std::to_wstring(loop.NowMs() - m_nTapMs) + L" " +
                           (strLast = Text(IDC_STATUS)) + L"|";
            if (Main().m_link.IsBusy()) {
                EXPECT_FALSE(CUserInput::Tap(Ctl(IDC_LOAD_DEFAULTS)));
                EXPECT_FALSE(Main().OnKillActive());
            }
        }
        return strSeen;
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
    int64_t BoxAtMs(size_t nBox = 0) const { return host.MessageBoxes()[nBox].nAtMs - m_nTapMs; }
    int64_t m_nTapMs = 0;
};

TEST_F(ReadStore, ReadNamesEachRequestAsItGoesAndCompletesAt1554Ms) {
    loop.RunFor(7);
    EXPECT_EQ(TapAndWatch(IDC_READ),
              L"1 Initialising COM1|101 Opened COM1|1112 Read PID|1133 Read Memory Map Version|"
              L"1154 Read Firmware Version|1174 Read Serial Number|1214 Read Loader Version|"
              L"1253 Read High Endpoint|1273 Read Low Endpoint|1293 Read AVCS Clockwise Stop Gain|"
              L"1313 Read AVCS Counter Clockwise Stop Gain|1333 Read Rudderstick Deadband|"
              L"1353 Read AVCS Rudder Exponential|1373 Read Rate Rudder Exponential|"
              L"1393 Read AVCS Acceleration Profile|1413 Read AVCS Deceleration Profile|"
              L"1473 Read AVCS Rudder Sensitivity|1493 Read Servo Data|1533 Read Midpoint Trim|"
              L"1553 Read Servo Direction|1554 Read Complete|");
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION) + Text(IDC_LOADER_VERSION) + Text(IDC_SERIAL_NUMBER),
              L"1.071.0374565");
    EXPECT_EQ(gyro.ReadCount(), 22u);
    ExpectCleanEnding();
    ASSERT_TRUE(loop.RunUntil([&] { return Text(IDC_STATUS).empty(); }, 10'000));
    EXPECT_EQ(loop.NowMs() - m_nTapMs, 1554 + 2000);
}

TEST_F(ReadStore, StoreWritesTheFifteenWordsInOrderAfterTheAgreement) {
    // The defaults but for the high endpoint, the acceleration profile, the servo (Futaba
    // BLS251, key 24), its type, the trim and the direction.
    pSheet->m_gyroParameters = {120, 100, 100, 100, 5, -50, -50, 10, 15, 100, 9, 5, 1, -20, true};
    gyro.SetWord(0x011E, 0x00FF);
    // The profile copies (items 9, 10) leave the status line as it is.
    EXPECT_EQ(TapAndWatch(IDC_STORE),
              L"1 Initialising COM1|11 Opened COM1|1022 Read Memory Map Version|"
              L"1043 Read Firmware Version|1063 Read Serial Number|1103 Read Loader Version|"
              L"1143 Write High Endpoint|1163 Write Low Endpoint|"
              L"1183 Write AVCS Clockwise Stop Gain|1203 Write AVCS Counter Clockwise Stop Gain|"
              L"1223 Write Rudderstick Deadband|1243 Write AVCS Rudder Exponential|"
              L"1263 Write Rate Rudder Exponential|1283 Write AVCS Acceleration Profile|"
              L"1303 Write AVCS Deceleration Profile|1363 Write AVCS Rudder Sensitivity|"
              L"1383 Write Servo Data|1403 Write Midpoint Trim|1423 Write Servo Direction|"
              L"1443 Write Complete|");
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"1.07");
    const std::vector<sim::GyroWrite> expected = {
        {0x0100, 2024},   {0x0102, 1100},   {0x0104, 100},    {0x0106, 100},    {0x0108, 5},
        {0x010A, 0xFFCE}, {0x010C, 0xFFCE}, {0x010E, 5},      {0x0110, 0},      {0x0112, 5},
        {0x0114, 0},      {0x0116, 100},    {0x0118, 0x1806}, {0x011C, 0xFFEC}, {0x011E, 0x0BFF}};
    EXPECT_EQ(gyro.Writes(), expected);
    ExpectCleanEnding();
}

// Every way a sequence can fail, produced by the gyro or the port, with what the person sees
// and when the box shows (after the tap). A Read that fails keeps the record as it was; a
// Store that fails has written only the words before.
struct FailureCase {
    const char* pName;
    int nButton;
    std::function<void(ReadStore&)> arrange;
    std::wstring strMessage;  // empty: no box
    std::wstring strStatus;   // the status line right after
    int64_t nBoxAtMs = -1;
    size_t nWrites = 0;
};

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
    EXPECT_EQ(gyro.Writes().size(), c.nWrites);
    ExpectCleanEnding();
    loop.RunFor(2000);
    EXPECT_EQ(Text(IDC_STATUS), L"");
}

const auto Checksum = [](uint16_t wAddress) {
    return [=](ReadStore& t) { t.gyro.SetBadChecksum(GyroFaultTarget::Address(wAddress)); };
};

INSTANTIATE_TEST_SUITE_P(
    Endings, ReadStoreFailures,
    ::testing::ValuesIn(std::vector<FailureCase>{
        {"read_no_echo", IDC_READ, [](ReadStore& t) { t.gyro.SetNoEcho(true); }, UNABLE, L"",
         1101 + 1000},
        {"store_no_echo", IDC_STORE, [](ReadStore& t) { t.gyro.SetNoEcho(true); }, LOST, L"",
         1011 + 1000},
        // Something else keeps talking on the port: the wake-up drops 64 waiting bytes, 10 ms
        // each, then waits for the echo as always. The talk stops after 10 s, so that a read
        // that never ends fails instead of hanging.
        {"read_port_keeps_talking", IDC_READ,
         [](ReadStore& t) {
             t.gyro.SetNoEcho(true);
             t.gyro.SetChatter("$GPGSV,3,1,11*4E\r\n");
             t.loop.ScheduleDeviceWork(10'000'000'000, [&t] { t.gyro.SetChatter(""); });
         },
         UNABLE, L"", 1101 + 640 + 1000},
        {"read_silent_later", IDC_READ, [](ReadStore& t) { t.gyro.SetSilentAfter(4); }, LOST, L"",
         1194 + 1000},
        // A zero byte right after the prefix cuts the product ID answer short for ever.
        {"read_zero_byte", IDC_READ,
         [](ReadStore& t) { t.gyro.SetZeroByte(GyroFaultTarget::Nth(1)); }, LOST, L"", 1112 + 1000},
        // Five identity requests and the direction word come first: three writes go through.
        {"store_silent_after_three_writes", IDC_STORE,
         [](ReadStore& t) { t.gyro.SetSilentAfter(6 + 3); }, LOST, L"", 1203 + 1000, 3},
        {"read_cable_pulled", IDC_READ, [](ReadStore& t) { t.gyro.SetDisconnectAfter(3); }, LOST,
         L"", 1174 + 1000},
        {"read_unknown_product", IDC_READ, [](ReadStore& t) { t.gyro.SetProductId(0x0A5C); },
         L"Unknown device with Product ID 0a5c.\n\nThis program is not designed to interface "
         L"with your product.",
         L"Read Failed", 1132},
        {"read_wrong_format", IDC_READ, [](ReadStore& t) { t.gyro.SetMemoryMapVersion(2); },
         WRONG_FORMAT_R2, L"Read Failed", 1153},
        {"store_wrong_format", IDC_STORE, [](ReadStore& t) { t.gyro.SetMemoryMapVersion(2); },
         WRONG_FORMAT_R2, L"Read Failed", 1042},
        {"read_bad_parameter_checksum", IDC_READ, Checksum(0x0108), L"", L"Read Failed"},
        // Noise before an answer shifts its 9-character skip: the checksum refuses it.
        {"read_noise", IDC_READ,
         [](ReadStore& t) { t.gyro.SetNoise("x", GyroFaultTarget::Address(0x0102)); }, L"",
         L"Read Failed"},
        {"store_bad_direction_checksum", IDC_STORE, Checksum(0x011E), L"", L"Read Failed"},
        {"read_send_fails", IDC_READ, [](ReadStore& t) { t.line.FailNext("Write", EIO); },
         L"Problem with COM1: Input/output error", L"", 1101},
        {"read_port_gone", IDC_READ, [](ReadStore& t) { t.line.Disconnect(); },
         L"Cannot open COM1: No such device", L"", 101},
        // Only COM1..COM8 can be opened.
        {"read_com9", IDC_READ, [](ReadStore& t) { t.Main().m_link.SetComPort(9); },
         L"Cannot open COM9: Error Code -1", L"", 101},
        {"store_com9", IDC_STORE, [](ReadStore& t) { t.Main().m_link.SetComPort(9); },
         L"Cannot open COM9: Error Code: -1", L"", 11}}),
    [](const auto& info) { return std::string(info.param.pName); });

// A corrupt identity answer is passed over: neither checked nor taken.
TEST_F(ReadStore, ACorruptIdentityAnswerIsPassedOver) {
    gyro.SetProductId(0x0390);
    gyro.SetBadChecksum(GyroFaultTarget::Address(0x0008));
    TapAndFinish(IDC_READ);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Read Complete");
    EXPECT_EQ(Main().m_link.Identity().ProductId, 0u);
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
        {"agreement_not_given", IDC_STORE, 0, false, false, L"Program Version: 1.07", 0, 0, 1},
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
        EXPECT_EQ(gyro.Writes().size(), c.nWrites);
        EXPECT_EQ(host.DialogsShown().size() - nDialogsBefore, c.nDialogs);
        EXPECT_TRUE(host.MessageBoxes().empty());
        ExpectCleanEnding();
        loop.RunFor(2000);
    }
}

}  // namespace
