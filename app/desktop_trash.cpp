#include "app/desktop_trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "base/debug_log.h"

namespace {
// The home trash is the toolkit's last resort for every file. When it cannot
// be made, Qt 6.4 moves the file into "files" below the working folder
// instead, where nobody would look for it: it must exist before a move.
bool homeTrashReady(QString* problem) {
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QString trash = data + "/Trash";
    if (data.isEmpty() || !QDir().mkpath(trash) || !QFileInfo(trash).isDir()) {
        *problem =
            QCoreApplication::translate("DesktopTrash", "无法建立回收站文件夹 %1").arg(trash);
        return false;
    }
    return true;
}
}  // namespace

bool moveToDesktopTrash(const QString& path, QString* problem) {
    if (!homeTrashReady(problem)) {
        debugLog("trash: %s kept, %s", qPrintable(path), qPrintable(*problem));
        return false;
    }
    QFile file(path);
    if (!file.moveToTrash()) {
        // No copy and delete across file systems either: the file stays.
        *problem = file.errorString();
        debugLog("trash: %s kept, %s", qPrintable(path), qPrintable(*problem));
        return false;
    }
    debugLog("trash: %s moved to %s", qPrintable(path), qPrintable(file.fileName()));
    return true;
}
