#include "tools/skin_art/theme.h"

#include <QFontDatabase>
#include <QStringList>

namespace theme {
QString uiFamily() {
    static const QString family = [] {
        const QStringList preferred = {"Noto Sans CJK SC", "Source Han Sans SC",
                                       "WenQuanYi Micro Hei"};
        const QStringList installed = QFontDatabase::families();
        for (const QString& candidate : preferred) {
            if (installed.contains(candidate)) {
                return candidate;
            }
        }
        return QFont().family();
    }();
    return family;
}

QFont uiFont(qreal pixelSize, QFont::Weight weight) {
    QFont font(uiFamily());
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    // Labels are painted into pictures that are scaled later: no hinting, so
    // 1x and 2x set the glyphs alike.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}
}  // namespace theme
