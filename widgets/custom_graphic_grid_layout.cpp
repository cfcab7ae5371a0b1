#include "widgets/custom_graphic_grid_layout.h"

#include <QGraphicsItem>

#include "widgets/layout_item_list.h"

CustomGraphicGridLayout::CustomGraphicGridLayout(QGraphicsLayoutItem* parent)
    : QGraphicsLayout(parent) {}

CustomGraphicGridLayout::~CustomGraphicGridLayout() { detachItems(items_); }

void CustomGraphicGridLayout::addItem(QGraphicsLayoutItem* item) {
    items_.push_back(item);
    addChildLayoutItem(item);
    doLayout(static_cast<int>(items_.size()) - 1);
}

void CustomGraphicGridLayout::takeAll(std::vector<QGraphicsLayoutItem*>& items) {
    items = items_;
    detachItems(items_);
    items_.clear();
    doLayout(0);
}

void CustomGraphicGridLayout::removeItems(const std::vector<QGraphicsLayoutItem*>& items) {
    doLayout(eraseItems(items_, items));
}

void CustomGraphicGridLayout::setGeometry(const QRectF& rect) {
    QGraphicsLayout::setGeometry(rect);
    doLayout(0);
}

void CustomGraphicGridLayout::invalidate() {
    doLayout(0);
    QGraphicsLayout::invalidate();
}

void CustomGraphicGridLayout::widgetEvent(QEvent* event) { QGraphicsLayout::widgetEvent(event); }

int CustomGraphicGridLayout::count() const { return static_cast<int>(items_.size()); }

QGraphicsLayoutItem* CustomGraphicGridLayout::itemAt(int index) const {
    return index >= 0 && index < count() ? items_[index] : nullptr;
}

void CustomGraphicGridLayout::removeAt(int index) {
    if (index >= 0 && index < count()) {
        items_.erase(items_.begin() + index);
    }
    doLayout(index);
}

void CustomGraphicGridLayout::doLayout(int first) {
    QRect area = geometry().toRect();
    if (items_.empty() || area.width() < 11) {
        return;
    }
    QSize cell = items_.front()->preferredSize().toSize();
    int columns = cell.width() > 0 ? qMax(1, area.width() / cell.width()) : 1;
    for (int i = qMax(first, 0); i < count(); ++i) {
        int row = i / columns;
        int column = i % columns;
        items_[i]->setGeometry(
            QRectF(cell.width() * column, cell.height() * row, cell.width(), cell.height()));
    }
}

QSizeF CustomGraphicGridLayout::sizeHint(Qt::SizeHint, const QSizeF& constraint) const {
    int width = static_cast<int>(constraint.width());
    if (width <= 10 || items_.empty()) {
        return constraint;
    }
    QSize cell = items_.front()->preferredSize().toSize();
    int columns = cell.width() > 0 ? qMax(1, width / cell.width()) : 1;
    int total = count();
    int rows = total / columns + (total % columns > 0 ? 1 : 0);
    return QSizeF(width, cell.height() * rows);
}

CustomGraphicGridItem::CustomGraphicGridItem(QGraphicsItem* item, int spacing) : spacing_(spacing) {
    setGraphicsItem(item);
}

CustomGraphicGridItem::~CustomGraphicGridItem() {
    QGraphicsItem* item = graphicsItem();
    setGraphicsItem(nullptr);
    delete item;
}

void CustomGraphicGridItem::setGeometry(const QRectF& rect) {
    if (graphicsItem()) {
        graphicsItem()->setPos(rect.topLeft());
    }
    QGraphicsLayoutItem::setGeometry(rect);
}

QSizeF CustomGraphicGridItem::sizeHint(Qt::SizeHint, const QSizeF&) const {
    QSizeF size = graphicsItem() ? graphicsItem()->boundingRect().size() : QSizeF(0, 0);
    return size + QSizeF(spacing_, spacing_);
}
