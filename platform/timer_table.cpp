#include "platform/timer_table.h"

#include <algorithm>
#include <climits>
#include <tuple>

namespace platform {

void CTimerTable::Set(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs, int64_t nNowNs) {
    // An interval of 0 would spin; the handheld raises it to its minimum as well.
    const int64_t nIntervalNs = static_cast<int64_t>(nElapseMs == 0 ? 1 : nElapseMs) * 1'000'000;
    m_timers[{pWindow, nId}] = Timer{pWindow, nIntervalNs, nNowNs + nIntervalNs, ++m_nArmSeq};
}

bool CTimerTable::Kill(const CTimerTarget* pWindow, unsigned nId) {
    return m_timers.erase({pWindow, nId}) != 0;
}

bool CTimerTable::Has(const CTimerTarget* pWindow, unsigned nId) const {
    return m_timers.count({pWindow, nId}) != 0;
}

void CTimerTable::KillAll(const CTimerTarget* pWindow) {
    std::erase_if(m_timers, [pWindow](const auto& entry) { return entry.first.first == pWindow; });
}

int64_t CTimerTable::NextDueNs() const {
    int64_t nNext = INT64_MAX;
    for (const auto& [key, timer] : m_timers)
        nNext = std::min(nNext, timer.nDueNs);
    return nNext;
}

std::optional<CTimerTable::Due> CTimerTable::TakeDue(int64_t nNowNs) {
    auto best = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        const Timer& timer = it->second;
        if (timer.nDueNs <= nNowNs &&
            (best == m_timers.end() || std::tie(timer.nDueNs, timer.nArmSeq) <
                                           std::tie(best->second.nDueNs, best->second.nArmSeq)))
            best = it;
    }
    if (best == m_timers.end())
        return std::nullopt;
    Timer& timer = best->second;
    const int64_t nLate = nNowNs - timer.nDueNs;
    timer.nDueNs += (nLate / timer.nIntervalNs + 1) * timer.nIntervalNs;
    return Due{timer.pWindow, best->first.second};
}

}  // namespace platform
