#include "platform/event_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using platform::ClockKind;
using platform::HeadlessEventLoop;
using ::testing::ElementsAre;

// A window that logs "id@ms" for each timer and runs an optional action.
class RecordingWindow : public platform::CTimerTarget {
  public:
    RecordingWindow(HeadlessEventLoop& loop, std::vector<std::string>& log, std::string name = "")
        : m_loop(loop), m_log(log), m_strName(std::move(name)) {}
    void OnTimer(unsigned nId) override {
        m_log.push_back(m_strName + std::to_string(nId) + "@" + std::to_string(m_loop.NowMs()));
        if (m_onTimer)
            m_onTimer(nId);
    }
    std::function<void(unsigned)> m_onTimer;

  private:
    HeadlessEventLoop& m_loop;
    std::vector<std::string>& m_log;
    std::string m_strName;
};

struct EventLoopTest : ::testing::Test {
    HeadlessEventLoop loop{ClockKind::Virtual};
    std::vector<std::string> log;
    RecordingWindow window{loop, log};
};

TEST_F(EventLoopTest, TimersRepeatUntilKilledAndSettingAgainReArms) {
    loop.SetTimer(&window, 1, 100);
    loop.RunFor(250);
    EXPECT_THAT(log, ElementsAre("1@100", "1@200"));
    // Setting the same id again starts a new interval from now.
    loop.SetTimer(&window, 1, 30);
    loop.RunFor(70);
    EXPECT_THAT(log, ElementsAre("1@100", "1@200", "1@280", "1@310"));
    EXPECT_TRUE(loop.KillTimer(&window, 1));
    EXPECT_FALSE(loop.KillTimer(&window, 1));
    loop.RunFor(500);
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(EventLoopTest, SameIdOnTwoWindowsAreTwoTimers) {
    RecordingWindow other(loop, log, "other");
    loop.SetTimer(&window, 7, 10);
    loop.SetTimer(&other, 7, 15);
    loop.KillTimer(&window, 7);
    loop.RunFor(20);
    EXPECT_THAT(log, ElementsAre("other7@15"));
}

TEST_F(EventLoopTest, LateTimerIsDeliveredOnceAndKeepsItsPhase) {
    loop.SetTimer(&window, 104, 10);
    // A blocking wait of 55 ms lets five expiries pass; only one message results.
    loop.Post([&] { loop.Sleep(55); });
    loop.RunFor(72);
    EXPECT_THAT(log, ElementsAre("104@55", "104@60", "104@70"));
}

TEST_F(EventLoopTest, SleepRunsDeviceWorkButNoWindowMessages) {
    std::vector<int64_t> deviceTimes;
    loop.SetTimer(&window, 1, 5);
    loop.ScheduleDeviceWork(3'000'000, [&] { deviceTimes.push_back(loop.NowNs()); });
    loop.ScheduleDeviceWork(8'500'000, [&] { deviceTimes.push_back(loop.NowNs()); });
    bool bPostedRan = false;
    loop.Post([&] { bPostedRan = true; });
    loop.Sleep(10);
    EXPECT_THAT(deviceTimes, ElementsAre(3'000'000, 8'500'000));
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(bPostedRan);
    EXPECT_EQ(loop.NowMs(), 10);
    loop.RunFor(0);
    EXPECT_TRUE(bPostedRan);
    EXPECT_THAT(log, ElementsAre("1@10"));
}

TEST_F(EventLoopTest, DeviceWorkAndPostedMessagesGoBeforeTimersDueTogether) {
    std::vector<std::string> order;
    window.m_onTimer = [&](unsigned) { order.push_back("timer"); };
    loop.SetTimer(&window, 1, 10);
    loop.ScheduleDeviceWork(10'000'000, [&] {
        order.push_back("device");
        loop.Post([&] { order.push_back("posted"); });
    });
    loop.RunFor(10);
    EXPECT_THAT(order, ElementsAre("device", "posted", "timer"));
}

TEST_F(EventLoopTest, TimersDueTogetherRunInArmingOrder) {
    loop.SetTimer(&window, 3, 20);
    loop.SetTimer(&window, 1, 20);
    loop.SetTimer(&window, 2, 10);
    loop.RunFor(20);
    EXPECT_THAT(log, ElementsAre("2@10", "3@20", "1@20", "2@20"));
}

// What a handler may do to timers while they are being dispatched.
TEST_F(EventLoopTest, HandlerChangesToTimersDuringDispatch) {
    // Killing its own timer stops it; killing another that is due drops that delivery.
    window.m_onTimer = [&](unsigned nId) {
        if (nId == 1) {
            loop.KillTimer(&window, 1);
            loop.KillTimer(&window, 2);
        }
    };
    loop.SetTimer(&window, 1, 10);
    loop.SetTimer(&window, 2, 10);
    loop.RunFor(50);
    EXPECT_THAT(log, ElementsAre("1@10"));
    EXPECT_FALSE(loop.HasTimer(&window, 1));
    EXPECT_FALSE(loop.HasTimer(&window, 2));
}

TEST_F(EventLoopTest, HandlerReArmingItselfOrStartingAnotherTimer) {
    // The step pattern: each expiry stops the timer and arms the next step's interval.
    int nSteps = 0;
    window.m_onTimer = [&](unsigned nId) {
        loop.KillTimer(&window, nId);
        if (nId == 102 && ++nSteps < 3)
            loop.SetTimer(&window, 102, nSteps == 1 ? 1000 : 1);
        if (nId == 102 && nSteps == 3)
            loop.SetTimer(&window, 106, 2000);
    };
    loop.SetTimer(&window, 102, 100);
    loop.RunFor(5000);
    EXPECT_THAT(log, ElementsAre("102@100", "102@1100", "102@1101", "106@3101"));
    EXPECT_FALSE(loop.HasTimer(&window, 106));
}

TEST_F(EventLoopTest, TimersKeepFiringInANestedLoop) {
    // A modal box opened by one timer's handler lets time pass; the other timer and the
    // one being handled keep firing meanwhile, and the outer loop continues afterwards.
    RecordingWindow poll(loop, log, "poll");
    bool bBoxShown = false;
    window.m_onTimer = [&](unsigned) {
        if (bBoxShown)
            return;
        bBoxShown = true;
        loop.RunFor(25);
        log.push_back("box closed@" + std::to_string(loop.NowMs()));
    };
    loop.SetTimer(&window, 101, 20);
    loop.SetTimer(&poll, 104, 10);
    loop.RunFor(50);
    EXPECT_THAT(log, ElementsAre("poll104@10", "101@20", "poll104@20", "poll104@30", "101@40",
                                 "poll104@40", "box closed@45", "poll104@50"));
}

TEST_F(EventLoopTest, RunUntilStopsWhenThePredicateHoldsOrAtTheLimit) {
    int nCount = 0;
    window.m_onTimer = [&](unsigned) { ++nCount; };
    loop.SetTimer(&window, 1, 7);
    EXPECT_TRUE(loop.RunUntil([&] { return nCount == 3; }, 1000));
    EXPECT_EQ(loop.NowMs(), 21);
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 100));
    EXPECT_EQ(loop.NowMs(), 121);
}

TEST_F(EventLoopTest, KillAllTimersForgetsOnlyThatWindow) {
    RecordingWindow other(loop, log, "other");
    loop.SetTimer(&window, 1, 10);
    loop.SetTimer(&window, 2, 10);
    loop.SetTimer(&other, 1, 10);
    loop.KillAllTimers(&window);
    loop.RunFor(10);
    EXPECT_THAT(log, ElementsAre("other1@10"));
}

TEST(RealClockEventLoop, TimerFiresAfterItsIntervalOfRealTime) {
    HeadlessEventLoop loop(ClockKind::Real);
    std::vector<std::string> log;
    RecordingWindow window(loop, log);
    loop.SetTimer(&window, 1, 20);
    const int64_t nStart = loop.NowNs();
    ASSERT_TRUE(loop.RunUntil([&] { return !log.empty(); }, 2000));
    EXPECT_GE(loop.NowNs() - nStart, 20'000'000);
}

}  // namespace
