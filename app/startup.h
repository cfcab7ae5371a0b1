#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include "base/language.h"

class QTranslator;

// The pieces of the program's start-up that are decided here once: the
// language and its translations, the interface font and the style sheet.

// The settings store's key of the language chosen in the tray menu.
inline constexpr const char* kLanguageKey = "language";

// The language of this run: LUMORA_LANG, else the tray menu's stored
// choice, else the desktop's (QLocale::system()).
Language startupLanguage();

// Installs the texts of `language` from "<program folder>/lang": in Chinese
// the toolkit's own Chinese catalogue (qtbase_zh_CN.qm: the file dialogs,
// the standard buttons), in English our translation (lumora_en.qm); the
// toolkit speaks English by itself. LUMORA_LANG is set to the language, so
// the helper programs started later (lumora-vcam, the crash reporter) speak
// it too. False, with nothing installed, when the catalogue is missing.
bool installTranslations(Language language, QTranslator& translator);

// The first installed of the preferred families, else the default one; 13 pixels.
QFont interfaceFont(const QStringList& installedFamilies);

// Combo boxes and vertical scroll bars drawn with the skin's pictures, for a
// screen of `devicePixelRatio` (the application's).
QString applicationStyleSheet(const QString& skinDirectory, qreal devicePixelRatio = 1.0);
