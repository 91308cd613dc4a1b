// How the port watch settles a burst of changes before it reports them, on every system.
#include <algorithm>

#include "platform/port_watch.h"

namespace platform {

namespace {

constexpr unsigned TIMER_SETTLE = 1;
constexpr int64_t NS_PER_MS = 1'000'000;

}  // namespace

void CPortWatch::Changed() {
    const int64_t nNow = m_loop.NowNs();
    if (!m_bSettling) {
        m_bSettling = true;
        m_nBurstStartNs = nNow;
    }
    // Settled SETTLE_MS after the last change, but not later than the limit.
    const int64_t nDue = std::min(nNow + int64_t{SETTLE_MS} * NS_PER_MS,
                                  m_nBurstStartNs + int64_t{SETTLE_LIMIT_MS} * NS_PER_MS);
    const int64_t nWaitMs = std::max<int64_t>((nDue - nNow + NS_PER_MS - 1) / NS_PER_MS, 1);
    m_loop.SetTimer(this, TIMER_SETTLE, static_cast<unsigned>(nWaitMs));
}

void CPortWatch::OnTimer(unsigned nIdEvent) {
    if (nIdEvent != TIMER_SETTLE)
        return;
    m_loop.KillTimer(this, TIMER_SETTLE);
    m_bSettling = false;
    if (!m_onSettled()) {
        // Not now: asked again later, as if the change had just come.
        m_bSettling = true;
        m_nBurstStartNs = m_loop.NowNs();
        m_loop.SetTimer(this, TIMER_SETTLE, SETTLE_MS);
    }
}

}  // namespace platform
