#include "ui/prettify_item.h"

#include <QGraphicsSceneMouseEvent>
#include <QPainter>

#include "ui/ui_kit.h"
#include "widgets/custom_graphic_item_listener.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kIconSide = 55;
const QColor kTileColour("#39414B");
}  // namespace

PrettifyItem::PrettifyItem(int id, const QString& name, const QPixmap& icon, const QString& path,
                           int width, int height)
    : PicItem(width, height, QPixmap()),
      id_(id),
      name_(name),
      textRect_(0, 60, width, height - 60) {
    icon_ = coveringPicture(icon, QSize(kIconSide, kIconSide));
    setPath(path);
}

void PrettifyItem::setFrames(const QPixmap& selected, const QPixmap& normal) {
    selectedFrame_ = selected;
    normalFrame_ = normal;
    update();
}

void PrettifyItem::paintFace(QPainter* painter) const {
    painter->fillRect(iconRect_, kTileColour);
    if (!name_.isNull()) {
        painter->setPen(Qt::white);
        QString shown = painter->fontMetrics().elidedText(name_, Qt::ElideRight, textRect_.width());
        painter->drawText(textRect_, Qt::AlignCenter | Qt::TextSingleLine, shown);
    }
    drawCovering(*painter, iconRect_, icon_);
}

void PrettifyItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    paintFace(painter);
    const QPixmap& frame = isSelected() ? selectedFrame_ : normalFrame_;
    if (!frame.isNull()) {
        painter->drawPixmap(0, 0, frame);
    }
}

void PrettifyItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    PicItem::mouseReleaseEvent(event);
    if (listener_) {
        listener_->itemClicked(id_);
    }
}

void PrettifyItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mouseDoubleClickEvent(event);
    if (listener_) {
        listener_->itemDoubleClicked(id_);
    }
}

PrettifyOptItem::PrettifyOptItem(int id, const QString& name, const QPixmap& icon,
                                 const QString& path, int width, int height)
    : PrettifyItem(id, name, icon, path, width, height), closeRect_(width - 12, -2, 14, 14) {}

void PrettifyOptItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    paintFace(painter);
    if (!normalFrame().isNull()) {
        painter->drawPixmap(0, 0, normalFrame());
    }
    if (hovered_ || pressed_) {
        int state = pressed_ ? 2 : 1;
        QPixmap close = SkinStyle::instance()->statePixmap("effect/btn_close.png", 4, state);
        if (!close.isNull()) {
            painter->drawPixmap(closeRect_, close);
        }
    }
}

void PrettifyOptItem::hoverEnterEvent(QGraphicsSceneHoverEvent* event) {
    hovered_ = true;
    update();
    PrettifyItem::hoverEnterEvent(event);
}

void PrettifyOptItem::hoverLeaveEvent(QGraphicsSceneHoverEvent* event) {
    hovered_ = false;
    update();
    PrettifyItem::hoverLeaveEvent(event);
}

void PrettifyOptItem::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    pressed_ = true;
    PrettifyItem::mousePressEvent(event);
}

void PrettifyOptItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    pressed_ = false;
    PrettifyItem::mouseReleaseEvent(event);
    // Bounds included, as a user aiming at the corner expects.
    QPointF at = event->pos();
    bool onClose = at.x() >= closeRect_.left() &&
                   at.x() <= closeRect_.left() + closeRect_.width() && at.y() >= closeRect_.top() &&
                   at.y() <= closeRect_.top() + closeRect_.height();
    if (onClose && listener_) {
        listener_->itemRemoveRequested(id());
    }
}
