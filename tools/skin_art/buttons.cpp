#include "tools/skin_art/buttons.h"

#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/theme.h"

namespace {
FaceLook disabledLook() {
    return {theme::kDisabledFill, QColor(0x36, 0x3C, 0x44), theme::kTextDisabled};
}

FaceLook neutralLook(int state) {
    switch (state) {
        case kHover:
            return {QColor(0x4A, 0x55, 0x62), theme::kAccent, theme::kText};
        case kPressed:
            return {theme::kAccentDark, theme::kAccent, theme::kText};
        default:
            return {theme::kNeutral, QColor(0x4D, 0x57, 0x64), theme::kText};
    }
}

FaceLook accentLook(int state) {
    switch (state) {
        case kHover:
            return {QColor(0x48, 0xAB, 0xE8), QColor(0x8E, 0xD8, 0xFB), theme::kText};
        case kPressed:
            return {QColor(0x1A, 0x5E, 0x8E), theme::kAccentDeep, QColor(0xD8, 0xF0, 0xFD)};
        default:
            return {theme::kAccentDeep, theme::kAccent, theme::kText};
    }
}

FaceLook dangerLook(int state) {
    switch (state) {
        case kHover:
            return {QColor(0xE8, 0x5E, 0x68), QColor(0xF5, 0x93, 0x9A), theme::kText};
        case kPressed:
            return {QColor(0xA3, 0x30, 0x3A), theme::kDanger, QColor(0xFB, 0xDD, 0xE0)};
        default:
            return {theme::kDanger, QColor(0xEE, 0x6D, 0x76), theme::kText};
    }
}

// The disc or rounded square behind an icon button; none for flat normal states.
void iconBackdrop(QPainter& painter, const QRectF& slice, const FaceLook& look) {
    if (look.fill.alpha() == 0) {
        return;
    }
    QRectF inner = slice.adjusted(1, 1, -1, -1);
    const bool round = qAbs(slice.width() - slice.height()) < 1;
    const qreal radius = round ? inner.height() / 2 : 5;
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.fill);
    painter.drawRoundedRect(inner, radius, radius);
}

FaceLook iconLook(Tone tone, int state) {
    if (state == kDisabled) {
        return {tone == Tone::Accent ? theme::kDisabledFill : Qt::transparent,
                {},
                theme::kTextDisabled};
    }
    if (tone == Tone::Accent) {
        return accentLook(state);
    }
    const QColor hoverFill = tone == Tone::Danger ? theme::kDanger : QColor(255, 255, 255, 30);
    const QColor pressedFill =
        tone == Tone::Danger ? dangerLook(kPressed).fill : theme::kAccentDark;
    switch (state) {
        case kHover:
            return {hoverFill, {}, theme::kText};
        case kPressed:
            return {pressedFill, {}, theme::kText};
        default:
            return {Qt::transparent, {}, QColor(0xC9, 0xD1, 0xDA)};
    }
}
}  // namespace

FaceLook faceLook(Tone tone, int state) {
    if (state == kDisabled) {
        return disabledLook();
    }
    switch (tone) {
        case Tone::Accent:
            return accentLook(state);
        case Tone::Danger:
            return dangerLook(state);
        default:
            return neutralLook(state);
    }
}

StatePainter textButton(const QString& label, Tone tone, Glyph glyph) {
    return [label, tone, glyph](QPainter& painter, const QRectF& slice, int state) {
        const FaceLook look = faceLook(tone, state);
        const qreal radius = std::min(5.0, slice.height() / 4);
        kit::face(painter, slice, look.fill, look.border, radius);
        // A pressed label sinks by a pixel, as a physical key would.
        QRectF content = state == kPressed ? slice.translated(0, 1) : slice;
        const qreal pixelSize = slice.height() >= 40 ? 16 : 13;
        kit::label(painter, content, label, glyph, look.ink, pixelSize);
    };
}

StatePainter iconButton(Glyph glyph, Tone tone) {
    return [glyph, tone](QPainter& painter, const QRectF& slice, int state) {
        const FaceLook look = iconLook(tone, state);
        iconBackdrop(painter, slice, look);
        const qreal size = std::min(slice.width(), slice.height()) * 0.62;
        QRectF box(0, 0, size, size);
        box.moveCenter(slice.center() + QPointF(0, state == kPressed ? 0.5 : 0.0));
        glyph(painter, box, look.ink);
    };
}

StatePainter tabButton(const QString& label, Glyph glyph) {
    return [label, glyph](QPainter& painter, const QRectF& slice, int state) {
        const QColor fills[] = {Qt::transparent, QColor(255, 255, 255, 18),
                                QColor(0x5F, 0xC3, 0xF9, 38), Qt::transparent};
        const QColor inks[] = {theme::kTextMuted, theme::kText, theme::kAccent,
                               theme::kTextDisabled};
        QRectF inner = slice.adjusted(1, 1, -1, -1);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fills[state]);
        painter.drawRoundedRect(inner, 5, 5);
        if (state == kPressed) {
            kit::pill(painter, QRectF(inner.left() + 8, inner.bottom() - 3, inner.width() - 16, 3),
                      theme::kAccent);
        }
        const QColor ink = inks[state];
        if (!glyph) {
            kit::label(painter, inner.adjusted(0, 0, 0, -2), label, {}, ink, 14);
            return;
        }
        const qreal size = std::min(22.0, slice.height() * 0.42);
        glyph(painter, QRectF(slice.center().x() - size / 2, inner.top() + 6, size, size), ink);
        const QString text = kit::translated(label);
        painter.setFont(
            theme::uiFont(kit::fittingSize(text, 12, 0, inner.width() - 4), QFont::Medium));
        painter.setPen(ink);
        painter.drawText(QRectF(inner.left(), inner.top() + size + 8, inner.width(), 18),
                         Qt::AlignCenter, text);
    };
}
