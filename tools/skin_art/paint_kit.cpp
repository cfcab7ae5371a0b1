#include "tools/skin_art/paint_kit.h"

#include <QCoreApplication>

#include <QFontMetricsF>
#include <QLinearGradient>

#include "tools/skin_art/theme.h"

namespace kit {
void face(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& border,
          qreal radius) {
    QRectF inner = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient light(inner.topLeft(), inner.bottomLeft());
    light.setColorAt(0.0, fill.lighter(112));
    light.setColorAt(1.0, fill);
    painter.setPen(QPen(border, 1.0));
    painter.setBrush(light);
    painter.drawRoundedRect(inner, radius, radius);
}

void pill(QPainter& painter, const QRectF& rect, const QBrush& brush, const QColor& border) {
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    painter.setPen(border.alpha() == 0 ? QPen(Qt::NoPen) : QPen(border, 1.0));
    painter.setBrush(brush);
    painter.drawRoundedRect(rect, radius, radius);
}

QString translated(const QString& text) {
    return QCoreApplication::translate("SkinArt", text.toUtf8().constData());
}

QStringList& overflows() {
    static QStringList noted;
    return noted;
}

qreal fittingSize(const QString& text, qreal pixelSize, qreal extraPerPixel, qreal width) {
    constexpr qreal kSmallest = 9.0;
    for (qreal size = pixelSize; size >= kSmallest; size -= 0.5) {
        qreal needed = QFontMetricsF(theme::uiFont(size, QFont::Medium)).horizontalAdvance(text) +
                       extraPerPixel * size;
        if (needed <= width) {
            return size;
        }
    }
    if (!overflows().contains(text)) {
        overflows() << text;
    }
    return kSmallest;
}

QStringList& shrunk() {
    static QStringList texts;
    return texts;
}

LabelFit fitLabel(const QString& text, bool withGlyph, qreal wantedSize, qreal width) {
    if (text.isEmpty()) {
        return {wantedSize, withGlyph};
    }
    // A glyph takes 1.15 of the size and its gap 0.4.
    const qreal glyphShare = withGlyph ? 1.55 : 0.0;
    LabelFit fit{fittingSize(text, wantedSize, glyphShare, width), withGlyph};
    // The words keep the size of every other label where leaving the glyph
    // out is enough (a longer translation in the same small button).
    if (withGlyph && fit.pixelSize < wantedSize &&
        fittingSize(text, wantedSize, 0.0, width) == wantedSize) {
        fit = {wantedSize, false};
    }
    if (fit.pixelSize < wantedSize && !shrunk().contains(text)) {
        shrunk() << text;
    }
    return fit;
}

void label(QPainter& painter, const QRectF& rect, const QString& source, const Glyph& glyph,
           const QColor& ink, qreal wantedSize) {
    const QString text = translated(source);
    // 4 pixels of air on each side.
    const LabelFit fit = fitLabel(text, static_cast<bool>(glyph), wantedSize, rect.width() - 8);
    const qreal pixelSize = fit.pixelSize;
    QFont font = theme::uiFont(pixelSize, QFont::Medium);
    const qreal textWidth = QFontMetricsF(font).horizontalAdvance(text);
    const qreal glyphSize = fit.withGlyph ? pixelSize * 1.15 : 0.0;
    const qreal gap = (fit.withGlyph && !text.isEmpty()) ? pixelSize * 0.4 : 0.0;
    const qreal left = rect.center().x() - (glyphSize + gap + textWidth) / 2;
    if (fit.withGlyph) {
        glyph(painter, QRectF(left, rect.center().y() - glyphSize / 2, glyphSize, glyphSize), ink);
    }
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(QRectF(left + glyphSize + gap, rect.top(), textWidth + 2, rect.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text);
}

void etchedLine(QPainter& painter, const QRectF& rect, Qt::Orientation orientation) {
    const bool across = orientation == Qt::Horizontal;
    QLinearGradient fade(rect.topLeft(), across ? rect.topRight() : rect.bottomLeft());
    auto paintHalf = [&](const QRectF& half, QColor colour) {
        QColor clear = colour;
        clear.setAlpha(0);
        fade.setColorAt(0.0, clear);
        fade.setColorAt(0.08, colour);
        fade.setColorAt(0.92, colour);
        fade.setColorAt(1.0, clear);
        painter.fillRect(half, fade);
    };
    QRectF first = across ? QRectF(rect.left(), rect.top(), rect.width(), rect.height() / 2)
                          : QRectF(rect.left(), rect.top(), rect.width() / 2, rect.height());
    QRectF second =
        across ? first.translated(0, first.height()) : first.translated(first.width(), 0);
    paintHalf(first, theme::kLine);
    paintHalf(second, theme::kLineLight);
}

void shadow(QPainter& painter, const QRectF& rect, qreal radius, qreal spread) {
    painter.setBrush(Qt::NoBrush);
    for (int step = 1; step <= qRound(spread); ++step) {
        QColor shade(0, 0, 0, qRound(60.0 * (1.0 - step / (spread + 1))));
        painter.setPen(QPen(shade, 1.0));
        QRectF ring = rect.adjusted(-step + 0.5, -step + 0.5, step - 0.5, step - 0.5);
        painter.drawRoundedRect(ring, radius + step, radius + step);
    }
}

void selectedBadge(QPainter& painter, QPointF centre, qreal radius) {
    painter.setPen(QPen(theme::kText, 1.0));
    painter.setBrush(theme::kAccentDeep);
    painter.drawEllipse(centre, radius, radius);
    const qreal box = radius * 1.5;
    glyph::check(painter, QRectF(centre.x() - box / 2, centre.y() - box / 2, box, box),
                 theme::kText);
}
}  // namespace kit
