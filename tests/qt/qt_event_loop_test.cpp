// What the Qt loop adds to the shared timer table, whose rules tests/platform/event_loop_test.cpp
// checks: the wiring to Qt's real clock, input and posted calls before a due timer, nested
// loops. Times are bound from below only (a timer never fires early), and every wait ends on
// what it waits for, so a loaded machine makes the tests slower, never wrong.
#include "platform/qt/qt_event_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <functional>
#include <string>
#include <vector>

namespace {

using platform::qt::QtEventLoop;
using ::testing::ElementsAre;

constexpr int64_t LIMIT_MS = 5000;

// A window that notes when its timers arrive, and their ids in a shared log.
struct CLogWindow final : platform::CTimerTarget {
    CLogWindow(QtEventLoop& loop, std::vector<std::string>& log) : loop(loop), log(log) {}
    void OnTimer(unsigned nId) override {
        times.push_back(loop.NowMs());
        log.push_back("timer" + std::to_string(nId));
        if (onTimer)
            onTimer();
    }
    QtEventLoop& loop;
    std::vector<std::string>& log;
    std::vector<int64_t> times;
    std::function<void()> onTimer;
};

// Notes the key presses that reach it.
class CInputSink final : public QObject {
  public:
    explicit CInputSink(std::vector<std::string>& log) : m_log(log) {}
    bool event(QEvent* pEvent) override {
        if (pEvent->type() != QEvent::KeyPress)
            return QObject::event(pEvent);
        m_log.push_back("key");
        return true;
    }

  private:
    std::vector<std::string>& m_log;
};

struct QtEventLoopTest : ::testing::Test {
    QtEventLoop loop;
    std::vector<std::string> log;
    CLogWindow window{loop, log};
    const int64_t nStart = loop.NowMs();
};

// While the thread is blocked, driver work runs and two timers fall due; their delivery is
// queued. Input queued behind it, posted calls, and a kill of the first timer then all go
// before the delivery, which brings the second timer only.
TEST_F(QtEventLoopTest, DriverWorkInputAndPostedCallsGoBeforeADueTimer) {
    CLogWindow doomed(loop, log);
    CInputSink input(log);
    loop.SetTimer(&doomed, 1, 10);
    loop.SetTimer(&window, 3, 10);
    loop.Post([&] {
        loop.ScheduleDeviceWork(loop.NowNs() + 5'000'000, [&] { log.push_back("bytes"); });
        loop.Sleep(30);
        log.push_back("woke");
        // Behind the queued delivery, as window-system input waits behind posted events.
        QCoreApplication::postEvent(&input,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"),
                                    Qt::LowEventPriority);
        loop.Post([&] { log.push_back("posted"); });
        loop.Post([&] { loop.KillTimer(&doomed, 1); });
    });
    ASSERT_TRUE(loop.RunUntil([&] { return !window.times.empty(); }, LIMIT_MS));
    EXPECT_THAT(log, ElementsAre("bytes", "woke", "posted", "key", "timer3"));
    EXPECT_GE(window.times[0], nStart + 30);
    // Killed, it fires no more; RunUntil gives up at its limit.
    loop.KillTimer(&window, 3);
    const int64_t nKilled = loop.NowMs();
    EXPECT_FALSE(loop.RunUntil([&] { return window.times.size() > 1; }, 50));
    EXPECT_GE(loop.NowMs(), nKilled + 50);
}

TEST_F(QtEventLoopTest, TimersKeepFiringInANestedLoopTheOneBeingHandledIncluded) {
    CLogWindow other(loop, log);
    loop.SetTimer(&window, 1, 10);
    loop.SetTimer(&other, 2, 15);
    int nDepth = 0;
    bool bBothFiredInside = false;
    window.onTimer = [&] {
        if (nDepth++ == 0) {  // a modal box open until both timers have fired again
            const size_t nOwn = window.times.size();
            const size_t nOther = other.times.size();
            bBothFiredInside = loop.RunUntil(
                [&] { return window.times.size() > nOwn && other.times.size() > nOther; },
                LIMIT_MS);
        }
        --nDepth;
    };
    ASSERT_TRUE(loop.RunUntil([&] { return !window.times.empty() && nDepth == 0; }, LIMIT_MS));
    EXPECT_TRUE(bBothFiredInside);
}

}  // namespace
