// A cable pulled mid-read, mid-store and mid-upload, and ports that misbehave, in real time over
// gyro-sim's pseudo-terminals: each ends with the message its state table gives, without
// spinning while it waits, with the tty closed, and a Read works once a gyro is back.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "firmware/firmware_upload.h"
#include "link/comport.h"
#include "link/gyro_link.h"
#include "platform/port_map.h"
#include "pty_support.h"

namespace {

using Clock = std::chrono::steady_clock;

const wchar_t LOST[] = L"Lost communications with the gyro, \n";
const wchar_t NO_ECHO[] = L"Unable to communicate with the gyro. \n";
const wchar_t NO_LOADER[] = L"Unable to communicate with the gyro.\n\nEnsure";
constexpr unsigned TIMER_PROBE = 900;

// Both sequences and the upload on one window, as a pilot's program has them; a 10 ms timer
// of its own shows how long the thread was kept from its timers.
class CPortWindow final : public platform::CTimerTarget,
                          public CGyroLinkOwner,
                          public CFirmwareUploadOwner {
  public:
    explicit CPortWindow(platform::EventLoop& loop)
        : m_loop(loop), m_link(*this, loop, this), m_upload(*this, loop, this) {}
    void OnTimer(unsigned nId) override {
        const int64_t nNow = m_loop.NowMs();
        if (nId == TIMER_PROBE)
            m_nLongestGapMs = std::max(m_nLongestGapMs, nNow - std::exchange(m_nProbeMs, nNow));
        m_link.OnTimer(nId);
        m_upload.OnTimer(nId);
    }
    void ShowAttention(const std::wstring& strText) override { m_messages.push_back(strText); }
    void EnableLinkControls(bool) override {}
    void RefreshControls() override {}
    GyroParameters& Parameters() override { return m_parameters; }
    void ResetFirmwarePage() override {}
    void EnableOpenButton(bool) override {}
    void SetSendButtonText(const std::wstring&) override {}
    void StartProgress(int) override {}
    void StepProgress() override {}
    bool Idle() const {
        return m_link.State() == LINK_IDLE && !m_link.IsBusy() &&
               m_upload.m_nUploadState == UPLOAD_IDLE && !m_upload.m_bTransferActive;
    }

    platform::EventLoop& m_loop;
    CGyroLink m_link;
    CFirmwareUpload m_upload;
    GyroParameters m_parameters;
    std::vector<std::wstring> m_messages;
    int64_t m_nProbeMs = 0;
    int64_t m_nLongestGapMs = 0;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Whether a descriptor of this process leads to the tty (named "(deleted)" once hung up).
bool HoldsTty(const std::string& strTty) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        const std::string strTarget = fs::read_symlink(entry.path(), ec).string();
        if (strTarget == strTty || strTarget == strTty + " (deleted)")
            return true;
    }
    return false;
}

// n of "COMn:" for the port with that friendly name, after a scan; 0 for none.
int ComPortOf(const std::string& strName) {
    platform::PortMap::Instance().Refresh();
    for (const platform::PortMapEntry& entry : platform::PortMap::Instance().Entries()) {
        if (entry.strFriendlyName == strName)
            return entry.nNumber;
    }
    return 0;
}

struct PortFault {
    const char* pName;
    std::vector<std::string> simOptions;
    char cAction;  // 'R' Read, 'S' Store, 'U' firmware upload
    const wchar_t* pMessage;
    int nTimeoutMs;  // the answer time-out that ends it
};

// The cable is pulled as the gyro takes a request: the 9th of a read (a parameter word), the
// 4th write of a store, the 6th record of an upload. The hostile ports answer nothing a gyro
// would: text or bytes 0x00 and above 0x7F for ever, or every byte sent back.
const PortFault PORT_FAULTS[] = {
    {"UnpluggedMidRead", {"--disconnect-after", "8"}, 'R', LOST, 1000},
    {"UnpluggedMidStore", {"--disconnect-after", "9"}, 'S', LOST, 1000},
    {"UnpluggedMidUpload", {"--disconnect-after", "7"}, 'U', NO_LOADER, 3000},
    {"ChatterRead",
     {"--silent-after", "0", "--chatter", "$GPGSV,3,1,11*4E\r\n"},
     'R',
     NO_ECHO,
     1000},
    {"ChatterUpload",
     {"--silent-after", "0", "--chatter", "$GPGSV,3,1,11*4E\r\n"},
     'U',
     NO_LOADER,
     3000},
    {"BinaryRead",
     {"--silent-after", "0", "--chatter-bytes", "00FF8000C3A90D0A"},
     'R',
     NO_ECHO,
     1000},
    {"BinaryStore",
     {"--silent-after", "0", "--chatter-bytes", "00FF8000C3A90D0A"},
     'S',
     LOST,
     1000},
    {"EchoRead", {"--loopback"}, 'R', LOST, 1000},
    {"EchoStore", {"--loopback"}, 'S', LOST, 1000},
    {"EchoUpload", {"--loopback"}, 'U', NO_LOADER, 3000},
};

void PrintTo(const PortFault& fault, std::ostream* pOut) {
    *pOut << fault.pName;
}

class PortFaultPty : public ::testing::TestWithParam<PortFault> {};

TEST_P(PortFaultPty, EndsByItsRulesAndTheNextReadWorks) {
    const PortFault& fault = GetParam();
    const std::string strName = std::string(fault.pName) + " " + std::to_string(getpid());
    std::optional<GyroSimProcess> sim(std::in_place, strName, fault.simOptions);
    const std::string strTty = sim->Tty();
    const int nComPort = ComPortOf(strName);
    ASSERT_FALSE(strTty.empty());
    ASSERT_TRUE(nComPort >= 1 && nComPort <= COMPORT_COUNT) << nComPort;

    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    CPortWindow window(loop);
    window.m_link.SetComPort(nComPort);
    window.m_upload.m_nComPort = nComPort;
    const fs::path fwr = fs::path(sim->MemoryPath()).parent_path() / "small.fwr";
    std::string strOut;
    ASSERT_EQ(RunCommand(MAKE_FWR_PATH " --records 10 " + fwr.string(), strOut), 0) << strOut;
    window.m_upload.m_strFirmwarePath = fwr.wstring();
    window.m_upload.m_strFileProductId = L"0480";
    window.m_nProbeMs = loop.NowMs();
    loop.SetTimer(&window, TIMER_PROBE, 10);

    const double fCpuBefore = CpuSeconds();
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(fault.cAction == 'R'   ? window.m_link.StartRead()
                : fault.cAction == 'S' ? window.m_link.StartStore()
                                       : (window.m_upload.Start(), true));
    // The limit only keeps a sequence that never ends from hanging the test.
    ASSERT_TRUE(loop.RunUntil([&] { return window.Idle(); }, 60'000));
    const double fWall = std::chrono::duration<double>(Clock::now() - start).count();
    const double fCpu = CpuSeconds() - fCpuBefore;
    ASSERT_EQ(window.m_messages.size(), 1u);
    EXPECT_EQ(window.m_messages[0].rfind(fault.pMessage, 0), 0u) << window.m_messages[0].c_str();
    EXPECT_FALSE(HoldsTty(strTty));
    // No busy waiting, and nothing kept the thread from its timers for a whole time-out.
    EXPECT_LT(fCpu, fWall / 2) << fCpu << " s of CPU in " << fWall << " s";
    EXPECT_LT(window.m_nLongestGapMs, fault.nTimeoutMs);
    std::printf("%s: %.2f s, %.3f s CPU, timers held up %lld ms at most\n", fault.pName, fWall,
                fCpu, static_cast<long long>(window.m_nLongestGapMs));

    // A gyro on the port again (gyro-sim republishes it): the same COM number reads it.
    sim.reset();
    sim.emplace(strName);
    window.m_messages.clear();
    ASSERT_TRUE(window.m_link.StartRead());
    ASSERT_TRUE(loop.RunUntil([&] { return window.Idle(); }, 60'000));
    EXPECT_TRUE(window.m_messages.empty());
    EXPECT_EQ(window.m_link.m_strStatus, L"Read Complete");
}

INSTANTIATE_TEST_SUITE_P(Ports, PortFaultPty, ::testing::ValuesIn(PORT_FAULTS),
                         [](const auto& info) { return std::string(info.param.pName); });

// Unplugged while the port is open between requests: the channel's reads and writes fail with
// the system's error instead of finding nothing to read, and closing gives the tty back.
TEST(PortFaultPtyChannel, AHungUpPortFailsReadsAndWrites) {
    const std::string strName = "Pulled " + std::to_string(getpid());
    GyroSimProcess sim(strName);
    const int nComPort = ComPortOf(strName);
    ASSERT_TRUE(nComPort >= 1 && nComPort <= COMPORT_COUNT) << nComPort;
    ASSERT_EQ(ComPortOpen(nComPort - 1, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    sim.Stop();
    EXPECT_EQ(ComPortReadByte(nComPort - 1), COMPORT_SYSTEM_ERROR);
    EXPECT_EQ(ComPortErrorText(nComPort - 1, nullptr, 0), EIO);
    EXPECT_EQ(ComPortWrite(nComPort - 1, "01234", 5), COMPORT_SYSTEM_ERROR);
    ComPortClose(nComPort - 1);
    EXPECT_FALSE(HoldsTty(sim.Tty()));
}

}  // namespace
