#include "widgets/button.h"

#include <QMouseEvent>
#include <QPainter>

#include "widgets/skin_style.h"

Button::Button(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void Button::setPictures(const QPixmap& normal, const QPixmap& pressed, const QPixmap& hover,
                         const QPixmap& disabled, const QPixmap& selected) {
    normalPicture_ = normal;
    pressedPicture_ = pressed;
    hoverPicture_ = hover;
    disabledPicture_ = disabled;
    selectedPicture_ = selected;
    update();
}

void Button::setState(int state) {
    state_ = state;
    update();
}

void Button::click(bool really) {
    if (state_ != Disabled && really) {
        setState(Released);
        emit clicked();
    }
}

void Button::setEnabled(bool enabled) {
    state_ = enabled ? Normal : Disabled;
    QWidget::setEnabled(enabled);
    update();
}

void Button::setSelected(bool selected) {
    selected_ = selected;
    update();
}

void Button::setAutoResize(bool autoResize) {
    autoResize_ = autoResize;
    const QPixmap& picture = pictureOfState();
    if (!picture.isNull()) {
        if (state_ == Normal || state_ == Released) {
            setFixedSize(logicalSize(picture));
        } else {
            resize(logicalSize(picture));
        }
    }
    update();
}

void Button::mousePressEvent(QMouseEvent*) {
    if (state_ != Disabled) {
        setState(Pressed);
    }
}

void Button::mouseReleaseEvent(QMouseEvent* event) {
    QPointF at = event->position();
    bool inside = at.x() >= 0 && at.x() <= width() && at.y() >= 0 && at.y() <= height();
    if (state_ != Disabled && inside) {
        setState(Released);
        emit clicked();
    }
}

void Button::enterEvent(QEnterEvent*) {
    if (state_ != Disabled) {
        setState(Hover);
    }
}

void Button::leaveEvent(QEvent*) {
    if (state_ != Disabled) {
        setState(Normal);
    }
}

const QPixmap& Button::pictureOfState() const {
    switch (state_) {
        case Pressed:
            return pressedPicture_;
        case Hover:
            return hoverPicture_;
        case Disabled:
            return disabledPicture_;
        default:
            return normalPicture_;
    }
}

void Button::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (selected_) {
        if (pressedPicture_.isNull()) {
            painter.fillRect(rect(), selectedFill_);
        } else {
            painter.drawPixmap(rect(), selectedPicture_);
        }
        return;
    }
    const QPixmap& picture = pictureOfState();
    if (!picture.isNull()) {
        if (autoResize_ && logicalSize(picture) != size()) {
            resize(logicalSize(picture));
        }
        painter.drawPixmap(rect(), picture);
        return;
    }
    switch (state_) {
        case Pressed:
        case Hover:
            painter.fillRect(rect(), pressedFill_);
            break;
        case Disabled:
            painter.fillRect(rect(), Qt::green);
            break;
        default:
            painter.fillRect(rect(), Qt::white);
    }
}
