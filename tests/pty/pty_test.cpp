// The programs in real time over real pseudo-terminals published by gyro-sim: the port map,
// the termios backend, the simulator's memory file and its firmware loader, end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "firmware/firmware_upload.h"
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

class CUploadWindow final : public platform::CTimerTarget, public CFirmwareUploadOwner {
  public:
    explicit CUploadWindow(platform::EventLoop& loop) : m_upload(*this, loop, this) {}
    void OnTimer(unsigned nIdEvent) override { m_upload.OnTimer(nIdEvent); }
    void ShowAttention(const std::wstring& strText) override { m_messages.push_back(strText); }
    void ResetFirmwarePage() override {}
    void EnableOpenButton(bool) override {}
    void SetSendButtonText(const std::wstring&) override {}
    void StartProgress(int) override {}
    void StepProgress() override {}

    CFirmwareUpload m_upload;
    std::vector<std::wstring> m_messages;
};

// A file from make-fwr, sent through the termios backend to gyro-sim's loader, which keeps
// the records it took in its firmware file.
TEST(FirmwarePty, GyroSimTakesEveryRecordOfAFileFromMakeFwr) {
    const fs::path folder = fs::temp_directory_path() / ("morvane-fwr-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string strFile = (folder / "sample.fwr").string();
    std::string strOut;
    ASSERT_EQ(RunCommand(std::string(MAKE_FWR_PATH) + " --records 25 " + strFile, strOut), 0)
        << strOut;
    const std::string strName = "Sim loader " + std::to_string(getpid());
    GyroSimProcess sim(strName, {"--firmware", folder / "records"});
    const std::string strCom = PortOf(strName);
    ASSERT_FALSE(sim.Tty().empty() || strCom.empty());

    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    CUploadWindow window(loop);
    CFirmwareUpload& upload = window.m_upload;
    upload.m_nComPort = std::stoi(strCom.substr(3));
    upload.m_strFirmwarePath = fs::path(strFile).wstring();
    upload.m_strFileProductId = L"0480";
    upload.Start();
    ASSERT_TRUE(loop.RunUntil([&] { return upload.m_nUploadState == UPLOAD_IDLE; }, 30'000));
    ASSERT_EQ(window.m_messages.size(), 1u);
    EXPECT_EQ(window.m_messages[0].substr(0, 42), L"The firmware update completed sucessfully.");

    // The loader got the file's 25 records in order and accepted each.
    std::ifstream fwr(strFile), kept(folder / "records");
    std::string strLine, strExpected, strKept;
    for (int nLine = 1; std::getline(fwr, strLine); ++nLine)
        if (nLine > 3)
            strExpected += strLine.substr(0, 20) + " .\n";
    std::getline(kept, strKept, '\0');
    EXPECT_EQ(std::count(strExpected.begin(), strExpected.end(), '\n'), 25);
    EXPECT_EQ(strKept, strExpected);
    fs::remove_all(folder);
}

}  // namespace
