// The pictures at the top of the skin folder: the dialog border, the check
// boxes and radio buttons, and the step buttons beside the face slider.

#include "tools/skin_art/buttons.h"
#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/theme.h"

namespace {
FaceLook toggleLook(bool checked, int state) {
    if (!checked) {
        const FaceLook looks[] = {{QColor(0x1A, 0x1F, 0x25), QColor(0x7A, 0x85, 0x91), {}},
                                  {QColor(0x22, 0x29, 0x32), theme::kAccent, {}},
                                  {theme::kAccentDark, theme::kAccent, {}},
                                  {theme::kDisabledFill, QColor(0x45, 0x4C, 0x55), {}}};
        return looks[state];
    }
    const FaceLook looks[] = {
        {theme::kAccentDeep, theme::kAccent, theme::kText},
        {QColor(0x48, 0xAB, 0xE8), QColor(0x8E, 0xD8, 0xFB), theme::kText},
        {QColor(0x1A, 0x5E, 0x8E), theme::kAccentDeep, theme::kText},
        {QColor(0x45, 0x4C, 0x55), QColor(0x4D, 0x54, 0x5D), QColor(0x7A, 0x83, 0x8D)}};
    return looks[state];
}

// A check box (square, with a tick) or a radio button (round, with a dot).
StatePainter toggle(bool checked, bool round) {
    return [checked, round](QPainter& painter, const QRectF& slice, int state) {
        const FaceLook look = toggleLook(checked, state);
        QRectF box = slice.adjusted(2.5, 2.5, -2.5, -2.5);
        painter.setPen(QPen(look.border, 1.2));
        painter.setBrush(look.fill);
        const qreal radius = round ? box.width() / 2 : 3;
        painter.drawRoundedRect(box, radius, radius);
        if (!checked) {
            return;
        }
        if (round) {
            glyph::dot(painter, box, look.ink);
        } else {
            glyph::check(painter, box, look.ink);
        }
    };
}

// Opaque to its rounded edge, because frameless dialogs are masked rather
// than translucent: a dark rim, a title band over the top 46 rows and an inner
// shade that stays within the 12-pixel corners of the nine-slice cut.
void dialogBorder(QPainter& painter, const QRectF& slice, int) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme::kEdge);
    painter.drawRoundedRect(slice, 6, 6);
    QRectF body = slice.adjusted(1, 1, -1, -1);
    painter.setBrush(theme::kWindow);
    painter.drawRoundedRect(body, 5, 5);
    QLinearGradient band(0, body.top(), 0, 45);
    band.setColorAt(0.0, theme::kTitleTop);
    band.setColorAt(1.0, theme::kTitleBottom);
    painter.save();
    painter.setClipRect(QRectF(body.left(), body.top(), body.width(), 45 - body.top()));
    painter.setBrush(band);
    painter.drawRoundedRect(body, 5, 5);
    painter.restore();
    painter.fillRect(QRectF(body.left(), 45, body.width(), 1), theme::kLine);
    painter.fillRect(QRectF(body.left(), 46, body.width(), 1), QColor(255, 255, 255, 14));
    painter.fillRect(QRectF(body.left() + 5, body.top(), body.width() - 10, 1),
                     QColor(255, 255, 255, 22));
    painter.setBrush(Qt::NoBrush);
    for (int step = 0; step < 3; ++step) {
        painter.setPen(QPen(QColor(0, 0, 0, 60 - step * 20), 1.0));
        QRectF ring = body.adjusted(step + 0.5, step + 0.5, -step - 0.5, -step - 0.5);
        painter.drawRoundedRect(ring, 5 - step, 5 - step);
    }
}
}  // namespace

QList<SkinPicture> rootPictures() {
    return {
        {"btn_dec.png", {20, 20}, 4, iconButton(glyph::minus)},
        {"btn_enc.png", {20, 20}, 4, iconButton(glyph::plus)},
        {"check_normal.png", {18, 18}, 4, toggle(false, false)},
        {"check_checked.png", {18, 18}, 4, toggle(true, false)},
        {"radio_normal.png", {18, 18}, 4, toggle(false, true)},
        {"radio_checked.png", {18, 18}, 4, toggle(true, true)},
        {"dialog_border.png", {100, 100}, 1, dialogBorder},
    };
}
