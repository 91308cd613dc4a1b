// morvane-gyro-cli flash in real time: a file from make-fwr through the port map and the
// termios backend to gyro-sim's loader, which keeps the records it took in its firmware file.
#include <gtest/gtest.h>

#include <sstream>

#include "pty_support.h"

namespace {

TEST(FlashPty, GyroSimTakesEveryRecordOfTheFileInOrder) {
    const fs::path folder =
        fs::temp_directory_path() / ("morvane-flash-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string strFile = (folder / "small.fwr").string();
    const std::string strRecords = (folder / "records").string();
    std::string strOut;
    ASSERT_EQ(RunCommand(MAKE_FWR_PATH " --records 30 " + strFile, strOut), 0) << strOut;
    const std::string strName = "Sim flash " + std::to_string(getpid());
    GyroSimProcess sim(strName, {"--firmware", strRecords});
    ASSERT_FALSE(sim.Tty().empty());
    // The port's name as "ports" lists it.
    ASSERT_EQ(RunCommand(CLI_PATH " ports", strOut), 0) << strOut;
    const size_t nAt = strOut.find(":(" + strName + ")");
    ASSERT_NE(nAt, std::string::npos) << strOut;
    const std::string strCom = strOut.substr(strOut.rfind("COM", nAt), 4);

    ASSERT_EQ(RunCommand(CLI_PATH " flash " + strCom + " " + strFile + " --agree", strOut), 0)
        << strOut;
    EXPECT_TRUE(
        strOut.ends_with("100.0%\nThe firmware update completed sucessfully.\n\nBefore "
                         "you fly ensure the controls operate correctly.\n"))
        << strOut;
    std::ifstream fwr(strFile);
    std::string strLine, strExpected;
    for (int nLine = 1; std::getline(fwr, strLine); ++nLine)
        if (nLine > 3)
            strExpected += strLine.substr(0, 20) + " .\n";
    std::stringstream kept;
    kept << std::ifstream(strRecords).rdbuf();
    EXPECT_EQ(kept.str(), strExpected);
    fs::remove_all(folder);
}

}  // namespace
