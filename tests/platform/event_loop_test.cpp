// The timer rules of every loop (timer_table.h, event_loop.h), on the virtual clock.
#include "platform/event_loop.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/signal_watch.h"

namespace {

struct CWindow final : platform::CTimerTarget {
    std::function<void(unsigned)> onTimer;
    void OnTimer(unsigned nId) override { onTimer(nId); }
};

// Two windows on a fresh virtual clock that log "<name><id>@<ms>" for each timer, then run
// onTick. Driver work scheduled on the loop runs code at a given moment.
struct CWorld {
    CWorld() {
        for (auto [pWindow, pName] : {std::pair{&a, "a"}, std::pair{&b, "b"}})
            pWindow->onTimer = [this, pName](unsigned nId) {
                log.push_back(pName + std::to_string(nId) + "@" + std::to_string(loop.NowMs()));
                if (onTick)
                    onTick(log.back());
            };
    }
    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    std::vector<std::string> log;
    ~CWorld() {
        for (const int nFd : pipeFds)
            if (nFd >= 0)
                close(nFd);
    }
    // A pipe whose reading end the loop watches, logging "pipe@<ms>" for each readiness.
    void WatchPipe() {
        ASSERT_EQ(pipe(pipeFds), 0);
        loop.WatchDescriptor(pipeFds[0], [this] {
            char buffer[16];
            EXPECT_GT(read(pipeFds[0], buffer, sizeof buffer), 0);
            log.push_back("pipe@" + std::to_string(loop.NowMs()));
        });
    }
    void WritePipe() { EXPECT_EQ(write(pipeFds[1], "x", 1), 1); }
    std::function<void(const std::string&)> onTick;
    CWindow a, b;
    int pipeFds[2] = {-1, -1};
};

const struct {
    const char* pszRule;
    std::function<void(CWorld&)> arrange;
    int64_t nRunMs;
    std::vector<std::string> expected;
} SCENARIOS[] = {
    {"repeats until killed; a window's timer is its own",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 1, 100);
         w.loop.SetTimer(&w.b, 1, 150);
         w.loop.ScheduleDeviceWork(320'000'000, [&w] {
             EXPECT_TRUE(w.loop.KillTimer(&w.a, 1) && !w.loop.KillTimer(&w.a, 1));
             w.loop.KillAllTimers(&w.b);
         });
     },
     500,
     {"a1@100", "b1@150", "a1@200", "a1@300", "b1@300"}},
    // Sleep runs driver work only; the timers that fell due meanwhile come once each, the one
    // due first first, then the one armed first, and keep their phase. Driver work and posted
    // messages go before timers due with them.
    {"order and lateness",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 3, 20);
         w.loop.SetTimer(&w.b, 2, 15);
         w.loop.SetTimer(&w.a, 1, 20);
         w.loop.ScheduleDeviceWork(5'000'000, [&w] { w.log.push_back("device@5"); });
         w.loop.Post([&w] { w.loop.Sleep(30); });
         w.loop.Post([&w] { w.log.push_back("posted"); });
         w.loop.ScheduleDeviceWork(40'000'000, [&w] {
             w.log.push_back("device@40");
             w.loop.Post([&w] { w.log.push_back("posted@40"); });
         });
     },
     45,
     {"device@5", "posted", "b2@30", "a3@30", "a1@30", "device@40", "posted@40", "a3@40", "a1@40",
      "b2@45"}},
    {"a handler killing a due timer drops its delivery; setting a timer again re-arms it from now",
     [](CWorld& w) {
         w.loop.SetTimer(&w.a, 1, 10);
         w.loop.SetTimer(&w.b, 2, 10);
         w.onTick = [&w](const std::string& strTick) {
             w.loop.KillTimer(&w.b, 2);
             if (strTick == "a1@10")
                 w.loop.SetTimer(&w.a, 1, 1000);
         };
     },
     2100,
     {"a1@10", "a1@1010", "a1@2010"}},
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
    {"a readable descriptor is input: after posted messages, before timers, never in a Sleep",
     [](CWorld& w) {
         w.WatchPipe();
         w.loop.SetTimer(&w.a, 1, 10);
         w.loop.ScheduleDeviceWork(10'000'000, [&w] {
             w.WritePipe();
             w.loop.Post([&w] { w.log.push_back("posted@10"); });
         });
         w.loop.ScheduleDeviceWork(25'000'000, [&w] {
             w.WritePipe();
             w.loop.Post([&w] {
                 w.loop.Sleep(10);
                 w.loop.UnwatchDescriptor(w.pipeFds[0]);
                 w.loop.WatchDescriptor(w.pipeFds[0], [&w] {
                     char c;
                     EXPECT_EQ(read(w.pipeFds[0], &c, 1), 1);
                     w.log.push_back("again@" + std::to_string(w.loop.NowMs()));
                     w.loop.UnwatchDescriptor(w.pipeFds[0]);
                 });
             });
         });
         w.loop.ScheduleDeviceWork(38'000'000, [&w] { w.WritePipe(); });
     },
     40,
     {"posted@10", "pipe@10", "a1@10", "a1@20", "again@35", "a1@35", "a1@40"}},
};

TEST(EventLoopTest, TimerRules) {
    for (const auto& scenario : SCENARIOS) {
        CWorld world;
        scenario.arrange(world);
        world.loop.RunFor(scenario.nRunMs);
        EXPECT_EQ(world.log, scenario.expected) << scenario.pszRule;
    }
    // RunUntil fails at its limit (that it stops when its condition holds, the page tests show).
    CWorld w;
    EXPECT_FALSE(w.loop.RunUntil([] { return false; }, 100));
    EXPECT_EQ(w.loop.NowMs(), 100);
}

// On the real clock a loop with nothing due waits on its descriptors: a byte written by
// another thread, or a signal that interrupts the wait, ends it long before the loop's limit.
TEST(EventLoopTest, RealClockWakesForADescriptorOrASignal) {
    for (const bool bSignal : {false, true}) {
        platform::HeadlessEventLoop loop(platform::ClockKind::Real);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        bool bRead = false;
        loop.WatchDescriptor(fds[0], [&] {
            char c;
            bRead = read(fds[0], &c, 1) == 1;
        });
        std::optional<platform::CSignalWatch> signals;
        if (bSignal)
            signals.emplace(loop, [&](int, int) { bRead = true; });
        const pthread_t waiting = pthread_self();
        std::thread other([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_EQ(bSignal ? pthread_kill(waiting, SIGTERM) : int(write(fds[1], "x", 1) - 1), 0);
        });
        EXPECT_TRUE(loop.RunUntil([&] { return bRead; }, 60'000));
        EXPECT_LT(loop.NowMs(), 30'000) << bSignal;
        other.join();
        close(fds[0]);
        close(fds[1]);
    }
}

}  // namespace
