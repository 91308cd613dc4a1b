// morvane-gyro-cli in real time over real pseudo-terminals: against gyro-sim, and against
// another program that publishes a port and speaks the gyro's protocol in its own way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>

#include <atomic>
#include <fstream>
#include <map>
#include <thread>

#include "platform/published_ports.h"
#include "pty_support.h"

namespace {

// The COM number the tool gives the port with this friendly name, from "ports".
int PortNumberOf(const std::string& strName) {
    std::string strOut, strErr;
    if (RunCommand(std::string(CLI_PATH) + " ports", strOut, strErr) != 0)
        return 0;
    const size_t nAt = strOut.find(":(" + strName + ")");
    if (nAt == std::string::npos)
        return 0;
    const size_t nStart = strOut.rfind("COM", nAt);
    return std::stoi(strOut.substr(nStart + 3, nAt - nStart - 3));
}

std::string Cli(const std::string& strArgs, int& nStatus, std::string& strErr,
                const std::string& strPrefix = "") {
    std::string strOut;
    nStatus = RunCommand(strPrefix + CLI_PATH + " " + strArgs, strOut, strErr);
    return strOut;
}

TEST(CliPty, ReadAndStoreAgainstGyroSim) {
    const std::string strName = "Sim cli " + std::to_string(getpid());
    std::string strErr;
    int nStatus = 0;
    std::string strFile;
    GyroSimProcess first(strName);
    {
        GyroSimProcess& sim = first;
        ASSERT_FALSE(sim.Tty().empty());
        const int nPort = PortNumberOf(strName);
        ASSERT_GE(nPort, 1);
        const std::string strCom = "COM" + std::to_string(nPort);

        std::string strRead = Cli("read " + strCom, nStatus, strErr);
        ASSERT_EQ(nStatus, 0) << strErr;
        EXPECT_NE(strRead.find("ProductId=0480\nMemoryMapVersion=3\nFirmwareVersion=1.07\n"
                               "LoaderVersion=1.03\nSerialNumber=74565\n"),
                  std::string::npos)
            << strRead;
        strRead.replace(strRead.find("MidpointTrim=0"), 14, "MidpointTrim=-7");
        strFile =
            (fs::temp_directory_path() / ("morvane-cli-" + std::to_string(getpid()))).string();
        std::ofstream(strFile) << strRead;

        Cli("store " + strCom + " " + strFile, nStatus, strErr);
        EXPECT_EQ(nStatus, 2);
        Cli("store " + strCom + " " + strFile + " --agree", nStatus, strErr);
        EXPECT_EQ(nStatus, 0) << strErr;
        sim.Stop();
    }
    // The gyro kept the store in its memory file: a new run reads it back.
    GyroSimProcess sim(strName);
    ASSERT_FALSE(sim.Tty().empty());
    const int nPort = PortNumberOf(strName);
    ASSERT_GE(nPort, 1);
    const std::string strRead = Cli("read COM" + std::to_string(nPort), nStatus, strErr);
    EXPECT_EQ(nStatus, 0) << strErr;
    EXPECT_NE(strRead.find("MidpointTrim=-7\n"), std::string::npos) << strRead;
    std::remove(strFile.c_str());
}

// Something on the port keeps talking (a GPS receiver, the wrong port): the read gives up by
// its own rules, no echo within 1000 ms, instead of dropping bytes for as long as they come.
// The 10 s limit only keeps a hanging read from hanging the test.
TEST(CliPty, AReadOnAPortThatKeepsTalkingEndsWithTheNoEchoMessage) {
    const std::string strName = "Chatter " + std::to_string(getpid());
    GyroSimProcess sim(strName, {"--no-echo", "--chatter", "$GPGSV,3,1,11*4E\r\n"});
    const int nPort = PortNumberOf(strName);
    ASSERT_GE(nPort, 1);
    int nStatus = 0;
    std::string strErr;
    Cli("read COM" + std::to_string(nPort), nStatus, strErr, "timeout 10 ");
    EXPECT_EQ(nStatus, 1);
    EXPECT_EQ(strErr.rfind("Unable to communicate with the gyro. \n", 0), 0u) << strErr;
}

// A gyro of its own making: different characters before the data, no trailing bytes, the
// memory in a map. It only relies on what the tool relies on.
class COtherGyro {
  public:
    explicit COtherGyro(const std::string& strName) : m_strName(strName) {
        m_nMaster = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(m_nMaster);
        unlockpt(m_nMaster);
        m_strSlave = ptsname(m_nMaster);
        m_nSlave = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        tcgetattr(m_nSlave, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_nSlave, TCSANOW, &tio);
        m_memory = {{0x0000, 3},      {0x0004, 0x0102}, {0x0006, 0x0109},
                    {0x0008, 0x0480}, {0x000A, 7},      {0x000C, 0}};
        const uint16_t defaults[16] = {0x0794, 0x044C, 100, 100, 5, 0xFFCE, 0xFFCE, 0,
                                       0,      0,      0,   100, 6, 0,      0,      0};
        for (int i = 0; i < 16; ++i)
            m_memory[static_cast<uint16_t>(0x0100 + 2 * i)] = defaults[i];
        platform::PublishPort(m_strName, m_strSlave);
        m_thread = std::thread([this] { Serve(); });
    }
    ~COtherGyro() {
        m_bStop = true;
        m_thread.join();
        platform::UnpublishPort(m_strName);
        close(m_nSlave);
        close(m_nMaster);
    }

  private:
    static int Hex(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }
    void Send(const std::string& strText) {
        if (write(m_nMaster, strText.data(), strText.size()) < 0)
            m_bStop = true;
    }
    void Serve() {
        std::string strPending;
        while (!m_bStop) {
            pollfd fd{m_nMaster, POLLIN, 0};
            if (poll(&fd, 1, 20) <= 0)
                continue;
            char buffer[64];
            const ssize_t nRead = read(m_nMaster, buffer, sizeof buffer);
            if (nRead <= 0)
                continue;
            strPending.append(buffer, static_cast<size_t>(nRead));
            if (strPending.size() >= 5 &&
                strPending.compare(strPending.size() - 5, 5, "01234") == 0) {
                Send("01234");
                strPending.clear();
            }
            if (strPending.size() < 2 || strPending.compare(strPending.size() - 2, 2, "aa") != 0)
                continue;
            const std::string strHex = strPending.substr(0, strPending.size() - 2);
            strPending.clear();
            std::vector<int> bytes;
            for (size_t i = 0; i + 1 < strHex.size(); i += 2)
                bytes.push_back(Hex(strHex[i]) * 16 + Hex(strHex[i + 1]));
            char text[32];
            if (bytes.size() == 4 && bytes[2] == 1) {
                const uint16_t wWord = m_memory[static_cast<uint16_t>(bytes[0] * 256 + bytes[1])];
                const int nHigh = wWord >> 8, nLow = wWord & 0xFF;
                std::snprintf(text, sizeof text, "gyro-ok.%c%02X%02X%02X", 'R', nHigh, nLow,
                              (256 - nHigh - nLow) & 0xFF);
                Send(text);
            } else if (bytes.size() == 6 && bytes[4] == 2) {
                m_memory[static_cast<uint16_t>(bytes[2] * 256 + bytes[3])] =
                    static_cast<uint16_t>(bytes[0] * 256 + bytes[1]);
                Send("stored.");
            }
        }
    }

    std::string m_strName;
    std::string m_strSlave;
    int m_nMaster = -1;
    int m_nSlave = -1;
    std::map<uint16_t, uint16_t> m_memory;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

TEST(CliPty, ReadAndStoreAgainstAnotherProgramThatPublishesAPort) {
    const std::string strName = "Other gyro " + std::to_string(getpid());
    GyroSimProcess folders("unused " + std::to_string(getpid()));  // private runtime folders
    COtherGyro gyro(strName);
    const int nPort = PortNumberOf(strName);
    ASSERT_GE(nPort, 1);
    int nStatus = 0;
    std::string strErr;
    const std::string strRead = Cli("read COM" + std::to_string(nPort), nStatus, strErr);
    ASSERT_EQ(nStatus, 0) << strErr;
    EXPECT_NE(strRead.find("FirmwareVersion=1.09\nLoaderVersion=1.02\nSerialNumber=7\n"),
              std::string::npos);
    const std::string strFile =
        (fs::temp_directory_path() / ("morvane-other-" + std::to_string(getpid()))).string();
    std::ofstream(strFile) << strRead;
    Cli("store COM" + std::to_string(nPort) + " " + strFile + " --agree", nStatus, strErr);
    EXPECT_EQ(nStatus, 0) << strErr;
    std::remove(strFile.c_str());
}

}  // namespace
