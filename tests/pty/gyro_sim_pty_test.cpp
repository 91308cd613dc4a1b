// The real path end to end in real time: gyro-sim on a pseudo-terminal, published as a port,
// opened by its COM number through the port map and the termios backend.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "link/comport.h"
#include "link/frames.h"
#include "platform/port_map.h"
#include "platform/published_ports.h"

namespace {

namespace fs = std::filesystem;

// Runs gyro-sim with its own runtime folder and memory file; ends it on destruction.
class GyroSimProcess {
  public:
    explicit GyroSimProcess(const std::string& strName) {
        m_folder = fs::temp_directory_path() / ("morvane-pty-" + std::to_string(getpid()));
        fs::create_directories(m_folder);
        setenv("XDG_RUNTIME_DIR", m_folder.c_str(), 1);
        const std::string strMemory = (m_folder / "memory").string();
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execl(GYRO_SIM_PATH, GYRO_SIM_PATH, "--name", strName.c_str(), "--memory",
                  strMemory.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The first line is the pseudo-terminal's path.
        FILE* pOut = fdopen(fds[0], "r");
        char line[256] = {};
        if (pOut && std::fgets(line, sizeof line, pOut))
            m_strTty = line;
        if (!m_strTty.empty() && m_strTty.back() == '\n')
            m_strTty.pop_back();
        m_pOut = pOut;
    }
    ~GyroSimProcess() {
        Stop();
        if (m_pOut)
            std::fclose(m_pOut);
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
    void Stop() {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    const std::string& Tty() const { return m_strTty; }

  private:
    fs::path m_folder;
    pid_t m_pid = -1;
    FILE* m_pOut = nullptr;
    std::string m_strTty;
};

// Polls the port like the 10 ms receive timer until the test passes or a second goes by.
template <typename Complete>
std::wstring ReceiveUntil(int nIndex, Complete complete) {
    std::wstring strReceived;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!complete(strReceived) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        strReceived += ReceivePoll(nIndex).strText;
    }
    return strReceived;
}

TEST(GyroSimPty, ChannelOpensThePublishedPortByNumberAndReadsTheProductId) {
    const std::string strName = "Simulated tq480 gyro " + std::to_string(getpid());
    GyroSimProcess sim(strName);
    ASSERT_FALSE(sim.Tty().empty());
    ASSERT_TRUE(fs::exists(sim.Tty()));

    platform::PortMap& map = platform::PortMap::Instance();
    map.Refresh();
    int nNumber = 0;
    for (const auto& entry : map.Entries())
        if (entry.strFriendlyName == strName)
            nNumber = entry.nNumber;
    ASSERT_GE(nNumber, 1);
    ASSERT_LE(nNumber, COMPORT_COUNT);
    const int nIndex = nNumber - 1;

    ASSERT_EQ(ComPortOpen(nIndex, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    // Exclusive while open, also for root.
    EXPECT_EQ(ComPortOpen(nIndex, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), COMPORT_SYSTEM_ERROR);

    std::wstring strFailure;
    ASSERT_EQ(SendFrame(nNumber, WAKEUP_STRING, strFailure), 5)
        << std::string(strFailure.begin(), strFailure.end());
    EXPECT_TRUE(IsWakeupEchoComplete(ReceiveUntil(nIndex, IsWakeupEchoComplete)));

    ASSERT_EQ(SendFrame(nNumber, BuildReadFrame(0x0008), strFailure), 10);
    const std::wstring strAnswer = ReceiveUntil(nIndex, IsIdentityAnswerComplete);
    ASSERT_TRUE(IsIdentityAnswerComplete(strAnswer));
    uint16_t wProductId = 0;
    ASSERT_TRUE(ParseWordAnswer(strAnswer, wProductId));
    EXPECT_EQ(wProductId, 0x0480);

    EXPECT_NE(ComPortClose(nIndex), COMPORT_NOT_OPEN);
    // Closed, the port opens again.
    ASSERT_EQ(ComPortOpen(nIndex, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    ComPortClose(nIndex);

    // The simulator takes its link away when it ends.
    sim.Stop();
    EXPECT_FALSE(
        fs::is_symlink(fs::symlink_status(fs::path(platform::PublishedPortsFolder()) / strName)));
}

}  // namespace
