// What the Qt tests share: a person acting on the next modal window, and waiting for windows.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace morvane_test {

// Acts once on the next modal window of type T that opens, from a timer of Qt's own, as a
// person would (the framework's timers stay free for the code under test).
template <typename T>
class CModalActor {
  public:
    explicit CModalActor(std::function<void(T*)> act) : m_act(std::move(act)) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (T* pWindow = qobject_cast<T*>(QApplication::activeModalWidget())) {
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

// Closes every message box that opens, from a timer of Qt's own, and keeps its text: a test
// of the real program that meets a box nobody expected fails with its text instead of
// waiting for an answer that never comes.
class CBoxWatchdog {
  public:
    CBoxWatchdog() {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                m_texts.push_back(pBox->text().toStdString());
                pBox->reject();
            }
        });
        m_timer.start();
    }
    const std::vector<std::string>& Texts() const { return m_texts; }

  private:
    std::vector<std::string> m_texts;
    QTimer m_timer;
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
