#include "platform/qt/qt_event_loop.h"

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

#include <QBasicTimer>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>

namespace platform::qt {

namespace {

constexpr int64_t NS_PER_MS = 1'000'000;
constexpr int64_t NS_PER_S = 1'000'000'000;

const QEvent::Type DELIVER_TIMER_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

// The Qt object that receives the wake-up and the delivery events. The wake-up is a timerfd
// on the monotonic clock (the steady clock's own), armed at an absolute moment to the
// nanosecond and watched by a socket notifier, so Qt's own loop, and every nested one, waits
// on it with the rest and wakes neither late by Qt's whole milliseconds nor early. Elsewhere,
// a precise Qt timer, rounded up to whole milliseconds.
class CQtLoopPump final : public QObject {
  public:
    explicit CQtLoopPump(QtEventLoop& loop) : m_loop(loop) {
#ifdef __linux__
        m_nTimerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_nTimerFd >= 0) {
            m_pNotifier = std::make_unique<QSocketNotifier>(m_nTimerFd, QSocketNotifier::Read);
            QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, this, [this] {
                uint64_t nExpirations = 0;
                // Nothing to read when a re-arm came between the wake-up and this call.
                if (read(m_nTimerFd, &nExpirations, sizeof nExpirations) > 0)
                    m_nArmedNs = -1;
                m_loop.Wake();
            });
        }
#endif
    }
    ~CQtLoopPump() override {
#ifdef __linux__
        m_pNotifier.reset();
        if (m_nTimerFd >= 0)
            close(m_nTimerFd);
#endif
    }
    CQtLoopPump(const CQtLoopPump&) = delete;
    CQtLoopPump& operator=(const CQtLoopPump&) = delete;

    // Wakes the loop at the moment given on the steady clock (nanoseconds).
    void Arm(int64_t nAtSteadyNs) {
        if (nAtSteadyNs == m_nArmedNs)
            return;
        m_nArmedNs = nAtSteadyNs;
#ifdef __linux__
        if (m_nTimerFd >= 0) {
            // A moment already past (or 0, which would disarm) wakes at once.
            const int64_t nAtNs = std::max<int64_t>(nAtSteadyNs, 1);
            itimerspec due{};
            due.it_value.tv_sec = static_cast<time_t>(nAtNs / NS_PER_S);
            due.it_value.tv_nsec = static_cast<long>(nAtNs % NS_PER_S);
            timerfd_settime(m_nTimerFd, TFD_TIMER_ABSTIME, &due, nullptr);
            return;
        }
#endif
        // Rounded up: a wake-up a little early would find nothing due and spin.
        const int64_t nWaitNs = std::max<int64_t>(0, nAtSteadyNs - SteadyNowNs());
        const int64_t nWaitMs = std::min<int64_t>((nWaitNs + NS_PER_MS - 1) / NS_PER_MS, INT_MAX);
        m_wake.start(static_cast<int>(nWaitMs), Qt::PreciseTimer, this);
    }
    void Disarm() {
        if (m_nArmedNs == INT64_MAX)
            return;
        m_nArmedNs = INT64_MAX;
#ifdef __linux__
        if (m_nTimerFd >= 0) {
            const itimerspec never{};
            timerfd_settime(m_nTimerFd, TFD_TIMER_ABSTIME, &never, nullptr);
            return;
        }
#endif
        m_wake.stop();
    }
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
        m_nArmedNs = -1;
        m_loop.Wake();
    }
    void customEvent(QEvent* pEvent) override {
        if (pEvent->type() == DELIVER_TIMER_EVENT)
            m_loop.DeliverTimer();
    }

  private:
    QtEventLoop& m_loop;
    // The moment armed (steady clock), INT64_MAX when disarmed, -1 once it has fired.
    int64_t m_nArmedNs = INT64_MAX;
    QBasicTimer m_wake;
#ifdef __linux__
    int m_nTimerFd = -1;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
#endif
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
    if (nWake == INT64_MAX)
        m_pPump->Disarm();
    else
        m_pPump->Arm(m_nStartNs + nWake);
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
    BlockRunningDeviceWork(nMs);
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
