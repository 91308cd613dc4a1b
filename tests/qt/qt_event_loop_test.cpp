#include "platform/qt/qt_event_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::CTimerTarget;
using platform::qt::QtEventLoop;
using ::testing::ElementsAre;

// A window that logs its timer messages with the time they arrived.
class CLogWindow final : public CTimerTarget {
  public:
    explicit CLogWindow(QtEventLoop& loop, std::vector<std::string>* pLog = nullptr)
        : m_loop(loop), m_pLog(pLog) {}
    void OnTimer(unsigned nId) override {
        m_times.push_back(m_loop.NowMs());
        if (m_pLog)
            m_pLog->push_back("timer" + std::to_string(nId));
        if (m_onTimer)
            m_onTimer(nId);
    }
    QtEventLoop& m_loop;
    std::vector<std::string>* m_pLog;
    std::vector<int64_t> m_times;
    std::function<void(unsigned)> m_onTimer;
};

// Real time on a shared machine: assertions bound times from below (a timer never fires
// early) and leave generous limits above.
constexpr int64_t LIMIT_MS = 3000;

TEST(QtEventLoopTest, TimersRepeatUntilKilledAndSettingAgainReArms) {
    QtEventLoop loop;
    CLogWindow window(loop);
    const int64_t nStart = loop.NowMs();
    loop.SetTimer(&window, 7, 20);
    EXPECT_TRUE(loop.HasTimer(&window, 7));
    ASSERT_TRUE(loop.RunUntil([&] { return window.m_times.size() >= 3; }, LIMIT_MS));
    EXPECT_GE(window.m_times[0], nStart + 20);
    EXPECT_GE(window.m_times[2], nStart + 60);

    // Set again: the next expiry counts from now.
    const int64_t nRearmed = loop.NowMs();
    loop.SetTimer(&window, 7, 50);
    const size_t nBefore = window.m_times.size();
    ASSERT_TRUE(loop.RunUntil([&] { return window.m_times.size() > nBefore; }, LIMIT_MS));
    EXPECT_GE(window.m_times[nBefore], nRearmed + 50);

    EXPECT_TRUE(loop.KillTimer(&window, 7));
    EXPECT_FALSE(loop.KillTimer(&window, 7));
    const size_t nKilledAt = window.m_times.size();
    loop.RunFor(80);
    EXPECT_EQ(window.m_times.size(), nKilledAt);
}

TEST(QtEventLoopTest, ALateTimerIsDeliveredOnceAndKeepsItsPhase) {
    QtEventLoop loop;
    CLogWindow window(loop);
    const int64_t nStart = loop.NowMs();
    loop.SetTimer(&window, 1, 50);
    // The thread is blocked across five expiries.
    loop.Post([&] { loop.Sleep(260); });
    ASSERT_TRUE(loop.RunUntil([&] { return window.m_times.size() >= 2; }, LIMIT_MS));
    EXPECT_GE(window.m_times[0], nStart + 260);
    // No pile-up: the second delivery waits for the next expiry of the timer's phase.
    EXPECT_GE(window.m_times[1], nStart + 300);
}

TEST(QtEventLoopTest, KillingADueTimerDropsItsDelivery) {
    QtEventLoop loop;
    CLogWindow window(loop);
    CLogWindow other(loop);
    loop.SetTimer(&window, 1, 10);
    loop.SetTimer(&window, 2, 10);
    loop.SetTimer(&other, 1, 10);
    bool bKilled = false;
    loop.Post([&] {
        loop.Sleep(40);  // all three are due now
        loop.Post([&] {
            loop.KillTimer(&window, 1);
            loop.KillAllTimers(&window);
            bKilled = true;
        });
    });
    ASSERT_TRUE(loop.RunUntil([&] { return !other.m_times.empty(); }, LIMIT_MS));
    EXPECT_TRUE(bKilled);
    loop.RunFor(40);
    EXPECT_TRUE(window.m_times.empty());
    EXPECT_FALSE(loop.HasTimer(&window, 2));
    EXPECT_TRUE(loop.HasTimer(&other, 1));
}

TEST(QtEventLoopTest, PostedMessagesGoBeforeADueTimerAndInTheirOrder) {
    QtEventLoop loop;
    std::vector<std::string> log;
    CLogWindow window(loop, &log);
    loop.SetTimer(&window, 3, 10);
    loop.Post([&] {
        log.push_back("a");
        loop.Sleep(30);  // the timer is due from here on
        loop.Post([&] { log.push_back("c"); });
    });
    loop.Post([&] { log.push_back("b"); });
    ASSERT_TRUE(loop.RunUntil([&] { return log.size() >= 4; }, LIMIT_MS));
    EXPECT_THAT(log, ElementsAre("a", "b", "c", "timer3"));
}

TEST(QtEventLoopTest, SleepRunsOnlyDeviceWorkThatFallsDueMeanwhile) {
    QtEventLoop loop;
    CLogWindow window(loop);
    loop.SetTimer(&window, 1, 5);
    std::vector<std::string> log;
    loop.Post([&] {
        const int64_t nNow = loop.NowNs();
        loop.ScheduleDeviceWork(nNow + 10'000'000, [&] { log.push_back("bytes@10"); });
        loop.ScheduleDeviceWork(nNow + 90'000'000, [&] { log.push_back("bytes@90"); });
        loop.Post([&] { log.push_back("posted"); });
        loop.Sleep(30);
        log.push_back("awake timers=" + std::to_string(window.m_times.size()));
    });
    ASSERT_TRUE(loop.RunUntil([&] { return log.size() >= 4; }, LIMIT_MS));
    EXPECT_THAT(log, ElementsAre("bytes@10", "awake timers=0", "posted", "bytes@90"));
}

TEST(QtEventLoopTest, RunUntilGivesUpAtItsLimit) {
    QtEventLoop loop;
    const int64_t nStart = loop.NowMs();
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 40));
    EXPECT_GE(loop.NowMs(), nStart + 40);
    bool bDone = false;
    loop.Post([&] { bDone = true; });
    EXPECT_TRUE(loop.RunUntil([&] { return bDone; }, LIMIT_MS));
}

}  // namespace
