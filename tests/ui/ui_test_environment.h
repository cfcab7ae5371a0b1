#pragma once

#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << "[" << list.join(", ").toStdString() << "]";
}

// The panels' tests run in one offscreen application with a temporary home
// (settings, documents, the data folder with the trash) and the skin painted
// into the build tree.
QString builtSkinFolder();

// Lets a page's zero-delay loading and other posted work run.
void settle();

// Runs the event loop until `done` holds or `ms` pass; true when it held.
template <typename Done>
bool waitFor(Done done, int ms = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QTest::qWait(20);
    }
    return done();
}

// Answers the next message box (the platform's or ours) with `button`, and
// notes its text.
struct MessageAnswer {
    QString text;
    QTimer timer;
    explicit MessageAnswer(QMessageBox::StandardButton button);
};
