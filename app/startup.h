#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QTranslator;

// The pieces of the program's start-up that are decided here once: the
// toolkit's Chinese texts, the interface font and the style sheet.

// Loads "<program folder>/lang/qt_zh_CN.qm" into `translator` and installs
// it; false (and nothing installed) when the file is missing.
bool installToolkitTranslation(QTranslator& translator);

// The first installed of the preferred families, else the default one; 13 pixels.
QFont interfaceFont(const QStringList& installedFamilies);

// Combo boxes and vertical scroll bars drawn with the skin's pictures.
QString applicationStyleSheet(const QString& skinDirectory);
