// The programs' command lines as a pilot types them, with their exit statuses and first lines
// of output, including the ones that meet another copy: a running desktop program, a
// simulator that holds the name asked for.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>

#include "pty_support.h"

namespace {

// Runs the shell command line; its exit status and its output (stdout and stderr).
std::pair<int, std::string> RunCommand(const std::string& strCommand) {
    FILE* pOut = popen(("{ " + strCommand + "; } 2>&1 </dev/null").c_str(), "r");
    std::string strOut;
    std::array<char, 4096> buffer{};
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pOut))
        strOut.append(buffer.data(), n);
    const int nStatus = pclose(pOut);
    return {WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus), strOut};
}

const std::string NO_SCREEN = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";

}  // namespace

TEST(CommandLinePty, EveryProgramAnswersAsTheManualSays) {
    GyroSimProcess held("Held gyro");
    ASSERT_FALSE(held.Tty().empty());
    // A Bluetooth serial adapter: every answer 40 ms late.
    GyroSimProcess slow("Slow gyro", {"--line-model", "--answer-delay-us", "40000"});
    const std::string strCli = GYRO_CLI_PATH,
                      strSlow = "$(" + strCli + " ports | sed -n 's/:(Slow gyro)$//p')";
    struct Row {
        std::string strCommand;
        int nStatus;
        std::string strOutputStart;
    } rows[] = {
        {MAKE_FWR_PATH " --version", 0, "make-fwr 1."},
        {MAKE_FWR_PATH " --fw-version 150 - | sed -n 3p", 0, "VER: 150\r\n"},
        {MAKE_FWR_PATH " --fw-version", 2, "make-fwr: --fw-version needs a value\n"},
        {GYRO_SIM_PATH " --name 'Held gyro' --memory " + held.MemoryPath(), 1,
         "gyro-sim: default parameters; stores go to " + held.MemoryPath() +
             "\ngyro-sim: \"Held gyro\" is already published for " + held.Tty() +
             "; give this simulator another name with --name\n"},
#ifdef GYRO_TOOLS_PATH
        {GYRO_TOOLS_PATH " -h | head -1", 0,
         "Usage: morvane-gyro-tools [-h | --help | --version]\n"},
        {NO_SCREEN + GYRO_TOOLS_PATH, 1,
         "morvane-gyro-tools: cannot open the display (none is set); set DISPLAY or "
         "WAYLAND_DISPLAY\n"},
        {NO_SCREEN + "DISPLAY=:4711 QT_QPA_PLATFORM=xcb " GYRO_TOOLS_PATH, 1,
         "morvane-gyro-tools: cannot open the display \":4711\"; set DISPLAY or WAYLAND_DISPLAY\n"},
        {"QT_QPA_PLATFORM=offscreen " GYRO_TOOLS_PATH
         " >/dev/null 2>&1 & sleep 2; QT_QPA_PLATFORM=offscreen " GYRO_TOOLS_PATH
         "; s=$?; kill $!; exit $s",
         0, "morvane-gyro-tools: already running; its window was brought to the front\n"},
#endif
        // Last: the two simulators share their memory file.
        {"p=" + strSlow + "; " + strCli +
             " read $p - | sed 's/^MidpointTrim=0/MidpointTrim=-7/' | " + strCli +
             " store $p - --agree && " + strCli + " read $p - | grep -v '^#' | tr '\\n' ' '",
         0,
         "ProductId=0480 MemoryMapVersion=3 FirmwareVersion=1.07 LoaderVersion=1.03 "
         "SerialNumber=74565 HighEndpoint=100 LowEndpoint=100 AvcsCwStopGain=100 "
         "AvcsCcwStopGain=100 RudderstickDeadband=5 AvcsRudderExponential=-50 "
         "RateRudderExponential=-50 AvcsAccelerationProfile=15 AvcsDecelerationProfile=15 "
         "AvcsRudderSensitivity=100 ServoPreset=Generic ServoSpeed=0.06 "
         "ServoType=1520usec/333Hz MidpointTrim=-7 ServoDirection=Normal "},
    };
    for (const Row& row : rows) {
        const auto [nStatus, strOut] = RunCommand(row.strCommand);
        EXPECT_EQ(nStatus, row.nStatus) << row.strCommand << "\n" << strOut;
        EXPECT_EQ(strOut.substr(0, row.strOutputStart.size()), row.strOutputStart)
            << row.strCommand;
    }
    const fs::path ports = GyroSimProcess::Folder() / "morvane-ports";
    EXPECT_EQ(fs::read_symlink(ports / "Held gyro"), held.Tty());

    // A link left behind by a simulator that died is taken over; on its end, a simulator
    // removes only a link that still leads to its own terminal.
    fs::create_symlink("/dev/pts/999999", ports / "Own gyro");
    GyroSimProcess own("Own gyro"), other("Other gyro");
    EXPECT_EQ(fs::read_symlink(ports / "Own gyro"), own.Tty());
    own.Stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports / "Own gyro")));
    fs::remove(ports / "Other gyro");
    fs::create_symlink("/dev/null", ports / "Other gyro");
    other.Stop();
    EXPECT_EQ(fs::read_symlink(ports / "Other gyro"), "/dev/null");
}
