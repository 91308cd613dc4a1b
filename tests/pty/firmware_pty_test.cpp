// A firmware upload in real time: a file from make-fwr, sent through the termios backend to
// gyro-sim's loader, which keeps the records it took in its firmware file.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "firmware/firmware_upload.h"
#include "platform/port_map.h"
#include "pty_support.h"

namespace {

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

TEST(FirmwarePty, GyroSimTakesEveryRecordOfAFileFromMakeFwr) {
    const fs::path folder = fs::temp_directory_path() / ("morvane-fwr-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string strFile = (folder / "sample.fwr").string();
    std::string strOut;
    ASSERT_EQ(RunCommand(std::string(MAKE_FWR_PATH) + " --records 25 " + strFile, strOut), 0)
        << strOut;
    const std::string strName = "Sim loader " + std::to_string(getpid());
    const std::string strRecords = (folder / "records").string();
    GyroSimProcess sim(strName, {"--firmware", strRecords});
    ASSERT_FALSE(sim.Tty().empty());
    platform::PortMap& map = platform::PortMap::Instance();
    map.Refresh();

    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    CUploadWindow window(loop);
    CFirmwareUpload& upload = window.m_upload;
    for (const auto& entry : map.Entries())
        if (entry.strFriendlyName == strName)
            upload.m_nComPort = entry.nNumber;
    upload.m_strFirmwarePath = fs::path(strFile).wstring();
    upload.m_strFileProductId = L"0480";
    upload.Start();
    ASSERT_TRUE(loop.RunUntil([&] { return upload.m_nUploadState == UPLOAD_IDLE; }, 30'000));
    ASSERT_EQ(window.m_messages.size(), 1u);
    EXPECT_EQ(window.m_messages[0].substr(0, 42), L"The firmware update completed sucessfully.");

    // The loader got the file's records in order and accepted each.
    std::ifstream fwr(strFile), kept(strRecords);
    std::string strLine, strExpected, strKept;
    for (int nLine = 1; std::getline(fwr, strLine); ++nLine)
        if (nLine > 3)
            strExpected += strLine.substr(0, 20) + " .\n";
    kept >> std::noskipws;
    strKept.assign(std::istream_iterator<char>(kept), {});
    EXPECT_EQ(std::count(strKept.begin(), strKept.end(), '\n'), 25);
    EXPECT_EQ(strKept, strExpected);
    fs::remove_all(folder);
}

}  // namespace
