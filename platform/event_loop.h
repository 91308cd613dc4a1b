// The one-thread event loop: window timers by window and id, blocking waits, and the
// driver-level work (bytes travelling on a line, a software gyro answering) that goes on
// underneath the windows even while the thread is blocked.
//
// Timer rules, the same on every clock:
//  - SetTimer(window, id, ms) creates the timer, or re-arms it with the new interval when
//    that window already has one with that id. It repeats until KillTimer.
//  - A due timer is delivered once however late it is; the next expiry keeps the timer's
//    phase (the first multiple of the interval after now).
//  - Timer messages are the lowest priority: driver work and posted messages due at the
//    same moment go first. Timers due together go in the order they became due, then in
//    the order they were armed.
//  - A handler may set or kill any timer, its own included. Killing a timer that is due
//    but not yet delivered drops that delivery. Setting a timer from its own handler
//    re-arms it from now; otherwise it continues with its phase.
//  - Handlers may run nested loops (a modal box letting time pass): timers keep firing
//    there, the one being handled included.
//  - Sleep(ms) blocks: no timer or posted message is dispatched, but driver work goes on.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <tuple>

namespace platform {

// A window that receives timer messages. The handheld names a timer by window and id.
class CTimerTarget {
  public:
    virtual void OnTimer(unsigned nIdEvent) = 0;

  protected:
    ~CTimerTarget() = default;
};

class EventLoop {
  public:
    virtual ~EventLoop() = default;

    // Time since the loop started, in nanoseconds.
    virtual int64_t NowNs() const = 0;
    int64_t NowMs() const { return NowNs() / 1'000'000; }

    virtual void SetTimer(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs) = 0;
    // True when the timer existed.
    virtual bool KillTimer(CTimerTarget* pWindow, unsigned nId) = 0;
    virtual bool HasTimer(const CTimerTarget* pWindow, unsigned nId) const = 0;
    // Forgets every timer of a window that is going away.
    virtual void KillAllTimers(const CTimerTarget* pWindow) = 0;

    // Blocks the thread; dispatches driver work only.
    virtual void Sleep(unsigned nMs) = 0;

    // Driver-level work at a moment on this loop's clock (never earlier than now). It runs
    // in time order, before window messages due at the same moment, and also during Sleep.
    virtual void ScheduleDeviceWork(int64_t atNs, std::function<void()> work) = 0;

    // A window message to dispatch as soon as the loop runs, ahead of any timer.
    virtual void Post(std::function<void()> message) = 0;

    // Runs the loop for the given time, dispatching everything that falls due.
    virtual void RunFor(int64_t nMs) = 0;
    // Runs the loop until the predicate holds (checked after each dispatch) or the limit
    // passes. True when the predicate held.
    virtual bool RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) = 0;
};

enum class ClockKind { Virtual, Real };

// A loop on a virtual clock (time moves only when the loop runs) or on the real clock.
class HeadlessEventLoop final : public EventLoop {
  public:
    explicit HeadlessEventLoop(ClockKind kind);
    ~HeadlessEventLoop() override;

    int64_t NowNs() const override;
    void SetTimer(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs) override;
    bool KillTimer(CTimerTarget* pWindow, unsigned nId) override;
    bool HasTimer(const CTimerTarget* pWindow, unsigned nId) const override;
    void KillAllTimers(const CTimerTarget* pWindow) override;
    void Sleep(unsigned nMs) override;
    void ScheduleDeviceWork(int64_t atNs, std::function<void()> work) override;
    void Post(std::function<void()> message) override;
    void RunFor(int64_t nMs) override;
    bool RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) override;

    ClockKind Kind() const { return m_kind; }

  private:
    struct Timer {
        CTimerTarget* pWindow;
        int64_t nIntervalNs;
        int64_t nDueNs;
        uint64_t nArmSeq;  // order of arming, breaks ties between timers due together
    };
    using TimerKey = std::pair<const CTimerTarget*, unsigned>;

    // Runs the earliest piece of work due at or before the limit; false when none is due.
    bool DispatchOne(int64_t nLimitNs, bool bWindowMessages);
    bool RunDeviceWorkDue(int64_t nLimitNs);
    void AdvanceTo(int64_t nNs);
    int64_t NextDueNs(bool bWindowMessages) const;

    ClockKind m_kind;
    int64_t m_nVirtualNowNs = 0;
    int64_t m_nRealStartNs = 0;
    uint64_t m_nSeq = 0;
    std::map<TimerKey, Timer> m_timers;
    std::multimap<std::pair<int64_t, uint64_t>, std::function<void()>> m_deviceWork;
    std::multimap<uint64_t, std::function<void()>> m_posted;
};

}  // namespace platform
