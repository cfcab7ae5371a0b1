#pragma once

#include <QString>

// Moves a user's file to the desktop's trash ($XDG_DATA_HOME/Trash, or the
// trash of the file's own file system), from where the file manager can put
// it back. Nothing that a person made is unlinked by the program: when the
// file cannot be moved there it stays where it is, and `problem` says why.
// The user-interface thread, or any one thread at a time.
bool moveToDesktopTrash(const QString& path, QString* problem);
