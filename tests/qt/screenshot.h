// Pictures of windows for people to look at: build/screenshots/<name>.png.
#pragma once

#include <QString>

class QWidget;

namespace morvane_test {

// Grabs the widget as it is drawn now and writes it as PNG; true when written.
bool SaveScreenshot(QWidget* pWidget, const QString& strName);

}  // namespace morvane_test
