// The event loop on Qt's own loop, for the desktop program: the same timer rules as the
// headless loop (platform/event_loop.h) on the real clock. A QApplication must exist.
//
// One precise Qt timer wakes the loop at the next moment something falls due. Driver work
// runs as soon as it is due; a due window timer is delivered through a posted event of the
// lowest priority, so input and posted messages go first, and is chosen only when that event
// is handled, so killing a timer drops a delivery still pending.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "platform/event_loop.h"

namespace platform::qt {

class CQtLoopPump;

class QtEventLoop final : public EventLoop {
  public:
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    int64_t NowNs() const override;
    void SetTimer(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs) override;
    bool KillTimer(CTimerTarget* pWindow, unsigned nId) override;
    bool HasTimer(const CTimerTarget* pWindow, unsigned nId) const override;
    void KillAllTimers(const CTimerTarget* pWindow) override;
    void Sleep(unsigned nMs) override;
    void ScheduleDeviceWork(int64_t atNs, std::function<void()> work) override;
    void Post(std::function<void()> message) override;
    // Spin Qt's loop (nested when called from a handler).
    void RunFor(int64_t nMs) override;
    bool RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) override;

  private:
    friend class CQtLoopPump;
    struct Timer {
        CTimerTarget* pWindow;
        int64_t nIntervalNs;
        int64_t nDueNs;
        uint64_t nArmSeq;
    };
    using TimerKey = std::pair<const CTimerTarget*, unsigned>;

    // The pump's wake-up: due driver work, then a delivery event if a timer is due.
    void Wake();
    // The delivery event: one due timer, the earliest.
    void DeliverTimer();
    bool RunDeviceWorkDue(int64_t nLimitNs);
    // Arms the wake-up for the next moment something falls due.
    void Reschedule();

    int64_t m_nStartNs;
    uint64_t m_nSeq = 0;
    std::map<TimerKey, Timer> m_timers;
    std::multimap<std::pair<int64_t, uint64_t>, std::function<void()>> m_deviceWork;
    bool m_bDeliveryPosted = false;
    std::unique_ptr<CQtLoopPump> m_pPump;
};

}  // namespace platform::qt
