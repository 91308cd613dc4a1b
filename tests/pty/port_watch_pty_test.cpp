// `ports --watch` in real time over gyro-sim's pseudo-terminals: a simulator started after the
// list was printed is listed within a second and reads at once under that number; its entry
// goes when it stops; SIGTERM ends the watch with 0.
#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <sstream>

#include "app/gyro_cli.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/headless/headless_ui.h"
#include "pty_support.h"
#include "res/resources.h"

namespace {

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
    // The simulator starts once the list is printed; a second after it has published its port
    // the entry must be there, and a second after it stopped, gone.
    loop.ScheduleDeviceWork(loop.NowNs() + 300'000'000, [&] {
        sim.emplace(strName);
        loop.ScheduleDeviceWork(loop.NowNs() + 1'000'000'000, [&] {
            strListed = out.str();
            sim.reset();
            loop.ScheduleDeviceWork(loop.NowNs() + 1'000'000'000, [&] {
                strLeft = out.str();
                raise(SIGTERM);
            });
        });
    });
    EXPECT_EQ(RunGyroCli({"ports", "--watch"}, host, in, out, err), 0);
    const size_t nPlus = strListed.find("+COM");
    ASSERT_NE(nPlus, std::string::npos) << strListed;
    const std::string strEntry =
        strListed.substr(nPlus + 1, strListed.find('\n', nPlus) - nPlus - 1);
    EXPECT_EQ(strEntry.substr(strEntry.find(':')), ":(" + strName + ")");
    EXPECT_NE(strLeft.find("\n-" + strEntry + "\n", nPlus), std::string::npos) << strLeft;

    // Back again under the same number, and read at once.
    GyroSimProcess back(strName);
    out.str("");
    EXPECT_EQ(RunGyroCli({"read", strEntry.substr(0, strEntry.find(':'))}, host, in, out, err), 0)
        << err.str();
    EXPECT_NE(out.str().find("ProductId=0480\n"), std::string::npos);
    platform::ui::SetHost(nullptr);
    platform::SetExecutablePathOverride(std::nullopt);
}

}  // namespace
