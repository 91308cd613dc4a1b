// The timer rules of every loop (timer_table.h, event_loop.h), on the virtual clock.
#include "platform/event_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using platform::ClockKind;
using platform::HeadlessEventLoop;
using ::testing::ElementsAreArray;

// A window that logs "<name><id>@<ms>" for each timer and tells the world.
class CLogWindow final : public platform::CTimerTarget {
  public:
    CLogWindow(HeadlessEventLoop& loop, std::vector<std::string>& log, std::string name,
               std::function<void(const std::string&)>& onTick)
        : m_loop(loop), m_log(log), m_strName(std::move(name)), m_onTick(onTick) {}
    void OnTimer(unsigned nId) override {
        m_log.push_back(m_strName + std::to_string(nId) + "@" + std::to_string(m_loop.NowMs()));
        if (m_onTick)
            m_onTick(m_log.back());
    }

  private:
    HeadlessEventLoop& m_loop;
    std::vector<std::string>& m_log;
    std::string m_strName;
    std::function<void(const std::string&)>& m_onTick;
};

// Two windows on a fresh virtual clock; code can be made to run at a given moment.
struct CWorld {
    HeadlessEventLoop loop{ClockKind::Virtual};
    std::vector<std::string> log;
    std::function<void(const std::string&)> onTick;  // after each logged timer
    CLogWindow a{loop, log, "a", onTick};
    CLogWindow b{loop, log, "b", onTick};
    void At(int64_t nMs, std::function<void()> action) {
        loop.ScheduleDeviceWork(nMs * 1'000'000, std::move(action));
    }
};

struct Scenario {
    const char* pszRule;
    std::function<void(CWorld&)> arrange;
    int64_t nRunMs;
    std::vector<std::string> expected;
};

const Scenario SCENARIOS[] = {
    {"repeats until killed; a window's timer is its own; setting it again re-arms from now",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 1, 100);
         w.loop.SetTimer(&w.b, 1, 150);
         w.At(250, [&w] { w.loop.SetTimer(&w.a, 1, 30); });
         w.At(320, [&w] {
             EXPECT_TRUE(w.loop.KillTimer(&w.a, 1));
             EXPECT_FALSE(w.loop.KillTimer(&w.a, 1));
             w.loop.KillAllTimers(&w.b);
         });
     },
     500,
     {"a1@100", "b1@150", "a1@200", "a1@280", "b1@300", "a1@310"}},
    // Sleep runs driver work only; the timers that fell due meanwhile come once each, the one
    // due first first, then the one armed first, and keep their phase. Driver work and posted
    // messages go before timers due with them.
    {"order and lateness",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 3, 20);
         w.loop.SetTimer(&w.b, 2, 15);
         w.loop.SetTimer(&w.a, 1, 20);
         w.At(5, [&w] { w.log.push_back("device@5"); });
         w.loop.Post([&w] { w.loop.Sleep(30); });
         w.loop.Post([&w] { w.log.push_back("posted"); });
         w.At(40, [&w] {
             w.log.push_back("device@40");
             w.loop.Post([&w] { w.log.push_back("posted@40"); });
         });
     },
     45,
     {"device@5", "posted", "b2@30", "a3@30", "a1@30", "device@40", "posted@40", "a3@40", "a1@40",
      "b2@45"}},
    {"a handler killing a due timer drops its delivery",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 1, 10);
         w.loop.SetTimer(&w.b, 2, 10);
         w.onTick = [&w](const std::string&) {
             w.loop.KillTimer(&w.a, 1);
             w.loop.KillTimer(&w.b, 2);
         };
     },
     50,
     {"a1@10"}},
    {"a handler setting its own timer re-arms it from now",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 5, 100);
         w.onTick = [&w](const std::string& strTick) {
             if (strTick == "a5@100")
                 w.loop.SetTimer(&w.a, 5, 1000);
         };
     },
     2200,
     {"a5@100", "a5@1100", "a5@2100"}},
    {"timers keep firing in a nested loop, the one being handled included",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 101, 20);
         w.loop.SetTimer(&w.b, 104, 10);
         w.onTick = [&w](const std::string& strTick) {
             if (strTick != "a101@20")
                 return;
             w.loop.RunFor(25);  // a modal box open for a while
             w.log.push_back("box closed@" + std::to_string(w.loop.NowMs()));
         };
     },
     50,
     {"b104@10", "a101@20", "b104@20", "b104@30", "a101@40", "b104@40", "box closed@45",
      "b104@50"}},
};

TEST(EventLoopTest, TimerRules) {
    for (const Scenario& scenario : SCENARIOS) {
        CWorld world;
        scenario.arrange(world);
        world.loop.RunFor(scenario.nRunMs);
        EXPECT_THAT(world.log, ElementsAreArray(scenario.expected)) << scenario.pszRule;
    }
}

TEST(EventLoopTest, RunUntilStopsWhenThePredicateHoldsOrAtTheLimit) {
    CWorld w;
    w.loop.SetTimer(&w.a, 1, 7);
    EXPECT_TRUE(w.loop.RunUntil([&] { return w.log.size() == 3; }, 1000));
    EXPECT_EQ(w.loop.NowMs(), 21);
    EXPECT_FALSE(w.loop.RunUntil([] { return false; }, 100));
    EXPECT_EQ(w.loop.NowMs(), 121);
}

TEST(RealClockEventLoop, TimerFiresAfterItsIntervalOfRealTime) {
    HeadlessEventLoop loop(ClockKind::Real);
    std::vector<std::string> log;
    std::function<void(const std::string&)> onTick;
    CLogWindow window(loop, log, "a", onTick);
    loop.SetTimer(&window, 1, 20);
    const int64_t nStart = loop.NowNs();
    ASSERT_TRUE(loop.RunUntil([&] { return !log.empty(); }, 2000));
    EXPECT_GE(loop.NowNs() - nStart, 20'000'000);
}

}  // namespace
