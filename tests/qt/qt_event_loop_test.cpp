// The Qt loop keeps the headless loop's timer rules (tests/platform/event_loop_test.cpp) on
// the real clock: one compact check of each. Times are bound from below (a timer never fires
// early) with generous limits above, for a shared machine.
#include "platform/qt/qt_event_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::qt::QtEventLoop;
using ::testing::ElementsAre;

constexpr int64_t LIMIT_MS = 3000;

// A window that notes when its timers arrive, and their ids in a shared log.
struct CLogWindow final : platform::CTimerTarget {
    CLogWindow(QtEventLoop& loop, std::vector<std::string>& log) : loop(loop), log(log) {}
    void OnTimer(unsigned nId) override {
        times.push_back(loop.NowMs());
        log.push_back("timer" + std::to_string(nId));
    }
    QtEventLoop& loop;
    std::vector<std::string>& log;
    std::vector<int64_t> times;
};

struct QtEventLoopTest : ::testing::Test {
    QtEventLoop loop;
    std::vector<std::string> log;
    CLogWindow window{loop, log};
    const int64_t nStart = loop.NowMs();
};

TEST_F(QtEventLoopTest, TimersRepeatUntilKilledSettingAgainReArmsAndRunUntilGivesUp) {
    loop.SetTimer(&window, 7, 20);
    ASSERT_TRUE(loop.RunUntil([&] { return window.times.size() >= 3; }, LIMIT_MS));
    EXPECT_GE(window.times[2], nStart + 60);
    const int64_t nRearmed = loop.NowMs();
    loop.SetTimer(&window, 7, 50);  // the next expiry counts from now
    ASSERT_TRUE(loop.RunUntil([&] { return window.times.size() >= 4; }, LIMIT_MS));
    EXPECT_GE(window.times[3], nRearmed + 50);
    EXPECT_TRUE(loop.KillTimer(&window, 7));
    EXPECT_FALSE(loop.KillTimer(&window, 7));
    const int64_t nKilled = loop.NowMs();
    EXPECT_FALSE(loop.RunUntil([&] { return window.times.size() > 4; }, 80));
    EXPECT_GE(loop.NowMs(), nKilled + 80);
}

TEST_F(QtEventLoopTest, ALateTimerIsDeliveredOnceAndKeepsItsPhase) {
    loop.SetTimer(&window, 1, 50);
    loop.Post([&] { loop.Sleep(260); });  // blocked across five expiries
    ASSERT_TRUE(loop.RunUntil([&] { return window.times.size() >= 2; }, LIMIT_MS));
    EXPECT_GE(window.times[0], nStart + 260);
    EXPECT_GE(window.times[1], nStart + 300);  // no pile-up: the next expiry of its phase
}

// Sleep runs only the device work due before it ends; posted messages go before a due timer,
// in their order; a timer killed while due is not delivered.
TEST_F(QtEventLoopTest, SleepPostedMessagesAndDueTimersKeepTheirOrder) {
    CLogWindow doomed(loop, log);
    loop.SetTimer(&doomed, 1, 10);
    loop.SetTimer(&window, 3, 10);
    loop.Post([&] {
        log.push_back("a");
        loop.ScheduleDeviceWork(loop.NowNs() + 10'000'000, [&] { log.push_back("bytes@10"); });
        loop.ScheduleDeviceWork(loop.NowNs() + 90'000'000, [&] { log.push_back("bytes@90"); });
        loop.Sleep(30);  // both timers are due from here on
        loop.Post([&] { log.push_back("c"); });
        loop.Post([&] { loop.KillAllTimers(&doomed); });
    });
    loop.Post([&] { log.push_back("b"); });
    ASSERT_TRUE(loop.RunUntil([&] { return !window.times.empty(); }, LIMIT_MS));
    EXPECT_THAT(log, ElementsAre("a", "bytes@10", "b", "c", "timer3"));
}

}  // namespace
