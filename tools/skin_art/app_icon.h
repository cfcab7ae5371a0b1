#pragma once

#include <QImage>
#include <QList>

// The program's icon ("app.ico", also the tray icon) at every size the icon
// file carries, smallest first.
QList<QImage> appIconImages();
