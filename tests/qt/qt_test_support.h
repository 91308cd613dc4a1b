// What the Qt tests share: a person acting on the next modal window, and waiting for windows.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace morvane_test {

// Acts on the next modal window of type T that opens, or on every one, from a timer of Qt's
// own, as a person would (the framework's timers stay free for the code under test).
template <typename T>
class CModalActor {
  public:
    explicit CModalActor(std::function<void(T*)> act, bool bEvery = false) : m_act(std::move(act)) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this, bEvery] {
            if (T* pWindow = qobject_cast<T*>(QApplication::activeModalWidget())) {
                if (!bEvery)
                    m_timer.stop();
                ++m_nActed;
                m_act(pWindow);
            }
        });
        m_timer.start();
    }
    int Acted() const { return m_nActed; }

  private:
    std::function<void(T*)> m_act;
    QTimer m_timer;
    int m_nActed = 0;
};

// Stops a step that a failure left waiting: runs the action after the delay, unless the
// deadline has gone out of scope first.
class CDeadline {
  public:
    CDeadline(int nMs, std::function<void()> action) : m_action(std::move(action)) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_action(); });
        m_timer.start(nMs);
    }

  private:
    std::function<void()> m_action;
    QTimer m_timer;
};

// Deletes the widgets whose deletion was deferred.
inline void FlushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace morvane_test
