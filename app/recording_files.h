#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Where recordings are written and what happens to one that was never saved.
// A recording is written under a temporary name (".flv_tmp") in the data
// folder's "MyVideo" until the person saves it; a crash or a failed save
// leaves such a file behind, and it is offered again at the next start.
namespace recording_files {

// The folder recordings go to, made when missing (ends with "/").
QString folder();

// The temporary name of a recording started at `start` (local time).
QString temporaryPath(const QDateTime& start);

// The file a recording "saved as" `chosen` is written to: `chosen` when it
// ends in ".flv" (in any case), else `chosen` with ".flv" added, since the
// recording is FLV whatever name was typed and the players go by the name.
QString savedAsPath(const QString& chosen);

// Whether `path` names a recording that was not saved yet.
bool isUnsaved(const QString& path);

// The unsaved recordings in the folder, in name (that is, start) order, each
// made playable again first: a writer that died leaves its last tag cut off.
// `inUse` (the recording being written now) is left alone.
QStringList recoverUnsaved(const QString& inUse);

}  // namespace recording_files
