#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// The one dark look shared by every skin picture: a blue-grey window, the
// light blue accent that the item lists also use for selection, white text.
namespace theme {
inline const QColor kEdge{0x0F, 0x12, 0x16};      // outermost line of windows
inline const QColor kTitleTop{0x23, 0x29, 0x31};  // title band, top row
inline const QColor kTitleBottom{0x1B, 0x20, 0x26};
inline const QColor kWindow{0x22, 0x28, 0x2F};     // body of windows and pages
inline const QColor kPanel{0x29, 0x30, 0x38};      // tool rows over the body
inline const QColor kWell{0x12, 0x15, 0x19};       // recessed video areas
inline const QColor kTile{0x39, 0x41, 0x4B};       // tile background of the lists
inline const QColor kLine{0x15, 0x19, 0x1E};       // dark half of an etched line
inline const QColor kLineLight{0x3C, 0x45, 0x50};  // light half, and quiet borders
inline const QColor kAccent{0x5F, 0xC3, 0xF9};
inline const QColor kAccentDeep{0x2D, 0x8F, 0xD0};
inline const QColor kAccentDark{0x1D, 0x66, 0x9A};
inline const QColor kDanger{0xD9, 0x45, 0x50};
inline const QColor kText{0xFF, 0xFF, 0xFF};
inline const QColor kTextMuted{0xAE, 0xB8, 0xC3};
inline const QColor kTextDisabled{0x66, 0x70, 0x7B};
inline const QColor kNeutral{0x3A, 0x43, 0x4E};
inline const QColor kDisabledFill{0x2C, 0x31, 0x37};

// The installed CJK family that the pictures' Chinese labels are set in.
QString uiFamily();
QFont uiFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);
}  // namespace theme
