// The one-thread event loop: window timers by window and id, blocking waits, and the
// driver-level work (bytes travelling on a line, a software gyro answering) that goes on
// underneath the windows even while the thread is blocked.
//
// The timers follow the rules of timer_table.h, kept here for every loop, and these:
//  - Timer messages are the lowest priority: driver work, input and posted messages due at
//    the same moment go first.
//  - A handler may set or kill any timer, its own included, and may run a nested loop (a
//    modal box letting time pass): timers keep firing there, the one being handled included.
//  - Sleep(ms) blocks: no timer or posted message is dispatched, but driver work goes on.
//  - A watched descriptor that can be read is input: it goes after posted messages and
//    before timers, and never during Sleep. Its handler must read what is waiting, or the
//    loop calls it again at once.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <utility>

#include "platform/timer_table.h"

namespace platform {

// The machine's steady clock, in nanoseconds from an arbitrary start.
int64_t SteadyNowNs();

class EventLoop {
  public:
    virtual ~EventLoop() = default;

    // Time since the loop started, in nanoseconds.
    virtual int64_t NowNs() const = 0;
    int64_t NowMs() const { return NowNs() / 1'000'000; }

    void SetTimer(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs);
    // True when the timer existed.
    bool KillTimer(CTimerTarget* pWindow, unsigned nId) { return m_timers.Kill(pWindow, nId); }
    bool HasTimer(const CTimerTarget* pWindow, unsigned nId) const {
        return m_timers.Has(pWindow, nId);
    }
    // Forgets every timer of a window that is going away.
    void KillAllTimers(const CTimerTarget* pWindow) { m_timers.KillAll(pWindow); }

    // Blocks the thread; dispatches driver work only.
    virtual void Sleep(unsigned nMs) = 0;

    // Driver-level work at a moment on this loop's clock (never earlier than now). It runs
    // in time order, before window messages due at the same moment, and also during Sleep.
    void ScheduleDeviceWork(int64_t atNs, std::function<void()> work);

    // A window message to dispatch as soon as the loop runs, ahead of any timer.
    virtual void Post(std::function<void()> message) = 0;

    // Calls onReadable from the loop whenever the descriptor can be read (or has hung up);
    // watching a descriptor again replaces its handler. The loop never closes it. On Windows a
    // descriptor is a waitable handle's value, readable while signalled.
    void WatchDescriptor(int nFd, std::function<void()> onReadable);
    // Stops watching; a handler may unwatch its own descriptor or another.
    void UnwatchDescriptor(int nFd);
    bool IsWatched(int nFd) const { return m_watched.count(nFd) != 0; }

    // Runs the loop for the given time, dispatching everything that falls due.
    virtual void RunFor(int64_t nMs) = 0;
    // Runs the loop until the predicate holds (checked after each dispatch) or the limit
    // passes. True when the predicate held.
    virtual bool RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) = 0;

  protected:
    // A timer was set or driver work scheduled: something may fall due sooner than before.
    virtual void Rescheduled() {}
    // Runs the earliest driver work due at or before the limit; false when none is.
    bool RunDeviceWorkDue(int64_t nLimitNs);
    // When the next driver work is due; INT64_MAX without any.
    int64_t NextDeviceWorkNs() const;
    // Sleep on the real clock: blocks the thread for the time given, running driver work as it
    // falls due.
    void BlockRunningDeviceWork(unsigned nMs);
    // A descriptor began or ended being watched.
    virtual void WatchChanged(int /*nFd*/, bool /*bWatched*/) {}
    // Calls the handler of a watched descriptor (none when it is no longer watched).
    void DescriptorReady(int nFd);
    const std::map<int, std::function<void()>>& Watched() const { return m_watched; }

    CTimerTable m_timers;

  private:
    std::multimap<std::pair<int64_t, uint64_t>, std::function<void()>> m_deviceWork;
    uint64_t m_nWorkSeq = 0;
    std::map<int, std::function<void()>> m_watched;
};

enum class ClockKind { Virtual, Real };

// A loop on a virtual clock (time moves only when the loop runs) or on the real clock.
class HeadlessEventLoop final : public EventLoop {
  public:
    explicit HeadlessEventLoop(ClockKind kind);

    int64_t NowNs() const override;
    void Sleep(unsigned nMs) override;
    void Post(std::function<void()> message) override;
    void RunFor(int64_t nMs) override;
    bool RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) override;

    ClockKind Kind() const { return m_kind; }

  private:
    // Runs the earliest piece of work due at or before the limit; false when none is due.
    bool DispatchOne(int64_t nLimitNs, bool bWindowMessages);
    // Moves the clock on; on the real clock, with bWatch, a watched descriptor becoming
    // readable ends the wait early.
    void AdvanceTo(int64_t nNs, bool bWatch = false);
    // Calls the handler of one readable descriptor, waiting at most nWaitNs for one (real
    // clock only); false when none was readable, true also when a signal cut the wait short.
    bool DispatchReadable(int64_t nWaitNs);

    ClockKind m_kind;
    int64_t m_nVirtualNowNs = 0;
    int64_t m_nRealStartNs = 0;
    std::deque<std::function<void()>> m_posted;
};

}  // namespace platform
