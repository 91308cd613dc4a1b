// The event loop on Qt's own loop, for the desktop program: the timer table and rules of
// every loop (platform/event_loop.h) on the real clock. A QApplication must exist.
//
// One wake-up, precise to the nanosecond (a timerfd on Linux that Qt's loop watches), wakes
// the loop at the next moment something falls due; none is armed when nothing is. Driver
// work runs as soon as it is due. A due window timer is delivered through a posted event of the
// lowest priority; when that event is handled, the input and posted calls waiting at that
// moment are dispatched first, and only then is the timer chosen, so killing a timer drops
// a delivery still pending.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/event_loop.h"

class QSocketNotifier;

namespace platform::qt {

class CQtLoopPump;

class QtEventLoop final : public EventLoop {
  public:
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    int64_t NowNs() const override;
    void Sleep(unsigned nMs) override;
    void Post(std::function<void()> message) override;
    // Spin Qt's loop (nested when called from a handler).
    void RunFor(int64_t nMs) override;
    bool RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) override;

  protected:
    void Rescheduled() override { Reschedule(); }
    // A socket notifier per watched descriptor: Qt's own loop waits on it with the rest.
    void WatchChanged(int nFd, bool bWatched) override;

  private:
    friend class CQtLoopPump;

    // The pump's wake-up: due driver work, then a delivery event if a timer is due.
    void Wake();
    // The delivery event: waiting input first, then one due timer, the earliest.
    void DeliverTimer();
    // Arms the wake-up for the next moment something falls due.
    void Reschedule();

    int64_t m_nStartNs;
    bool m_bDeliveryPosted = false;
    std::unique_ptr<CQtLoopPump> m_pPump;
    std::map<int, std::unique_ptr<QSocketNotifier>> m_notifiers;
};

}  // namespace platform::qt
