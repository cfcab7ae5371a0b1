#include "app/recording_files.h"

#include <QDir>

#include "app/settings_db.h"
#include "base/debug_log.h"
#include "libs/recorder/flv_repair.h"

namespace recording_files {
namespace {
const char* const kTemporarySuffix = ".flv_tmp";
const QLatin1StringView kSavedSuffix(".flv");
}  // namespace

QString folder() {
    QString path = SettingsDb::dataPath() + "/MyVideo/";
    QDir().mkpath(path);
    return path;
}

QString temporaryPath(const QDateTime& start) {
    return folder() + start.toString("yyyyMMddhhmmsszzz") + kTemporarySuffix;
}

QString savedAsPath(const QString& chosen) {
    if (chosen.endsWith(kSavedSuffix, Qt::CaseInsensitive)) {
        return chosen;
    }
    // "clip." would otherwise become "clip..flv".
    QString stem = chosen.endsWith('.') ? chosen.chopped(1) : chosen;
    return stem + kSavedSuffix;
}

bool isUnsaved(const QString& path) { return path.endsWith(kTemporarySuffix); }

QStringList recoverUnsaved(const QString& inUse) {
    QDir dir(folder());
    QStringList recovered;
    for (const QString& name :
         dir.entryList({QString("*") + kTemporarySuffix}, QDir::Files, QDir::Name)) {
        QString path = dir.filePath(name);
        if (path == inUse) {
            continue;
        }
        FlvRepairResult repair = repairFlvTail(path.toStdString());
        debugLog("unsaved recording %s: %d tags, %lld ms, %lld bytes cut", qPrintable(path),
                 repair.tags, static_cast<long long>(repair.lastTimestampMs),
                 static_cast<long long>(repair.bytesCut));
        recovered << path;
    }
    return recovered;
}

}  // namespace recording_files
