#include "ui/caption_fonts.h"

#include <QFontDatabase>

namespace {
// Code points from 687 on are past the Latin and IPA blocks.
bool hasNonLatinLetter(const QString& name) {
    for (QChar c : name) {
        if (c.unicode() >= 687) {
            return true;
        }
    }
    return false;
}
}  // namespace

QStringList captionFontFamilies(const QStringList& families,
                                const std::function<bool(const QString&)>& writesChinese) {
    QStringList kept;
    for (const QString& family : families) {
        if (family.contains(QChar(0x40)) || family.contains("adobe", Qt::CaseInsensitive)) {
            continue;
        }
        if (hasNonLatinLetter(family) || writesChinese(family)) {
            kept << family;
        }
    }
    return kept;
}

QStringList installedCaptionFontFamilies() {
    return captionFontFamilies(QFontDatabase::families(), [](const QString& family) {
        return QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese);
    });
}
