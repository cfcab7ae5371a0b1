#pragma once

#include <QString>

class ButtonSkin;
class QLabel;
class QPainter;
class QPixmap;
class QSize;
class QRect;
class QScrollArea;
class QWidget;

// Small pieces every panel builds with.

// A label in the pages' white text.
QLabel* whiteLabel(const QString& text, QWidget* parent = nullptr);
// A label showing a skin picture, such as a separator line; a line wider
// than tall is drawn to the label's width.
QLabel* separatorLabel(const QString& skinPicture, QWidget* parent = nullptr);

// A frameless, see-through vertical scroll area holding `content`: a page
// whose notices can make it taller than its panel scrolls instead of
// squeezing its controls.
QScrollArea* scrollingPage(QWidget* content, QWidget* parent);

// A skin button carrying an "id" property, as the pages' buttons do.
ButtonSkin* idButton(const QString& picture, int id, QWidget* parent);

// "MM:SS" for a number of seconds; minutes grow past 59 (3725 s is "62:05").
QString clockText(int seconds);

// Draws the middle of `picture` into `target`, the picture having been scaled
// to cover the target's size; what overhangs is cut off evenly.
void drawCovering(QPainter& painter, const QRect& target, const QPixmap& picture);
// The picture scaled to cover `size` (logical pixels), keeping its
// proportions, in the screen's own pixels: at device pixel ratio 2 it holds
// twice as many each way, whatever the source's ratio.
QPixmap coveringPicture(const QPixmap& picture, QSize size);
