// Window timers as the handheld keeps them, on any clock: the one table of timers and the
// rules for which timer is delivered when. Both event loops drive it with their own clock.
//
//  - Set(window, id, ms) creates the timer, or re-arms it from now with the new interval when
//    that window already has one with that id (also from the timer's own handler). It repeats
//    until Kill.
//  - A due timer is delivered once however late it is; its next expiry keeps its phase (the
//    first multiple of the interval after now).
//  - Timers due together go in the order they became due, then in the order they were armed.
//  - The timer to deliver is chosen only when it is delivered, so killing a due timer drops
//    its delivery.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

namespace platform {

// A window that receives timer messages. The handheld names a timer by window and id.
class CTimerTarget {
  public:
    virtual void OnTimer(unsigned nIdEvent) = 0;

  protected:
    ~CTimerTarget() = default;
};

class CTimerTable {
  public:
    struct Due {
        CTimerTarget* pWindow;
        unsigned nId;
    };

    void Set(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs, int64_t nNowNs);
    // True when the timer existed.
    bool Kill(const CTimerTarget* pWindow, unsigned nId);
    bool Has(const CTimerTarget* pWindow, unsigned nId) const;
    // Forgets every timer of a window.
    void KillAll(const CTimerTarget* pWindow);

    // When the next timer falls due; INT64_MAX without timers.
    int64_t NextDueNs() const;
    // The timer to deliver now, if one is due; its next expiry moves past now.
    std::optional<Due> TakeDue(int64_t nNowNs);

  private:
    struct Timer {
        CTimerTarget* pWindow;
        int64_t nIntervalNs;
        int64_t nDueNs;
        uint64_t nArmSeq;  // order of arming, breaks ties between timers due together
    };

    std::map<std::pair<const CTimerTarget*, unsigned>, Timer> m_timers;
    uint64_t m_nArmSeq = 0;
};

}  // namespace platform
