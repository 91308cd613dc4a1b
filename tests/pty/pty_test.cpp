// The programs in real time over real pseudo-terminals published by gyro-sim: the port map,
// the termios backend and the simulator's memory file, end to end.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/published_ports.h"
#include "pty_support.h"

namespace {

// Runs the tool; gives its exit status and its output.
int Cli(const std::string& strArgs, std::string& strOutput) {
    return RunCommand(CLI_PATH " " + strArgs, strOutput);
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
    EXPECT_EQ(strRead.rfind("ProductId=0480\nMemoryMapVersion=3\nFirmwareVersion=1.07\n", 0), 0u)
        << strRead;
    strRead.replace(strRead.find("MidpointTrim=0"), 14, "MidpointTrim=-7");
    std::ofstream(strFile) << strRead;
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

}  // namespace
