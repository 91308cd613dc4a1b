// morvane-gyro-cli in real time over real pseudo-terminals published by gyro-sim: the port
// map, the termios backend and the simulator's memory file, end to end.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/published_ports.h"
#include "pty_support.h"

namespace {

// Runs the tool, after strPrefix; gives its exit status and its output.
int Cli(const std::string& strArgs, std::string& strOutput, const std::string& strPrefix = "") {
    return RunCommand(strPrefix + CLI_PATH + " " + strArgs, strOutput);
}

// "COMn" for the port with this friendly name, as "ports" lists it.
std::string PortOf(const std::string& strName) {
    std::string strOut;
    const size_t nAt = Cli("ports", strOut) == 0 ? strOut.find(":(" + strName + ")") : 0;
    const size_t nStart = strOut.rfind("COM", nAt);
    return nAt == 0 || nAt == std::string::npos ? "" : strOut.substr(nStart, nAt - nStart);
}

TEST(CliPty, ReadAndStoreAgainstGyroSimAndTheStoreOutlivesIt) {
    const std::string strName = "Sim cli " + std::to_string(getpid());
    const std::string strFile =
        (fs::temp_directory_path() / ("morvane-cli-" + std::to_string(getpid()))).string();
    GyroSimProcess first(strName);  // kept to the end: its folder holds the memory file
    const std::string strCom = PortOf(strName);
    ASSERT_FALSE(first.Tty().empty() || strCom.empty());
    std::string strRead, strOut;
    ASSERT_EQ(Cli("read " + strCom, strRead), 0) << strRead;
    EXPECT_NE(strRead.find("ProductId=0480\nMemoryMapVersion=3\nFirmwareVersion=1.07\n"
                           "LoaderVersion=1.03\nSerialNumber=74565\n"),
              std::string::npos)
        << strRead;
    strRead.replace(strRead.find("MidpointTrim=0"), 14, "MidpointTrim=-7");
    std::ofstream(strFile) << strRead;
    EXPECT_EQ(Cli("store " + strCom + " " + strFile, strOut), 2);  // not without --agree
    EXPECT_EQ(Cli("store " + strCom + " " + strFile + " --agree", strOut), 0) << strOut;
    std::remove(strFile.c_str());
    first.Stop();
    // The simulator takes its port away when it ends.
    EXPECT_FALSE(
        fs::is_symlink(fs::symlink_status(fs::path(platform::PublishedPortsFolder()) / strName)));

    // A new run reads the stored value back from the memory file.
    GyroSimProcess second(strName);
    EXPECT_EQ(Cli("read " + PortOf(strName), strRead), 0) << strRead;
    EXPECT_NE(strRead.find("MidpointTrim=-7\n"), std::string::npos) << strRead;
}

// Something on the port keeps talking (a GPS receiver, the wrong port): the read gives up by
// its own rules, no echo within 1000 ms, instead of dropping bytes for as long as they come.
// The 10 s limit only keeps a read that never ends from hanging the test.
TEST(CliPty, AReadOnAPortThatKeepsTalkingEndsWithTheNoEchoMessage) {
    const std::string strName = "Chatter " + std::to_string(getpid());
    GyroSimProcess sim(strName, {"--no-echo", "--chatter", "$GPGSV,3,1,11*4E\r\n"});
    ASSERT_FALSE(sim.Tty().empty());
    std::string strOut;
    EXPECT_EQ(Cli("read " + PortOf(strName), strOut, "timeout 10 "), 1);
    EXPECT_EQ(strOut.rfind("Unable to communicate with the gyro. \n", 0), 0u) << strOut;
}

}  // namespace
