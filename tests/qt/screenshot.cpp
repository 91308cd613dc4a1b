#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "tests/qt/qt_test_support.h"

namespace morvane_test {

bool SaveScreenshot(QWidget* pWidget, const QString& strName) {
    const QString strFolder = QStringLiteral(MORVANE_SCREENSHOT_DIR);
    if (!pWidget || !QDir().mkpath(strFolder))
        return false;
    const QPixmap picture = pWidget->grab();
    return !picture.isNull() &&
           picture.save(strFolder + QLatin1Char('/') + strName + ".png", "PNG");
}

void ExpectTidy(platform::qt::QtUiHost& host, platform::ui::CDialog& dlg) {
    const QFontMetrics metrics(host.WindowWidget(dlg)->font());
    std::vector<std::pair<QRect, std::string>> placed;
    for (const auto& pControl : dlg.Controls()) {
        QWidget* pWidget = host.ControlWidget(*pControl);
        const QRect rect = pWidget->geometry();
        const std::string strWhere =
            std::to_string(dlg.TemplateId()) + "/" + std::to_string(pControl->GetDlgCtrlID()) +
            " " + QString::fromStdWString(pControl->GetWindowText()).toStdString();
        QSize needed(0, 0);  // a wrapping label may take more lines, no more width
        if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
            const QRect room(0, 0, pLabel->wordWrap() ? rect.width() : 10000, 10000);
            const int nFlags = Qt::TextWordWrap | static_cast<int>(pLabel->alignment());
            needed = metrics.boundingRect(room, nFlags, pLabel->text()).size();
        }
        if (auto* pButton = qobject_cast<QPushButton*>(pWidget))
            needed = QSize(metrics.horizontalAdvance(pButton->text()) + 4, 0);
        EXPECT_LE(needed.width(), rect.width()) << strWhere;
        EXPECT_LE(needed.height(), rect.height()) << strWhere;
        if (qobject_cast<QGroupBox*>(pWidget) || pWidget->isHidden())
            continue;
        for (const auto& [other, strOther] : placed)
            EXPECT_FALSE(rect.intersects(other)) << strWhere << " overlaps " << strOther;
        placed.emplace_back(rect, strWhere);
    }
}

}  // namespace morvane_test
