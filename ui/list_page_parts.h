#pragma once

#include <QList>

class ButtonSkin;
class QComboBox;
class QWidget;

// The rows that the video and the picture pages share.

// Add, clear and delete buttons (ids 0, 1, 2) above the list; the buttons
// are appended to `buttons` for the page to connect.
QWidget* listTopRow(QWidget* parent, QList<ButtonSkin*>* buttons);

// The bar under the list (313 x 47): the play-order box ("随机播放" data 0,
// "列表循环" data 1), then each of `choices` after 20 pixels, then the play
// button (id 3), appended to `buttons`.
QWidget* listBottomBar(QWidget* parent, QComboBox* playOrder, const QList<QWidget*>& choices,
                       QList<ButtonSkin*>* buttons);

// The play-order box of those pages, filled and at its first entry.
QComboBox* makePlayOrderBox(QWidget* parent);
