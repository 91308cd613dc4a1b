// Read and Store end to end: a person taps the Main page's buttons, the software gyro answers
// over the in-memory line, and the page shows what happened, in virtual time. The times are
// worked out by hand: 100 ms (Read) or 10 ms (Store) before the open, 1000 ms before the
// wake-up, 1 ms between steps, and each answer taken by the first 10 ms poll after its last
// byte (520.8 us a byte), which makes every later exchange 20 ms.

#include "app_fixture.h"

namespace {

using namespace platform::ui;

class ReadStore : public SheetFixture {
  public:
    // Taps, then runs 1 ms at a time: each new status text after its time since the tap, as
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
    ASSERT_TRUE(loop.RunUntil([&] { return Text(IDC_STATUS).empty(); }, 10'000));
    EXPECT_EQ(loop.NowMs() - m_nTapMs, 1554 + 2000);
}

// A serial number is taken whole or not at all: when either half fails its checksum, the
// last one stays and the box stays empty.
TEST_F(ReadStore, ASerialNumberIsNeverMadeOfTwoReads) {
    for (const uint32_t nBadWord : {0u, 4u, 5u}) {  // none, the low word, the high word
        gyro.ResetCounters();
        if (nBadWord)
            gyro.SetBadChecksum(sim::GyroFaultTarget::Nth(nBadWord));
        TapAndWatch(IDC_READ);
        EXPECT_EQ(Text(IDC_SERIAL_NUMBER), nBadWord ? L"" : L"74565");
        EXPECT_EQ(Main().m_link.Identity().SerialNumber, 74565);
        gyro.SetWord(0x000A, 0x0001);  // the number of another gyro: 131073
        gyro.SetWord(0x000C, 0x0002);
    }
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
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"1.07");
    const std::vector<sim::GyroWrite> expected = {
        {0x0100, 2024},   {0x0102, 1100},   {0x0104, 100},    {0x0106, 100},    {0x0108, 5},
        {0x010A, 0xFFCE}, {0x010C, 0xFFCE}, {0x010E, 5},      {0x0110, 0},      {0x0112, 5},
        {0x0114, 0},      {0x0116, 100},    {0x0118, 0x1806}, {0x011C, 0xFFEC}, {0x011E, 0x0BFF}};
    EXPECT_EQ(gyro.Writes(), expected);
}

// Only "I Agree" starts a store, and a Read tapped under the agreement runs alone. A start
// while another sequence runs is tried in every row of the fault matrix.
TEST_F(ReadStore, NoStoreWithoutTheAgreementAndAReadUnderItRunsAlone) {
    for (const bool bReadUnder : {false, true}) {
        SCOPED_TRACE(bReadUnder);
        gyro.ResetCounters();
        bAgree = bReadUnder;
        duringAgreement = [&] {
            if (bReadUnder)
                Main().OnRead();
        };
        CUserInput::Tap(Ctl(IDC_STORE));
        ASSERT_TRUE(loop.RunUntil([&] { return Over(); }, 10'000));
        EXPECT_EQ(Text(IDC_STATUS), bReadUnder ? L"Read Complete" : L"Program Version: 1.07");
        EXPECT_EQ(gyro.WakeUps(), bReadUnder ? 1u : 0u);
        EXPECT_TRUE(gyro.Writes().empty());
        EXPECT_EQ(host.DialogsShown().size(), bReadUnder ? 2u : 1u);
        EXPECT_TRUE(host.MessageBoxes().empty());
        ExpectCleanEnding();
    }
}

}  // namespace
