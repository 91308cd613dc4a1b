#include "tests/qt/screenshot.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace morvane_test {

bool SaveScreenshot(QWidget* pWidget, const QString& strName) {
    const QString strFolder = QStringLiteral(MORVANE_SCREENSHOT_DIR);
    if (!pWidget || !QDir().mkpath(strFolder))
        return false;
    const QPixmap picture = pWidget->grab();
    return !picture.isNull() &&
           picture.save(strFolder + QLatin1Char('/') + strName + ".png", "PNG");
}

}  // namespace morvane_test
