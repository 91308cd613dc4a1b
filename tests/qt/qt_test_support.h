// What the Qt tests share: a person acting on the next modal window, and what people look at:
// pictures of windows in build/screenshots/<name>.png, and a tidy layout.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "platform/qt/qt_ui_host.h"

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

// Deletes the widgets whose deletion was deferred.
inline void FlushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Grabs the widget as it is drawn now and writes it as PNG; true when written.
bool SaveScreenshot(QWidget* pWidget, const QString& strName);

// Texts fit their controls, and shown controls do not overlap except inside their group box.
void ExpectTidy(platform::qt::QtUiHost& host, platform::ui::CDialog& dlg);

}  // namespace morvane_test
