#include "platform/event_loop.h"

#include <chrono>
#include <thread>

namespace platform {

namespace {

constexpr int64_t NS_PER_MS = 1'000'000;

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

HeadlessEventLoop::HeadlessEventLoop(ClockKind kind) : m_kind(kind) {
    if (m_kind == ClockKind::Real)
        m_nRealStartNs = SteadyNowNs();
}

HeadlessEventLoop::~HeadlessEventLoop() = default;

int64_t HeadlessEventLoop::NowNs() const {
    if (m_kind == ClockKind::Virtual)
        return m_nVirtualNowNs;
    return SteadyNowNs() - m_nRealStartNs;
}

void HeadlessEventLoop::SetTimer(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs) {
    // An interval of 0 would spin; the handheld raises it to its minimum as well.
    const int64_t nIntervalNs = static_cast<int64_t>(nElapseMs == 0 ? 1 : nElapseMs) * NS_PER_MS;
    m_timers[{pWindow, nId}] = Timer{pWindow, nIntervalNs, NowNs() + nIntervalNs, ++m_nSeq};
}

bool HeadlessEventLoop::KillTimer(CTimerTarget* pWindow, unsigned nId) {
    return m_timers.erase({pWindow, nId}) != 0;
}

bool HeadlessEventLoop::HasTimer(const CTimerTarget* pWindow, unsigned nId) const {
    return m_timers.count({pWindow, nId}) != 0;
}

void HeadlessEventLoop::KillAllTimers(const CTimerTarget* pWindow) {
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->first.first == pWindow)
            it = m_timers.erase(it);
        else
            ++it;
    }
}

void HeadlessEventLoop::ScheduleDeviceWork(int64_t atNs, std::function<void()> work) {
    m_deviceWork.emplace(std::make_pair(atNs, ++m_nSeq), std::move(work));
}

void HeadlessEventLoop::Post(std::function<void()> message) {
    m_posted.emplace(++m_nSeq, std::move(message));
}

int64_t HeadlessEventLoop::NextDueNs(bool bWindowMessages) const {
    int64_t nNext = INT64_MAX;
    if (!m_deviceWork.empty())
        nNext = m_deviceWork.begin()->first.first;
    if (bWindowMessages) {
        if (!m_posted.empty())
            nNext = std::min(nNext, NowNs());
        for (const auto& [key, timer] : m_timers)
            nNext = std::min(nNext, timer.nDueNs);
    }
    return nNext;
}

void HeadlessEventLoop::AdvanceTo(int64_t nNs) {
    if (m_kind == ClockKind::Virtual) {
        if (nNs > m_nVirtualNowNs)
            m_nVirtualNowNs = nNs;
        return;
    }
    const int64_t nWait = nNs - NowNs();
    if (nWait > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(nWait));
}

bool HeadlessEventLoop::RunDeviceWorkDue(int64_t nLimitNs) {
    if (m_deviceWork.empty())
        return false;
    auto it = m_deviceWork.begin();
    if (it->first.first > nLimitNs)
        return false;
    auto work = std::move(it->second);
    m_deviceWork.erase(it);
    work();
    return true;
}

bool HeadlessEventLoop::DispatchOne(int64_t nLimitNs, bool bWindowMessages) {
    const int64_t nNow = NowNs();
    // Driver work that is already due goes first: it happened in the world below.
    if (RunDeviceWorkDue(nNow))
        return true;
    if (bWindowMessages && !m_posted.empty()) {
        auto it = m_posted.begin();
        auto message = std::move(it->second);
        m_posted.erase(it);
        message();
        return true;
    }
    if (bWindowMessages) {
        // The timer that became due first, then the one armed first.
        auto best = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (it->second.nDueNs > nNow)
                continue;
            if (best == m_timers.end() || std::tie(it->second.nDueNs, it->second.nArmSeq) <
                                              std::tie(best->second.nDueNs, best->second.nArmSeq))
                best = it;
        }
        if (best != m_timers.end()) {
            Timer& timer = best->second;
            // One delivery however late; the next expiry keeps the phase.
            const int64_t nLate = nNow - timer.nDueNs;
            timer.nDueNs += (nLate / timer.nIntervalNs + 1) * timer.nIntervalNs;
            CTimerTarget* pWindow = timer.pWindow;
            const unsigned nId = best->first.second;
            pWindow->OnTimer(nId);
            return true;
        }
    }
    // Nothing due now: move the clock to the next piece of work inside the limit.
    const int64_t nNext = NextDueNs(bWindowMessages);
    if (nNext > nLimitNs || nNext == INT64_MAX)
        return false;
    AdvanceTo(nNext);
    return true;
}

void HeadlessEventLoop::Sleep(unsigned nMs) {
    const int64_t nEnd = NowNs() + static_cast<int64_t>(nMs) * NS_PER_MS;
    while (DispatchOne(nEnd, false)) {
    }
    AdvanceTo(nEnd);
}

void HeadlessEventLoop::RunFor(int64_t nMs) {
    const int64_t nEnd = NowNs() + nMs * NS_PER_MS;
    while (DispatchOne(nEnd, true)) {
    }
    AdvanceTo(nEnd);
}

bool HeadlessEventLoop::RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) {
    const int64_t nEnd = NowNs() + nLimitMs * NS_PER_MS;
    if (pred())
        return true;
    while (DispatchOne(nEnd, true)) {
        if (pred())
            return true;
    }
    AdvanceTo(nEnd);
    return pred();
}

}  // namespace platform
