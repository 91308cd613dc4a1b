// What the Qt loop adds to the shared timer table, whose rules tests/platform/event_loop_test.cpp
// checks: the wiring to Qt's real clock, input and posted calls before a due timer. Times are
// bound from below only (a timer never fires early), and every wait ends on what it waits for,
// so a loaded machine makes the tests slower, never wrong. Timers firing under a modal box:
// qt_ui_host_test.cpp.
#include "platform/qt/qt_event_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <string>
#include <vector>

namespace {

using platform::qt::QtEventLoop;
using ::testing::ElementsAre;

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

// Notes the key presses that reach it.
struct CInputSink final : QObject {
    explicit CInputSink(std::vector<std::string>& log) : log(log) {}
    bool event(QEvent* pEvent) override {
        if (pEvent->type() == QEvent::KeyPress)
            log.push_back("key");
        return QObject::event(pEvent);
    }
    std::vector<std::string>& log;
};

// While the thread is blocked, driver work runs and two timers fall due, late by two intervals;
// their delivery is queued. Input queued behind it, posted calls, and a kill of the first timer
// then all go before the delivery, which brings the second timer once, and next in its phase.
TEST(QtEventLoopTest, DriverWorkInputAndPostedCallsGoBeforeADueTimerThatFiresOnce) {
    QtEventLoop loop;
    std::vector<std::string> log;
    CLogWindow window(loop, log), doomed(loop, log);
    CInputSink input(log);
    const int64_t nStart = loop.NowMs();
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
    ASSERT_TRUE(loop.RunUntil([&] { return window.times.size() == 2; }, 5000));
    loop.KillTimer(&window, 3);
    // Killed, it fires no more; RunUntil gives up at its limit.
    const int64_t nKilled = loop.NowMs();
    EXPECT_FALSE(loop.RunUntil([&] { return window.times.size() > 2; }, 50));
    EXPECT_GE(loop.NowMs(), nKilled + 50);
    EXPECT_THAT(log, ElementsAre("bytes", "woke", "posted", "key", "timer3", "timer3"));
    EXPECT_GE(window.times[0], nStart + 30);
    EXPECT_GE(window.times[1], nStart + 40);
}

}  // namespace
