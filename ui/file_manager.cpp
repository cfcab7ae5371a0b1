#include "ui/file_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

namespace {
constexpr int kAnswerLimitMs = 3000;

std::function<bool(const QString&)>& opener() {
    static std::function<bool(const QString&)> replaced;
    return replaced;
}

bool openFolder(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

// Runs `done` from the event loop, as an answer from the bus would.
void answerLater(QObject* context, std::function<void(bool)> done, bool shown) {
    QTimer::singleShot(0, context, [done = std::move(done), shown] { done(shown); });
}
}  // namespace

void setFileManagerOpener(std::function<bool(const QString&)> replacement) {
    opener() = std::move(replacement);
}

void showInFileManager(const QString& path, QObject* context, std::function<void(bool)> done) {
    if (opener()) {
        answerLater(context, std::move(done), opener()(path));
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answerLater(context, std::move(done), openFolder(path));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                       "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerLimitMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, path, done = std::move(done)] {
                         watcher->deleteLater();
                         done(!watcher->isError() || openFolder(path));
                     });
}
