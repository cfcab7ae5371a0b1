#pragma once

#include <QString>
#include <functional>

// Opens the desktop's file manager with `path` selected: the FileManager1
// D-Bus service when the session has one, else the folder through the
// desktop's URL handler.
void showInFileManager(const QString& path);

// Replaces how files are shown (tests); an empty function restores the
// desktop's file manager.
void setFileManagerOpener(std::function<void(const QString&)> opener);
