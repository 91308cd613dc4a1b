// Read, Store and firmware upload in real time through the port map and the termios backend to
// gyro-sim's pseudo-terminals: healthy, with the cable pulled mid-way, on ports that misbehave,
// and in morvane-gyro-cli ended by signals. Each ends with the message its state table gives,
// without spinning while it waits, with the tty closed and its settings as found; and a Read
// works once a gyro is back on the port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>
#include <thread>

#include "firmware/firmware_upload.h"
#include "link/comport.h"
#include "link/gyro_link.h"
#include "pages/parameter_fields.h"
#include "platform/port_map.h"
#include "platform/published_ports.h"
#include "pty_support.h"
#include "sim/fwr_file.h"

namespace {

const wchar_t LOST[] = L"Lost communications with the gyro, \n";
const wchar_t NO_ECHO[] = L"Unable to communicate with the gyro. \n";
const wchar_t NO_LOADER[] = L"Unable to communicate with the gyro.\n\nEnsure";
const char STOPPED_FLASH[] =
    "morvane-gyro-cli: stopping after the record in flight; interrupt again to stop now\n"
    "morvane-gyro-cli: Programming aborted by user.\n\nDo not attempt to fly the gyro until a "
    "firmware update has been sucessfully completed.\n"
    "morvane-gyro-cli: the gyro waits in its loader for a complete firmware file\n";
const char FINISHED[] =
    "morvane-gyro-cli: finishing the store; interrupt again to stop now\n"
    "morvane-gyro-cli: Write Complete\n";
const char STOPPED_STORE[] = "Servo Data, Midpoint Trim, Servo Direction\n";
constexpr unsigned TIMER_PROBE = 900;

// Both sequences and the upload on one window, as the program has them; a 10 ms timer of its
// own shows how long the thread was kept from its timers.
class CPortWindow final : public platform::CTimerTarget,
                          public CGyroLinkOwner,
                          public CFirmwareUploadOwner {
  public:
    explicit CPortWindow(platform::EventLoop& loop)
        : m_loop(loop), m_link(*this, loop, this), m_upload(*this, loop, this) {}
    void OnTimer(unsigned nId) override {
        if (nId == TIMER_PROBE)
            m_nLongestGapMs = std::max(m_nLongestGapMs,
                                       m_loop.NowMs() - std::exchange(m_nProbeMs, m_loop.NowMs()));
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
    char cAction;             // 'R' Read, 'S' Store (of a midpoint trim of -7), 'U' upload
    const wchar_t* pMessage;  // its start; null: none
    // Run by morvane-gyro-cli instead, on a tty left canonical at 9600 baud, and sent these
    // signals 100 ms apart once the port is open (Read), the first word is stored (Store) or a
    // percentage is shown (upload); its error stream then ends with pErrors.
    std::vector<int> signals = {};
    const char* pErrors = "";
    bool bNewSimAfter = false;  // the next Read needs a simulator without these options
};
void PrintTo(const PortFault& fault, std::ostream* pOut) {
    *pOut << fault.pName;
}

// The cable is pulled as the gyro takes a request: the 9th of a read (a parameter word), the
// 4th write of a store, the 6th record of an upload. The hostile ports answer nothing a gyro
// would: text, or bytes 0x00 and above 0x7F, for ever, or every byte sent back.
const std::vector<std::string> CHATTER = {"--silent-after", "0", "--chatter", "$GPGSV,3*4E\r\n"};
const std::vector<std::string> BINARY = {"--silent-after", "0", "--chatter-bytes", "00FF80C3A9"};
const PortFault PORT_FAULTS[] = {
    {"Store", {}, 'S', nullptr},
    {"Upload", {}, 'U', L"The firmware update completed sucessfully."},
    {"UnpluggedMidRead", {"--disconnect-after", "8"}, 'R', LOST},
    {"UnpluggedMidStore", {"--disconnect-after", "9"}, 'S', LOST},
    {"UnpluggedMidUpload", {"--disconnect-after", "7"}, 'U', NO_LOADER},
    {"ChatterRead", CHATTER, 'R', NO_ECHO},
    {"ChatterUpload", CHATTER, 'U', NO_LOADER},
    {"BinaryRead", BINARY, 'R', NO_ECHO},
    {"BinaryStore", BINARY, 'S', LOST},
    {"EchoRead", {"--loopback"}, 'R', LOST},
    {"EchoStore", {"--loopback"}, 'S', LOST},
    {"EchoUpload", {"--loopback"}, 'U', NO_LOADER},
    // clang-format off
    {"CliReadInterrupted", {}, 'R', nullptr, {SIGINT}, "morvane-gyro-cli: read interrupted\n"},
    {"CliStoreFinishedOnTerm", {"--delay", "30"}, 'S', nullptr, {SIGTERM}, FINISHED},
    // Slowed down so that the second signal finds the store and the upload under way.
    {"CliStoreStoppedBySecond", {"--delay", "60"}, 'S', nullptr, {SIGINT, SIGINT}, STOPPED_STORE},
    {"CliFlashStoppedOnHangUp", {}, 'U', nullptr, {SIGHUP}, STOPPED_FLASH},
    {"CliFlashStoppedBySecond", {"--delay", "2000"}, 'U', nullptr, {SIGTERM, SIGTERM}, STOPPED_FLASH, true},
    // clang-format on
};

// Whether the descriptor's tty runs at 19200 baud, as the channel sets it.
bool At19200(int nFd) {
    termios tio{};
    return tcgetattr(nFd, &tio) == 0 && cfgetospeed(&tio) == B19200;
}

// morvane-gyro-cli in the folder, sent the fault's signals once its action has begun: its exit
// status, its error stream, and the time from the last signal to its end.
struct CliOutcome {
    int nStatus = -1;
    std::string strErrors;
    int64_t nEndMs = 0;
};
CliOutcome InterruptCli(const PortFault& fault, int nComPort, const std::string& strFolder,
                        const std::function<bool()>& begun) {
    const std::string strPort = " COM" + std::to_string(nComPort);
    const std::string strCommand = fault.cAction == 'R' ? " read" + strPort + " -"
                                   : fault.cAction == 'S'
                                       ? " store" + strPort + " trim.txt --agree"
                                       : " flash" + strPort + " small.fwr --agree";
    const std::string strShell = "cd " + strFolder + " && echo $$ && exec " GYRO_CLI_PATH;
    FILE* pOut = popen((strShell + strCommand + " 2>&1 >/dev/null").c_str(), "r");
    char line[256] = {};
    const pid_t pid = pOut && std::fgets(line, sizeof line, pOut) ? std::atoi(line) : -1;
    CliOutcome outcome;
    // An upload has begun once it shows a percentage.
    auto shown = [&] {
        return std::fgets(line, sizeof line, pOut) &&
               (outcome.strErrors += line).find('%') != std::string::npos;
    };
    for (int i = 0; i < 6000 && pid > 0 && !(fault.cAction == 'U' ? shown() : begun()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto lastSignal = std::chrono::steady_clock::now();
    for (size_t i = 0; i < fault.signals.size() && pid > 0; ++i) {
        if (i > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, fault.signals[i]);
        lastSignal = std::chrono::steady_clock::now();
    }
    for (size_t n; pOut && (n = std::fread(line, 1, sizeof line, pOut)) > 0;)
        outcome.strErrors.append(line, n);
    outcome.nEndMs = (std::chrono::steady_clock::now() - lastSignal) / std::chrono::milliseconds(1);
    const int nWait = pOut ? pclose(pOut) : -1;
    outcome.nStatus = WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
    return outcome;
}

class PortFaultPty : public ::testing::TestWithParam<PortFault> {};

TEST_P(PortFaultPty, EndsByItsRulesAndTheNextReadWorks) {
    const PortFault& fault = GetParam();
    const bool bCli = !fault.signals.empty();
    const std::string strName = std::string(fault.pName) + " " + std::to_string(getpid());
    GyroSimProcess sim(strName, fault.simOptions);  // kept: its folder holds the memory file
    const int nComPort = ComPortOf(strName);
    ASSERT_TRUE(!sim.Tty().empty() && nComPort >= 1 && nComPort <= COMPORT_COUNT) << nComPort;
    const fs::path folder = fs::path(sim.MemoryPath()).parent_path();
    const fs::path fwr = folder / "small.fwr";
    std::ofstream fwrFile(fwr, std::ios::binary);
    sim::WriteFirmwareFile({.nRecords = 20}, fwrFile);
    fwrFile.close();

    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    CPortWindow window(loop);
    window.m_link.SetComPort(nComPort);
    window.m_parameters.MidpointTrim = -7;
    window.m_upload.m_nComPort = nComPort;
    window.m_upload.m_strFirmwarePath = fwr.wstring();
    window.m_upload.m_strFileProductId = L"0480";
    if (bCli) {
        // The port as another program left it: canonical, 9600 baud.
        const int nTty = open(sim.Tty().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        ASSERT_EQ(tcgetattr(nTty, &tio), 0);
        tio.c_lflag |= ICANON;
        cfsetspeed(&tio, B9600);
        ASSERT_EQ(tcsetattr(nTty, TCSANOW, &tio), 0);
        GyroParameters toStore;
        LoadDefaults(toStore);
        toStore.MidpointTrim = -7;
        std::ofstream(folder / "trim.txt") << FormatParameterLines(toStore);
        const CliOutcome cli = InterruptCli(fault, nComPort, folder.string(), [&] {
            return fault.cAction == 'R' ? At19200(nTty) : fs::exists(sim.MemoryPath());
        });
        EXPECT_EQ(cli.nStatus, 128 + fault.signals[0]) << cli.strErrors;
        EXPECT_TRUE(cli.strErrors.ends_with(fault.pErrors)) << cli.strErrors;
        // The store's words or the record's answer not awaited after a second signal.
        EXPECT_LT(cli.nEndMs, fault.signals.size() > 1 ? 1500 : 60'000);
        // Given back as found: settings, exclusive use.
        int nExclusive = 1;
        ASSERT_EQ(tcgetattr(nTty, &tio), 0);
        EXPECT_TRUE(cfgetospeed(&tio) == B9600 && (tio.c_lflag & ICANON));
        EXPECT_TRUE(ioctl(nTty, TIOCGEXCL, &nExclusive) == 0 && nExclusive == 0);
        close(nTty);
    } else {
        window.m_nProbeMs = loop.NowMs();
        loop.SetTimer(&window, TIMER_PROBE, 10);
        const std::clock_t nCpuBefore = std::clock();
        ASSERT_TRUE(fault.cAction == 'R'   ? window.m_link.StartRead()
                    : fault.cAction == 'S' ? window.m_link.StartStore()
                                           : (window.m_upload.Start(), true));
        // The limit only keeps a sequence that never ends from hanging the test.
        ASSERT_TRUE(loop.RunUntil([&] { return window.Idle(); }, 60'000));
        const double fWall = static_cast<double>(loop.NowMs()) / 1000;
        const double fCpu = static_cast<double>(std::clock() - nCpuBefore) / CLOCKS_PER_SEC;
        ASSERT_EQ(window.m_messages.size(), fault.pMessage ? 1u : 0u);
        if (fault.pMessage) {
            EXPECT_EQ(window.m_messages[0].rfind(fault.pMessage, 0), 0u) << window.m_messages[0];
        }
        EXPECT_FALSE(HoldsTty(sim.Tty()));
        // The channel saw the hang-up, where there was one, as a failure of the system.
        if (std::string_view(fault.pName).starts_with("Unplugged")) {
            EXPECT_EQ(ComPortErrorText(nComPort - 1, nullptr, 0), EIO);
        }
        // No busy waiting, and nothing kept the thread from its timers for a whole time-out,
        // but the upload's wait for a quiet line before its start commands: 500 ms, then at
        // most 64 pauses of 100 ms while bytes keep coming, then 500 ms between the commands
        // (and half a second to spare on a busy machine).
        EXPECT_LT(fCpu, fWall / 2) << fCpu << " s of CPU in " << fWall << " s";
        EXPECT_LT(window.m_nLongestGapMs, fault.cAction != 'U'          ? 1000
                                          : fault.simOptions == CHATTER ? 500 + 6400 + 500 + 500
                                                                        : 3000);
        loop.KillTimer(&window, TIMER_PROBE);
    }

    // The simulator takes its port away when it ends. A new one publishes it again, keeps what
    // was stored (the trim only by a whole store), and the same COM number reads it. After a
    // signal the same simulator serves the next command; a gyro left in its loader takes a
    // whole upload first.
    std::optional<GyroSimProcess> back;
    if (!bCli || fault.bNewSimAfter) {
        sim.Stop();
        EXPECT_FALSE(
            fs::is_symlink(fs::symlink_status(platform::PublishedPortsFolder() + "/" + strName)));
        back.emplace(strName);
    }
    window.m_messages.clear();
    if (bCli && fault.cAction == 'U') {
        window.m_upload.Start();
        ASSERT_TRUE(loop.RunUntil([&] { return window.Idle(); }, 60'000));
        EXPECT_EQ(window.m_messages, std::vector<std::wstring>{UPLOAD_COMPLETED});
        window.m_messages.clear();
    }
    ASSERT_TRUE(window.m_link.StartRead());
    ASSERT_TRUE(loop.RunUntil([&] { return window.Idle(); }, 60'000));
    EXPECT_TRUE(window.m_messages.empty());
    EXPECT_EQ(window.m_link.m_strStatus, L"Read Complete");
    EXPECT_EQ(window.m_parameters.MidpointTrim,
              fault.cAction == 'S' && !fault.pMessage && fault.signals.size() < 2 ? -7 : 0);
}

INSTANTIATE_TEST_SUITE_P(Ports, PortFaultPty, ::testing::ValuesIn(PORT_FAULTS),
                         [](const auto& info) { return std::string(info.param.pName); });

}  // namespace
