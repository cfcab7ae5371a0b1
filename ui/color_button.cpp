#include "ui/color_button.h"

#include <QPainter>

ColorButton::ColorButton(QWidget* parent) : ButtonSkin("effect/btn_choose_color.png", parent) {}

void ColorButton::setColor(const QColor& colour) {
    colour_ = colour;
    update();
}

void ColorButton::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(QRect(4, 4, 22, 22), colour_);
    }
    ButtonSkin::paintEvent(event);
}
