#pragma once

#include <QColor>
#include <QString>

class QWidget;

// The widget tests run in one offscreen application over a skin folder of
// flat-coloured pictures made at start-up, so a test can tell by colour which
// picture or state a widget shows:
//   strip.png      four 50 x 30 states: red, green, blue, grey
//   on.png/off.png four 20 x 30 yellow / black states
//   square.png     two 30 x 30 square states: red, green
//   bar.png, progress.png, handle.png   100 x 6 dark grey, 100 x 6 cyan, 12 x 12 white
//   dialog_border.png  60 x 80: title band blue (rows 0-45), edges magenta,
//                      inside dark grey
//   main/btn_min.png, main/btn_close.png  four 16 x 16 states
//   record/btn_ok.png  four 60 x 24 green states; record/btn_cancel.png red
// The default-scope settings live in the same scratch folder.

// The colour at the centre of what the widget shows.
QColor shown(QWidget& widget);
// The test skin folder.
QString testSkinFolder();
