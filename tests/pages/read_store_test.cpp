// Read and Store end to end: a person taps the Main page's buttons, the software gyro answers
// over the in-memory line, and the page shows what happened, in virtual time.
#include <gmock/gmock.h>

#include "app_fixture.h"
#include "link/comport.h"
#include "pages/main_page.h"
#include "pages/splash.h"

namespace {

using namespace platform::ui;
using sim::GyroWrite;
using ::testing::ElementsAre;

constexpr int64_t MS = 1'000'000;
constexpr int64_t BYTE_NS = 520'833;

const wchar_t UNABLE[] =
    L"Unable to communicate with the gyro. \nCheck that:\nThe gyro is powered.\nAll the cables are "
    L"connected corretly.\nThe correct COM port is selected.";
const wchar_t LOST[] =
    L"Lost communications with the gyro, \nCheck that:\nThe gyro is powered.\nAll the cables are "
    L"connected corretly.\nThe correct COM port is selected.";

class ReadStore : public AppFixture {
  public:
    ReadStore() {
        AddPort(1, L"Simulated tq480 gyro");
        AnswerBoxesAfter(0);
        Start();
        host.SetDialogResponder(IDD_SPLASH,
                                [](CDialog& d) { CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)); });
    }
    bool Idle() const { return pSheet->m_mainPage.m_link.State() == LINK_IDLE; }
    // Taps a button and runs until the sequence is over.
    void TapAndFinish(int nId) {
        m_nTapMs = loop.NowMs();
        ASSERT_TRUE(CUserInput::Tap(Ctl(nId)));
        ASSERT_TRUE(loop.RunUntil([&] { return Idle() && !Main().m_link.IsBusy(); }, 60'000));
    }
    // What every ending leaves behind.
    void ExpectCleanEnding() {
        EXPECT_FALSE(Main().m_link.IsBusy());
        EXPECT_EQ(Main().m_link.State(), LINK_IDLE);
        EXPECT_FALSE(line.IsProgramEndOpen());
        EXPECT_FALSE(loop.HasTimer(&Main(), TIMER_RESPONSE_TIMEOUT));
        EXPECT_FALSE(loop.HasTimer(&Main(), TIMER_RECEIVE_POLL));
        for (const int nId : {IDC_READ, IDC_STORE, IDC_LOAD_DEFAULTS, IDC_COMPORT})
            EXPECT_TRUE(Ctl(nId).IsWindowEnabled()) << nId;
    }
    int64_t m_nTapMs = 0;
    std::vector<GyroWrite> WritesSeen() const {
        std::vector<GyroWrite> writes;
        for (const auto& request : gyro.Requests())
            if (request.nKind == sim::GyroRequestKind::WRITE &&
                request.nOutcome == sim::GyroOutcome::ANSWERED)
                writes.push_back({request.nAddress, request.nValue});
        return writes;
    }
};

TEST_F(ReadStore, ReadFillsTheIdentityBoxesAndEveryField) {
    sim::ParameterWords words = gyro.Parameters();
    words[0] = 1658;     // high endpoint 33 %
    words[5] = 0xFFCE;   // AVCS exponential -50
    words[7] = 3;        // acceleration profile 12
    words[12] = 0x0406;  // servo key 4 (Futaba S9650, row 17), speed 5
    words[14] = 0xFFF6;  // midpoint trim -10
    words[15] = 0x0B00;  // type 1, reversed
    gyro.SetParameters(words);
    gyro.SetSerialNumber(74565);

    TapAndFinish(IDC_READ);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"1.07");
    EXPECT_EQ(Text(IDC_LOADER_VERSION), L"1.03");
    EXPECT_EQ(Text(IDC_SERIAL_NUMBER), L"74565");
    EXPECT_EQ(Text(IDC_STATUS), L"Read Complete");
    const GyroParameters& params = pSheet->m_gyroParameters;
    EXPECT_EQ(params.HighEndpoint, 33);
    EXPECT_EQ(params.LowEndpoint, 100);
    EXPECT_EQ(params.AvcsRudderExponential, -50);
    EXPECT_EQ(params.AvcsAccelerationProfile, 12);
    EXPECT_EQ(params.ServoPreset, 17);
    EXPECT_EQ(params.ServoSpeed, 5);
    EXPECT_EQ(params.MidpointTrim, -10);
    EXPECT_EQ(params.ServoType, 1);
    EXPECT_TRUE(params.ServoDirection);
    EXPECT_EQ(Main().m_link.Identity().ProductId, 0x0480u);
    EXPECT_EQ(Main().m_link.Identity().MemoryMapVersion, 3u);
    EXPECT_EQ(gyro.ReadCount(), 22u);
    EXPECT_EQ(gyro.WakeUps(), 1u);
    ExpectCleanEnding();
}

// The waits of the sequence and the bytes on the line, worked out on their own: each step
// follows the last after 1 ms, answers are taken by the first 10 ms poll after their last
// byte, and the poll starts afresh where a step arms it.
int64_t ExpectedReadCompleteNs(int64_t nTapNs) {
    int64_t t = nTapNs + 1 * MS + 100 * MS + 1000 * MS;  // state 1, open, wake-up step
    int64_t nPoll = 0;
    auto exchange = [&](int nBytes, bool bRearmPoll) {
        if (bRearmPoll)
            nPoll = t + 10 * MS;
        const int64_t nArrived = t + nBytes * BYTE_NS;
        while (nPoll < nArrived)
            nPoll += 10 * MS;
        t = nPoll + 1 * MS;  // the answer is taken at that poll, the next step 1 ms later
        nPoll += 10 * MS;
    };
    exchange(5 + 5, true);    // wake-up and echo
    exchange(10 + 15, true);  // product ID
    exchange(10 + 15, true);  // memory map version
    for (int i = 0; i < 4; ++i)
        exchange(10 + 15, false);  // firmware, serial x2, loader
    for (int i = 0; i < 16; ++i)
        exchange(10 + 15, false);  // parameter words
    return t;
}

TEST_F(ReadStore, ReadCompleteArrivesWhenTheWaitsAndLineTimeSayAndClearsTwoSecondsLater) {
    loop.RunFor(7);
    const int64_t nTap = loop.NowNs();
    CUserInput::Tap(Ctl(IDC_READ));
    // The identity boxes empty at once.
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"");
    ASSERT_TRUE(loop.RunUntil([&] { return Text(IDC_STATUS) == L"Read Complete"; }, 10'000));
    EXPECT_EQ(loop.NowNs(), ExpectedReadCompleteNs(nTap));
    EXPECT_EQ(loop.NowNs() - nTap, 1554 * MS);
    const int64_t nComplete = loop.NowNs();
    ASSERT_TRUE(loop.RunUntil([&] { return Text(IDC_STATUS).empty(); }, 10'000));
    EXPECT_EQ(loop.NowNs() - nComplete, 2000 * MS);
}

TEST_F(ReadStore, StatusLineNamesEachRequestAndThePageCannotBeLeftMeanwhile) {
    std::vector<std::wstring> statuses;
    CUserInput::Tap(Ctl(IDC_READ));
    while (!Idle() || Main().m_link.IsBusy() || statuses.empty()) {
        loop.RunFor(1);
        if (statuses.empty() || statuses.back() != Text(IDC_STATUS))
            statuses.push_back(Text(IDC_STATUS));
        if (Main().m_link.IsBusy()) {
            EXPECT_FALSE(Ctl(IDC_READ).IsWindowEnabled());
            EXPECT_FALSE(CUserInput::Tap(Ctl(IDC_LOAD_DEFAULTS)));
        }
        if (loop.NowMs() > 5000)
            break;
    }
    EXPECT_THAT(
        statuses,
        ElementsAre(L"Initialising COM1", L"Opened COM1", L"Read PID", L"Read Memory Map Version",
                    L"Read Firmware Version", L"Read Serial Number", L"Read Loader Version",
                    L"Read High Endpoint", L"Read Low Endpoint", L"Read AVCS Clockwise Stop Gain",
                    L"Read AVCS Counter Clockwise Stop Gain", L"Read Rudderstick Deadband",
                    L"Read AVCS Rudder Exponential", L"Read Rate Rudder Exponential",
                    L"Read AVCS Acceleration Profile", L"Read AVCS Deceleration Profile",
                    L"Read AVCS Rudder Sensitivity", L"Read Servo Data", L"Read Midpoint Trim",
                    L"Read Servo Direction", L"Read Complete"));
}

TEST_F(ReadStore, TabsStayOnMainWhileTheLinkIsBusy) {
    CUserInput::Tap(Ctl(IDC_READ));
    loop.RunFor(500);
    ASSERT_TRUE(Main().m_link.IsBusy());
    EXPECT_FALSE(Main().OnKillActive());
    EXPECT_FALSE(CUserInput::CloseSheet(*pSheet));
    loop.RunUntil([&] { return !Main().m_link.IsBusy(); }, 10'000);
    EXPECT_TRUE(Main().OnKillActive());
}

TEST_F(ReadStore, StoreWritesTheFifteenWordsInOrderAfterTheAgreement) {
    GyroParameters& params = pSheet->m_gyroParameters;
    params.HighEndpoint = 120;
    params.AvcsAccelerationProfile = 10;
    params.ServoPreset = 9;  // Futaba BLS251, key 24
    params.ServoSpeed = 5;
    params.ServoType = 1;
    params.ServoDirection = true;
    params.MidpointTrim = -20;
    sim::ParameterWords words = gyro.Parameters();
    words[15] = 0x00FF;
    gyro.SetParameters(words);

    TapAndFinish(IDC_STORE);
    EXPECT_THAT(host.DialogsShown(), ElementsAre(IDD_SPLASH));
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Write Complete");
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"1.07");
    const std::vector<GyroWrite> expected = {{0x0100, 2024},
                                             {0x0102, 1100},
                                             {0x0104, 100},
                                             {0x0106, 100},
                                             {0x0108, 5},
                                             {0x010A, 0xFFCE},
                                             {0x010C, 0xFFCE},
                                             {0x010E, 5},
                                             {0x0110, 0},
                                             {0x0112, 5},
                                             {0x0114, 0},
                                             {0x0116, 100},
                                             {0x0118, 24 * 256 + 6},
                                             {0x011C, 0xFFEC},
                                             {0x011E, 0x0BFF}};
    EXPECT_EQ(WritesSeen(), expected);
    const sim::ParameterWords stored = gyro.Parameters();
    for (const GyroWrite& write : expected)
        EXPECT_EQ(stored[(write.nAddress - 0x0100) / 2], write.nValue);
    EXPECT_EQ(gyro.ReadCount(0x0008), 0u);  // a store asks no product ID
    ExpectCleanEnding();

    // A new agreement for every store.
    TapAndFinish(IDC_STORE);
    EXPECT_THAT(host.DialogsShown(), ElementsAre(IDD_SPLASH, IDD_SPLASH));
}

TEST_F(ReadStore, StoreNeedsTheAgreement) {
    host.SetDialogResponder(IDD_SPLASH,
                            [](CDialog& d) { CUserInput::Tap(*d.GetDlgItem(IDCANCEL)); });
    CUserInput::Tap(Ctl(IDC_STORE));
    loop.RunFor(5000);
    EXPECT_EQ(gyro.WakeUps(), 0u);
    EXPECT_TRUE(WritesSeen().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Program Version: 1.07");
}

TEST_F(ReadStore, StoreStoppedAfterTheThirdWriteLeavesOnlyItemsZeroToTwo) {
    sim::ParameterWords words;
    words.fill(0x1111);
    gyro.SetParameters(words);
    // Five identity requests and the direction word come first (the wake-up is not counted).
    gyro.SetSilentAfter(6 + 3);
    TapAndFinish(IDC_STORE);
    EXPECT_THAT(BoxTexts(), ElementsAre(LOST));
    const std::vector<GyroWrite> expected = {{0x0100, 1940}, {0x0102, 1100}, {0x0104, 100}};
    EXPECT_EQ(WritesSeen(), expected);
    const sim::ParameterWords stored = gyro.Parameters();
    for (size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(stored[i], i < 3 ? expected[i].nValue : 0x1111) << i;
    ExpectCleanEnding();
}

// Every way a sequence can fail, produced by the gyro or the port, with what the person sees.
struct FailureCase {
    const char* pName;
    int nButton;
    std::function<void(ReadStore&)> arrange;
    std::wstring strMessage;  // empty: no box
    std::wstring strStatus;   // the status line right after
    int64_t nBoxAtMs = -1;    // when the box shows, after the tap
};

void PrintTo(const FailureCase& c, std::ostream* pOut) {
    *pOut << c.pName;
}

class ReadStoreFailures : public ReadStore, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ReadStoreFailures, EndsWithItsMessageAndLeavesEverythingClosed) {
    const FailureCase& c = GetParam();
    c.arrange(*this);
    TapAndFinish(c.nButton);
    if (c.strMessage.empty())
        EXPECT_TRUE(host.MessageBoxes().empty());
    else
        EXPECT_THAT(BoxTexts(), ElementsAre(c.strMessage));
    for (const auto& box : host.MessageBoxes()) {
        if (c.nBoxAtMs >= 0) {
            EXPECT_EQ(box.nAtMs - m_nTapMs, c.nBoxAtMs);
        }
        EXPECT_EQ(box.strCaption, L"Attention");
        EXPECT_EQ(box.nType, MB_OK | MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(Text(IDC_STATUS), c.strStatus);
    ExpectCleanEnding();
    if (c.strStatus == L"Read Failed") {
        loop.RunFor(2000);
        EXPECT_EQ(Text(IDC_STATUS), L"");
    }
}

const wchar_t WRONG_FORMAT_R2[] =
    L"Your gyro firmware uses configuration format R2 but this program supports R3 only.\n\n"
    L"Please update your gyro with the latest firmware and download the latest version of this "
    L"application.\n\nBoth are available on the Morvane RC website.";

INSTANTIATE_TEST_SUITE_P(
    Endings, ReadStoreFailures,
    ::testing::Values(
        FailureCase{"read_no_echo", IDC_READ, [](ReadStore& t) { t.gyro.SetNoEcho(true); }, UNABLE,
                    L"", 2101},
        FailureCase{"store_no_echo", IDC_STORE, [](ReadStore& t) { t.gyro.SetNoEcho(true); }, LOST,
                    L"", 2011},
        FailureCase{"read_silent_later", IDC_READ, [](ReadStore& t) { t.gyro.SetSilentAfter(4); },
                    LOST, L"", 2194},
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
        FailureCase{
            "read_bad_parameter_checksum", IDC_READ,
            [](ReadStore& t) { t.gyro.SetBadChecksum(sim::GyroFaultTarget::Address(0x0108)); }, L"",
            L"Read Failed"},
        FailureCase{
            "store_bad_direction_checksum", IDC_STORE,
            [](ReadStore& t) { t.gyro.SetBadChecksum(sim::GyroFaultTarget::Address(0x011E)); }, L"",
            L"Read Failed"},
        // A port where something else keeps talking: the wake-up drops 64 waiting bytes, 10 ms
        // each, then waits for an echo as usual.
        FailureCase{"read_port_keeps_talking", IDC_READ,
                    [](ReadStore& t) {
                        t.gyro.SetNoEcho(true);
                        t.gyro.SetChatter("$GPGSV,3,1,11*4E\r\n");
                        t.loop.ScheduleDeviceWork(10'000 * MS, [&t] { t.gyro.SetChatter(""); });
                    },
                    UNABLE, L"", 1101 + 640 + 1000},
        FailureCase{"read_cable_pulled", IDC_READ,
                    [](ReadStore& t) { t.gyro.SetDisconnectAfter(3); }, LOST, L"", 2174},
        FailureCase{"store_cable_pulled", IDC_STORE,
                    [](ReadStore& t) { t.gyro.SetDisconnectAfter(8); }, LOST, L"", 2183},
        FailureCase{"read_send_fails", IDC_READ,
                    [](ReadStore& t) { t.line.FailNext("Write", EIO); },
                    L"Problem with COM1: Input/output error", L"", 1101},
        FailureCase{"store_send_fails", IDC_STORE,
                    [](ReadStore& t) { t.line.FailNext("Write", EIO); },
                    L"Problem with COM1: Input/output error", L"", 1011}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
        return std::string(info.param.pName);
    });

TEST_F(ReadStore, PortBusyElsewhereGivesTheSystemText) {
    auto pHolder = line.OpenProgramEnd();  // another program holds the port
    TapAndFinish(IDC_READ);
    EXPECT_THAT(BoxTexts(), ElementsAre(L"Cannot open COM1: Device or resource busy"));
    EXPECT_EQ(Text(IDC_STATUS), L"");
    EXPECT_TRUE(Ctl(IDC_READ).IsWindowEnabled());
    EXPECT_FALSE(Main().m_link.IsBusy());
}

TEST_F(ReadStore, PortsAboveEightEndAtTheOpenStepWithMinusOne) {
    Main().m_link.SetComPort(9);
    TapAndFinish(IDC_READ);
    EXPECT_THAT(BoxTexts(), ElementsAre(L"Cannot open COM9: Error Code -1"));
    host.ClearMessageBoxes();
    TapAndFinish(IDC_STORE);
    EXPECT_THAT(BoxTexts(), ElementsAre(L"Cannot open COM9: Error Code: -1"));
    ExpectCleanEnding();
}

TEST_F(ReadStore, ACorruptIdentityAnswerIsPassedOver) {
    TapAndFinish(IDC_READ);
    ASSERT_EQ(Main().m_link.Identity().ProductId, 0x0480u);
    // Now an unknown product whose answer is corrupt: the check is skipped, the old value stays.
    gyro.SetProductId(0x0390);
    gyro.SetBadChecksum(sim::GyroFaultTarget::Address(0x0008));
    TapAndFinish(IDC_READ);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Read Complete");
    EXPECT_EQ(Main().m_link.Identity().ProductId, 0x0480u);
    EXPECT_EQ(gyro.ReadCount(0x0000), 2u);  // went on to the memory map version
    // A corrupt firmware word leaves its box empty and its value as it was.
    gyro.SetProductId(0x0480);
    gyro.SetBadChecksum(sim::GyroFaultTarget::Address(0x0006));
    TapAndFinish(IDC_READ);
    EXPECT_EQ(Text(IDC_FIRMWARE_VERSION), L"");
    EXPECT_EQ(Main().m_link.Identity().FirmwareVersion, 107);
    EXPECT_EQ(Text(IDC_LOADER_VERSION), L"1.03");
}

TEST_F(ReadStore, AFailedParameterWordLeavesTheRecordAsItWas) {
    GyroParameters before = pSheet->m_gyroParameters;
    sim::ParameterWords words = gyro.Parameters();
    words[0] = 1658;  // would change HighEndpoint if taken
    words[1] = 1000;
    gyro.SetParameters(words);
    gyro.SetBadChecksum(sim::GyroFaultTarget::Address(0x0110));
    TapAndFinish(IDC_READ);
    EXPECT_EQ(pSheet->m_gyroParameters, before);
    EXPECT_EQ(Text(IDC_STATUS), L"Read Failed");
}

TEST_F(ReadStore, NoiseAndZeroBytesOnTheLine) {
    // A zero byte inside the first answer cuts it off: that answer never completes.
    gyro.SetZeroByte(sim::GyroFaultTarget::Nth(1));
    TapAndFinish(IDC_READ);
    EXPECT_THAT(BoxTexts(), ElementsAre(LOST));
    host.ClearMessageBoxes();
    // Noise before an answer shifts its 9-character skip: the checksum refuses it, which for
    // a parameter word ends the read.
    gyro.ClearFaults();
    gyro.SetNoise("x", sim::GyroFaultTarget::Address(0x0100));
    TapAndFinish(IDC_READ);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Read Failed");
}

TEST_F(ReadStore, SlowAnswersWithinTheLimitStillRead) {
    gyro.SetDelay(900);
    TapAndFinish(IDC_READ);
    EXPECT_EQ(Text(IDC_STATUS), L"Read Complete");
    gyro.SetDelay(1200);
    TapAndFinish(IDC_READ);
    EXPECT_THAT(BoxTexts(), ElementsAre(LOST));
}

// One sequence at a time: a start while another runs does nothing, not even the agreement.
TEST_F(ReadStore, NoSecondSequenceWhileOneRuns) {
    const struct {
        const char* pName;
        int nFirst, nSecond;        // taps, nSecond during the first step's wait (0: none)
        bool bReadDuringAgreement;  // a Read starts while the agreement is open
        const wchar_t* pStatus;
        size_t nWrites, nDialogs;
    } cases[] = {
        {"store_during_read", IDC_READ, IDC_STORE, false, L"Read Complete", 0, 0},
        {"read_during_store", IDC_STORE, IDC_READ, false, L"Write Complete", 15, 1},
        {"read_during_agreement", IDC_STORE, 0, true, L"Read Complete", 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pName);
        gyro.ResetCounters();
        host.ClearMessageBoxes();
        const size_t nDialogsBefore = host.DialogsShown().size();
        host.SetDialogResponder(IDD_SPLASH, [&](CDialog& d) {
            if (c.bReadDuringAgreement)
                Main().OnRead();
            CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE));
        });
        CUserInput::Tap(Ctl(c.nFirst));
        loop.RunFor(5);
        if (c.nSecond)
            CUserInput::Tap(Ctl(c.nSecond));
        ASSERT_TRUE(loop.RunUntil([&] { return Idle() && !Main().m_link.IsBusy(); }, 10'000));
        EXPECT_EQ(Text(IDC_STATUS), c.pStatus);
        EXPECT_EQ(gyro.WakeUps(), 1u);
        EXPECT_EQ(WritesSeen().size(), c.nWrites);
        EXPECT_EQ(host.DialogsShown().size() - nDialogsBefore, c.nDialogs);
        EXPECT_TRUE(host.MessageBoxes().empty());
        ExpectCleanEnding();
    }
}

// A late answer after a time-out is dropped by the next wake-up: the next Read takes only
// its own answers, 150 ms later for the 15 stale bytes.
TEST_F(ReadStore, ALateAnswerIsNeverTakenForTheNextRequest) {
    gyro.SetDelay(1200, sim::GyroFaultTarget::Address(0x0000));
    TapAndFinish(IDC_READ);
    EXPECT_THAT(BoxTexts(), ElementsAre(LOST));
    EXPECT_EQ(host.MessageBoxes()[0].nAtMs - m_nTapMs, 2133);
    host.ClearMessageBoxes();
    gyro.ClearFaults();
    TapAndFinish(IDC_READ);
    EXPECT_EQ(loop.NowMs() - m_nTapMs, 1554 + 150);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), L"Read Complete");
    EXPECT_EQ(Main().m_link.Identity().MemoryMapVersion, 3u);
}

}  // namespace
