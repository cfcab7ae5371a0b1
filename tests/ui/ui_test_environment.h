#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << "[" << list.join(", ").toStdString() << "]";
}

// The panels' tests run in one offscreen application with a temporary home
// (settings, documents) and the skin painted into the build tree.
QString builtSkinFolder();
