#include "app/startup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QTranslator>

#include "app/settings_db.h"

Language startupLanguage() {
    QString stored = SettingsDb::instance()->loadText(kLanguageKey);
    return chooseLanguage(qgetenv("LUMORA_LANG").constData(), stored.toStdString(),
                          QLocale::system().name().toStdString());
}

bool installTranslations(Language language, QTranslator& translator) {
    qputenv("LUMORA_LANG", languageCode(language));
    // Not qt_zh_CN.qm: it only names the per-module catalogues, and a
    // translator whose named catalogues are not all there loads none.
    QString catalogue = language == Language::Chinese ? "qtbase_zh_CN.qm" : "lumora_en.qm";
    QString folder = QCoreApplication::applicationDirPath() + "/lang";
    if (!translator.load(catalogue, folder)) {
        return false;
    }
    return QCoreApplication::installTranslator(&translator);
}

QFont interfaceFont(const QStringList& installedFamilies) {
    const QStringList preferred{"Microsoft YaHei", "Noto Sans CJK SC", "Source Han Sans SC",
                                "WenQuanYi Micro Hei"};
    QFont font;
    for (const QString& family : preferred) {
        if (installedFamilies.contains(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setPixelSize(13);
    return font;
}

namespace {
// A style sheet's border image: `picture` cut `top right bottom left` pixels
// in from its edges. Above ratio 1 Qt's style sheets load the picture's
// "@2x" twin where there is one, and take the cuts in the loaded picture's
// own pixels: given in the plain picture's, they would cut the twin at half
// the depth and stretch what lies between across the box, blurred.
QString borderImage(const QString& skin, const QString& picture, const QList<int>& cuts,
                    qreal devicePixelRatio) {
    QFileInfo plain(skin + picture);
    QString twin = plain.path() + "/" + plain.completeBaseName() + "@2x." + plain.suffix();
    int ratio = devicePixelRatio > 1.0 && QFileInfo::exists(twin) ? 2 : 1;
    QString rule = "border-image: url(" + skin + picture + ")";
    for (int cut : cuts) {
        rule += " " + QString::number(cut * ratio);
    }
    return rule + " stretch stretch;";
}
}  // namespace

QString applicationStyleSheet(const QString& skinDirectory, qreal devicePixelRatio) {
    QString skin = skinDirectory + "/";
    QString comboBox = borderImage(skin, "main/bg_combox.png", {0, 27, 0, 27}, devicePixelRatio);
    QString scrollHandle =
        borderImage(skin, "main/img_scroll_bar.png", {6, 0, 6, 0}, devicePixelRatio);
    return QString(
               "QComboBox { border: 1px solid gray; background: transparent; color: white;"
               " %2 padding: 2px 10px 2px 10px; }"
               "QComboBox::drop-down { border: none; background: transparent; }"
               "QComboBox::down-arrow { image: url(%1main/btn_combox_on.png);"
               " margin: 2px 10px 0 0; }"
               "QComboBox::down-arrow:on { image: url(%1main/btn_combox_off.png);"
               " margin: 2px 10px 0 0; }"
               "QComboBox QAbstractItemView { background: #2A3038; color: white;"
               " selection-background-color: #2D8FD0; border: 1px solid #3C4550; }"
               "QScrollBar:vertical { border: none; background: transparent; width: 12px;"
               " margin: 0; }"
               "QScrollBar::handle:vertical { %3 min-height: 20px; }"
               "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical,"
               " QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical,"
               " QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical"
               " { border: none; background: transparent; width: 0; height: 0; }")
        .arg(skin, comboBox, scrollHandle);
}
