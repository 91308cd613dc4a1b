// What people look at: pictures of windows in build/screenshots/<name>.png, and a tidy layout.
#pragma once

#include <QString>

class QWidget;

namespace platform::qt {
class QtUiHost;
}
namespace platform::ui {
class CDialog;
}

namespace morvane_test {

// Grabs the widget as it is drawn now and writes it as PNG; true when written.
bool SaveScreenshot(QWidget* pWidget, const QString& strName);

// Texts fit their controls, and shown controls do not overlap except inside their group box.
void ExpectTidy(platform::qt::QtUiHost& host, platform::ui::CDialog& dlg);

}  // namespace morvane_test
