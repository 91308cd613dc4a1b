// `ports --watch` in real time: a gyro-sim started after the list was printed is listed
// within a second and leaves it when it stops; SIGTERM ends the watch with 0.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <optional>
#include <sstream>

#include "app/gyro_cli.h"
#include "platform/files.h"
#include "pty_support.h"
#include "res/resources.h"

TEST(PortWatchPty, ASimulatorStartedLaterIsListedWithinASecondAndLeavesWhenItStops) {
    GyroSimProcess::UseFolders();
    platform::SetExecutablePathOverride((GyroSimProcess::Folder() / "morvane-gyro-cli").string());
    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    platform::headless::HeadlessUiHost host(loop);
    platform::ui::SetHost(&host);
    platform::ui::SetTemplateLookup(FindDialogTemplate);
    const std::string strName = "Late gyro " + std::to_string(getpid());
    std::istringstream in;
    std::ostringstream out, err;
    std::optional<GyroSimProcess> sim;
    std::string strListed, strLeft;
    // Each step a second after the one before; the last is a SIGTERM.
    const std::function<void()> steps[] = {[&] { sim.emplace(strName); },
                                           [&] { strListed = out.str(), sim.reset(); },
                                           [&] { strLeft = out.str(), raise(SIGTERM); }};
    for (int i = 0; i < 3; ++i)
        loop.ScheduleDeviceWork(loop.NowNs() + (300 + i * 1000) * int64_t{1'000'000}, steps[i]);
    EXPECT_EQ(RunGyroCli({"ports", "--watch"}, host, in, out, err), 0);
    const size_t nAt = strListed.find("+COM");
    ASSERT_NE(nAt, std::string::npos) << strListed;
    const std::string strEntry = strListed.substr(nAt + 1, strListed.find('\n', nAt) - nAt - 1);
    EXPECT_EQ(strEntry.substr(strEntry.find(':')), ":(" + strName + ")");
    EXPECT_NE(strLeft.find("\n-" + strEntry + "\n", nAt), std::string::npos) << strLeft;

    platform::ui::SetHost(nullptr);
    platform::SetExecutablePathOverride(std::nullopt);
}
