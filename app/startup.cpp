#include "app/startup.h"

#include <QCoreApplication>
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

QString applicationStyleSheet(const QString& skinDirectory) {
    QString skin = skinDirectory + "/";
    return QString(
               "QComboBox { border: 1px solid gray; background: transparent; color: white;"
               " border-image: url(%1main/bg_combox.png) 0 27 0 27 stretch stretch;"
               " padding: 2px 10px 2px 10px; }"
               "QComboBox::drop-down { border: none; background: transparent; }"
               "QComboBox::down-arrow { image: url(%1main/btn_combox_on.png);"
               " margin: 2px 10px 0 0; }"
               "QComboBox::down-arrow:on { image: url(%1main/btn_combox_off.png);"
               " margin: 2px 10px 0 0; }"
               "QComboBox QAbstractItemView { background: #2A3038; color: white;"
               " selection-background-color: #2D8FD0; border: 1px solid #3C4550; }"
               "QScrollBar:vertical { border: none; background: transparent; width: 12px;"
               " margin: 0; }"
               "QScrollBar::handle:vertical { border-image: url(%1main/img_scroll_bar.png)"
               " 6 0 6 0 stretch stretch; min-height: 20px; }"
               "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical,"
               " QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical,"
               " QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical"
               " { border: none; background: transparent; width: 0; height: 0; }")
        .arg(skin);
}
