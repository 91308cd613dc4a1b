#include "platform/event_loop.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace platform {

namespace {

constexpr int64_t NS_PER_MS = 1'000'000;

}  // namespace

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---------------------------------------------------------------------------------------------
// EventLoop: what every loop keeps the same way

void EventLoop::SetTimer(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs) {
    m_timers.Set(pWindow, nId, nElapseMs, NowNs());
    Rescheduled();
}

void EventLoop::ScheduleDeviceWork(int64_t atNs, std::function<void()> work) {
    m_deviceWork.emplace(std::make_pair(atNs, ++m_nWorkSeq), std::move(work));
    Rescheduled();
}

void EventLoop::WatchDescriptor(int nFd, std::function<void()> onReadable) {
    const bool bNew = m_watched.count(nFd) == 0;
    m_watched[nFd] = std::move(onReadable);
    if (bNew)
        WatchChanged(nFd, true);
}

void EventLoop::UnwatchDescriptor(int nFd) {
    if (m_watched.erase(nFd) != 0)
        WatchChanged(nFd, false);
}

void EventLoop::DescriptorReady(int nFd) {
    const auto it = m_watched.find(nFd);
    if (it == m_watched.end())
        return;
    // A copy: the handler may unwatch or rewatch its own descriptor.
    const auto handler = it->second;
    handler();
}

int64_t EventLoop::NextDeviceWorkNs() const {
    return m_deviceWork.empty() ? INT64_MAX : m_deviceWork.begin()->first.first;
}

bool EventLoop::RunDeviceWorkDue(int64_t nLimitNs) {
    if (NextDeviceWorkNs() > nLimitNs)
        return false;
    auto it = m_deviceWork.begin();
    auto work = std::move(it->second);
    m_deviceWork.erase(it);
    work();
    return true;
}

void EventLoop::BlockRunningDeviceWork(unsigned nMs) {
    const int64_t nEndNs = NowNs() + static_cast<int64_t>(nMs) * NS_PER_MS;
    for (int64_t nNext = NextDeviceWorkNs(); nNext <= nEndNs; nNext = NextDeviceWorkNs()) {
        if (const int64_t nWaitNs = nNext - NowNs(); nWaitNs > 0)
            std::this_thread::sleep_for(std::chrono::nanoseconds(nWaitNs));
        RunDeviceWorkDue(NowNs());
    }
    if (const int64_t nRestNs = nEndNs - NowNs(); nRestNs > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(nRestNs));
}

// ---------------------------------------------------------------------------------------------
// HeadlessEventLoop

HeadlessEventLoop::HeadlessEventLoop(ClockKind kind) : m_kind(kind) {
    if (m_kind == ClockKind::Real)
        m_nRealStartNs = SteadyNowNs();
}

int64_t HeadlessEventLoop::NowNs() const {
    if (m_kind == ClockKind::Virtual)
        return m_nVirtualNowNs;
    return SteadyNowNs() - m_nRealStartNs;
}

void HeadlessEventLoop::Post(std::function<void()> message) {
    m_posted.push_back(std::move(message));
}

void HeadlessEventLoop::AdvanceTo(int64_t nNs, bool bWatch) {
    if (m_kind == ClockKind::Virtual) {
        m_nVirtualNowNs = std::max(m_nVirtualNowNs, nNs);
        return;
    }
    const int64_t nWait = nNs - NowNs();
    if (nWait <= 0)
        return;
    if (bWatch && !Watched().empty()) {
        DispatchReadable(nWait);
        return;
    }
    std::this_thread::sleep_for(std::chrono::nanoseconds(nWait));
}

bool HeadlessEventLoop::DispatchOne(int64_t nLimitNs, bool bWindowMessages) {
    const int64_t nNow = NowNs();
    // Driver work that is already due goes first: it happened in the world below.
    if (RunDeviceWorkDue(nNow))
        return true;
    int64_t nNext = NextDeviceWorkNs();
    if (bWindowMessages) {
        if (!m_posted.empty()) {
            auto message = std::move(m_posted.front());
            m_posted.pop_front();
            message();
            return true;
        }
        if (DispatchReadable(0))
            return true;
        if (const auto due = m_timers.TakeDue(nNow)) {
            due->pWindow->OnTimer(due->nId);
            return true;
        }
        nNext = std::min(nNext, m_timers.NextDueNs());
    }
    // Nothing due now: move the clock to the next piece of work inside the limit, or on the
    // real clock until a watched descriptor can be read, whichever comes first.
    if (nNext == INT64_MAX || nNext > nLimitNs) {
        if (bWindowMessages && m_kind == ClockKind::Real && nLimitNs > NowNs() &&
            DispatchReadable(nLimitNs - NowNs()))
            return true;
        return false;
    }
    AdvanceTo(nNext, bWindowMessages);
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
