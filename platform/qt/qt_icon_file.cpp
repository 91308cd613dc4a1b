#include "platform/qt/qt_icon_file.h"

#include <QImage>

namespace platform::qt {

bool SaveIconAsPng(const char* const* pXpm, int nSize, const char* pszPath) {
    const QImage icon(pXpm);
    if (icon.isNull() || nSize <= 0)
        return false;
    const bool bWhole = nSize % icon.width() == 0 && nSize % icon.height() == 0;
    return icon.convertToFormat(QImage::Format_ARGB32)
        .scaled(nSize, nSize, Qt::IgnoreAspectRatio,
                bWhole ? Qt::FastTransformation : Qt::SmoothTransformation)
        .save(QString::fromLocal8Bit(pszPath), "PNG");
}

}  // namespace platform::qt
