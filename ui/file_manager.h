#pragma once

#include <QString>
#include <functional>

class QObject;

// Opens the desktop's file manager with `path` selected: the FileManager1
// D-Bus service when the session has one, else the folder through the
// desktop's URL handler. Never waits for the file manager: `done` runs later
// on `context`'s thread, from its event loop, with whether anything took the
// request (not at all when `context` is gone by then).
void showInFileManager(const QString& path, QObject* context, std::function<void(bool)> done);

// Replaces how files are shown (tests); it answers whether the file was
// shown. An empty function restores the desktop's file manager.
void setFileManagerOpener(std::function<bool(const QString&)> opener);
