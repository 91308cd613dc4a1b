#include "platform/qt/qt_event_loop.h"

#include <QBasicTimer>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace platform::qt {

namespace {

constexpr int64_t NS_PER_MS = 1'000'000;

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const QEvent::Type DELIVER_TIMER_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

// The Qt object that receives the wake-up timer and the delivery events.
class CQtLoopPump final : public QObject {
  public:
    explicit CQtLoopPump(QtEventLoop& loop) : m_loop(loop) {}

    void Arm(int nMs) { m_wake.start(nMs, Qt::PreciseTimer, this); }
    void Disarm() { m_wake.stop(); }
    void PostDelivery() {
        QCoreApplication::postEvent(this, new QEvent(DELIVER_TIMER_EVENT), Qt::LowEventPriority);
    }

  protected:
    void timerEvent(QTimerEvent* pEvent) override {
        if (pEvent->timerId() != m_wake.timerId()) {
            QObject::timerEvent(pEvent);
            return;
        }
        m_wake.stop();
        m_loop.Wake();
    }
    void customEvent(QEvent* pEvent) override {
        if (pEvent->type() == DELIVER_TIMER_EVENT)
            m_loop.DeliverTimer();
    }

  private:
    QtEventLoop& m_loop;
    QBasicTimer m_wake;
};

QtEventLoop::QtEventLoop()
    : m_nStartNs(SteadyNowNs()), m_pPump(std::make_unique<CQtLoopPump>(*this)) {}

QtEventLoop::~QtEventLoop() = default;

int64_t QtEventLoop::NowNs() const {
    return SteadyNowNs() - m_nStartNs;
}

void QtEventLoop::SetTimer(CTimerTarget* pWindow, unsigned nId, unsigned nElapseMs) {
    // An interval of 0 would spin; the handheld raises it to its minimum as well.
    const int64_t nIntervalNs = static_cast<int64_t>(nElapseMs == 0 ? 1 : nElapseMs) * NS_PER_MS;
    m_timers[{pWindow, nId}] = Timer{pWindow, nIntervalNs, NowNs() + nIntervalNs, ++m_nSeq};
    Reschedule();
}

bool QtEventLoop::KillTimer(CTimerTarget* pWindow, unsigned nId) {
    return m_timers.erase({pWindow, nId}) != 0;
}

bool QtEventLoop::HasTimer(const CTimerTarget* pWindow, unsigned nId) const {
    return m_timers.count({pWindow, nId}) != 0;
}

void QtEventLoop::KillAllTimers(const CTimerTarget* pWindow) {
    std::erase_if(m_timers, [pWindow](const auto& entry) { return entry.first.first == pWindow; });
}

void QtEventLoop::ScheduleDeviceWork(int64_t atNs, std::function<void()> work) {
    m_deviceWork.emplace(std::make_pair(atNs, ++m_nSeq), std::move(work));
    Reschedule();
}

void QtEventLoop::Post(std::function<void()> message) {
    QMetaObject::invokeMethod(
        m_pPump.get(), [message = std::move(message)] { message(); }, Qt::QueuedConnection);
}

bool QtEventLoop::RunDeviceWorkDue(int64_t nLimitNs) {
    if (m_deviceWork.empty() || m_deviceWork.begin()->first.first > nLimitNs)
        return false;
    auto it = m_deviceWork.begin();
    auto work = std::move(it->second);
    m_deviceWork.erase(it);
    work();
    return true;
}

void QtEventLoop::Reschedule() {
    const int64_t nNow = NowNs();
    int64_t nNextTimer = INT64_MAX;
    for (const auto& [key, timer] : m_timers)
        nNextTimer = std::min(nNextTimer, timer.nDueNs);
    if (nNextTimer <= nNow && !m_bDeliveryPosted) {
        m_bDeliveryPosted = true;
        m_pPump->PostDelivery();
    }
    int64_t nWake = m_deviceWork.empty() ? INT64_MAX : m_deviceWork.begin()->first.first;
    if (!m_bDeliveryPosted)
        nWake = std::min(nWake, nNextTimer);
    if (nWake == INT64_MAX) {
        m_pPump->Disarm();
        return;
    }
    // Rounded up: a wake-up a little early would find nothing due and spin.
    const int64_t nWaitNs = std::max<int64_t>(0, nWake - nNow);
    const int64_t nWaitMs = std::min<int64_t>((nWaitNs + NS_PER_MS - 1) / NS_PER_MS, INT_MAX);
    m_pPump->Arm(static_cast<int>(nWaitMs));
}

void QtEventLoop::Wake() {
    while (RunDeviceWorkDue(NowNs())) {
    }
    Reschedule();
}

void QtEventLoop::DeliverTimer() {
    m_bDeliveryPosted = false;
    // Driver work due at the same moment happened in the world below: it goes first.
    while (RunDeviceWorkDue(NowNs())) {
    }
    const int64_t nNow = NowNs();
    auto best = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second.nDueNs > nNow)
            continue;
        if (best == m_timers.end() || std::tie(it->second.nDueNs, it->second.nArmSeq) <
                                          std::tie(best->second.nDueNs, best->second.nArmSeq))
            best = it;
    }
    if (best == m_timers.end()) {
        Reschedule();
        return;
    }
    Timer& timer = best->second;
    // One delivery however late; the next expiry keeps the phase.
    const int64_t nLate = nNow - timer.nDueNs;
    timer.nDueNs += (nLate / timer.nIntervalNs + 1) * timer.nIntervalNs;
    CTimerTarget* pWindow = timer.pWindow;
    const unsigned nId = best->first.second;
    // Armed before the handler runs, so timers keep firing in a modal box it opens.
    Reschedule();
    pWindow->OnTimer(nId);
    Reschedule();
}

void QtEventLoop::Sleep(unsigned nMs) {
    const int64_t nEndNs = NowNs() + static_cast<int64_t>(nMs) * NS_PER_MS;
    while (!m_deviceWork.empty() && m_deviceWork.begin()->first.first <= nEndNs) {
        const int64_t nWaitNs = m_deviceWork.begin()->first.first - NowNs();
        if (nWaitNs > 0)
            std::this_thread::sleep_for(std::chrono::nanoseconds(nWaitNs));
        RunDeviceWorkDue(NowNs());
    }
    const int64_t nRestNs = nEndNs - NowNs();
    if (nRestNs > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(nRestNs));
    Reschedule();
}

void QtEventLoop::RunFor(int64_t nMs) {
    QEventLoop loop;
    QTimer stop;
    stop.setSingleShot(true);
    stop.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stop, &QTimer::timeout, &loop, &QEventLoop::quit);
    stop.start(static_cast<int>(std::clamp<int64_t>(nMs, 0, INT_MAX)));
    loop.exec();
}

bool QtEventLoop::RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) {
    const int64_t nEndNs = NowNs() + nLimitMs * NS_PER_MS;
    // Wakes the waiting below when the limit passes with nothing else to do.
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    limit.start(static_cast<int>(std::clamp<int64_t>(nLimitMs, 0, INT_MAX)));
    while (!pred()) {
        if (NowNs() >= nEndNs)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace platform::qt
