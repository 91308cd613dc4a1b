#include "platform/qt/qt_event_loop.h"

#include <QBasicTimer>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace platform::qt {

namespace {

constexpr int64_t NS_PER_MS = 1'000'000;

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

void QtEventLoop::WatchChanged(int nFd, bool bWatched) {
    if (!bWatched) {
        // Deleted later: a handler may unwatch the descriptor whose notifier is calling it.
        if (const auto it = m_notifiers.find(nFd); it != m_notifiers.end()) {
            it->second->setEnabled(false);
            it->second.release()->deleteLater();
            m_notifiers.erase(it);
        }
        return;
    }
    auto pNotifier = std::make_unique<QSocketNotifier>(nFd, QSocketNotifier::Read);
    QObject::connect(pNotifier.get(), &QSocketNotifier::activated,
                     [this, nFd] { DescriptorReady(nFd); });
    m_notifiers[nFd] = std::move(pNotifier);
}

void QtEventLoop::Post(std::function<void()> message) {
    QMetaObject::invokeMethod(
        m_pPump.get(), [message = std::move(message)] { message(); }, Qt::QueuedConnection);
}

void QtEventLoop::Reschedule() {
    const int64_t nNow = NowNs();
    const int64_t nNextTimer = m_timers.NextDueNs();
    if (nNextTimer <= nNow && !m_bDeliveryPosted) {
        m_bDeliveryPosted = true;
        m_pPump->PostDelivery();
    }
    int64_t nWake = NextDeviceWorkNs();
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
    // Timer messages are the lowest priority: the posted calls and the window system's input
    // waiting now go first. The posted ones are sent directly: a nested processEvents() may
    // skip events posted before the pass that is sending this one. A handler among them may
    // open a modal box; timers keep firing there.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Driver work due by now happened in the world below: it goes first as well.
    while (RunDeviceWorkDue(NowNs())) {
    }
    if (const auto due = m_timers.TakeDue(NowNs())) {
        // Armed before the handler runs, so timers keep firing in a modal box it opens.
        Reschedule();
        due->pWindow->OnTimer(due->nId);
    }
    Reschedule();
}

void QtEventLoop::Sleep(unsigned nMs) {
    const int64_t nEndNs = NowNs() + static_cast<int64_t>(nMs) * NS_PER_MS;
    for (int64_t nNext = NextDeviceWorkNs(); nNext <= nEndNs; nNext = NextDeviceWorkNs()) {
        if (const int64_t nWaitNs = nNext - NowNs(); nWaitNs > 0)
            std::this_thread::sleep_for(std::chrono::nanoseconds(nWaitNs));
        RunDeviceWorkDue(NowNs());
    }
    if (const int64_t nRestNs = nEndNs - NowNs(); nRestNs > 0)
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
