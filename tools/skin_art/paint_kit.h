#pragma once

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

#include "tools/skin_art/glyphs.h"

// Drawing steps that many pictures share.
namespace kit {
// A rounded face with a soft light from above and a 1-pixel border, inside `rect`.
void face(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& border,
          qreal radius);
// A pill (a rectangle with fully rounded ends) filled with `brush`.
void pill(QPainter& painter, const QRectF& rect, const QBrush& brush,
          const QColor& border = Qt::transparent);
// A picture's text in the language being painted: the translations
// installed in the application (context "SkinArt"), else the source text.
QString translated(const QString& text);
// The pixel size at which `text` (plus `extra` pixels beside it, for a
// glyph) fits `width`: `pixelSize`, or smaller down to 9. A text that does
// not fit even then is noted in overflows().
qreal fittingSize(const QString& text, qreal pixelSize, qreal extraPerPixel, qreal width);
// The texts noted so far as too wide for their pictures.
QStringList& overflows();
// The texts drawn smaller than asked so far, to fit their pictures.
QStringList& shrunk();
// How a label's text (and glyph) fits `width`: at the asked size where it
// can, with the glyph left out where that alone makes the words fit, else
// smaller (noted in shrunk(), and in overflows() below 9 pixels).
struct LabelFit {
    qreal pixelSize;
    bool withGlyph;
};
LabelFit fitLabel(const QString& text, bool withGlyph, qreal wantedSize, qreal width);
// The label (translated), with `glyph` (if any) before it, centred as one
// group in `rect`, fitted as fitLabel says.
void label(QPainter& painter, const QRectF& rect, const QString& text, const Glyph& glyph,
           const QColor& ink, qreal pixelSize);
// An etched separator: a dark line beside a light one, fading out at both ends.
void etchedLine(QPainter& painter, const QRectF& rect, Qt::Orientation orientation);
// A drop shadow under a rounded shape, `spread` logical pixels wide.
void shadow(QPainter& painter, const QRectF& rect, qreal radius, qreal spread);
// A small accent disc with a white tick: the mark of a selected tile.
void selectedBadge(QPainter& painter, QPointF centre, qreal radius);
}  // namespace kit
