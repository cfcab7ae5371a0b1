#include "ui/camera_lists.h"

QList<QSize> offeredSizes(const std::vector<CameraFormat>& formats) {
    const QList<QSize> wanted{{480, 360}, {320, 240}, {640, 480}};
    QList<QSize> kept;
    for (const CameraFormat& format : formats) {
        QSize size(format.width, format.height);
        if (format.width > 0 && format.height > 0 && wanted.contains(size) &&
            !kept.contains(size)) {
            kept << size;
        }
    }
    if (kept.isEmpty()) {
        kept << QSize(640, 480);
    }
    return kept;
}

bool isLeftOutCamera(const QString& name, const QString& ownName) {
    return name.contains("virtual", Qt::CaseInsensitive) || name == ownName;
}

QString sizeText(QSize size) { return QString("%1 X %2").arg(size.width()).arg(size.height()); }
