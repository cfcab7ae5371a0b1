#include "widgets/custom_graphic_list_layout.h"

#include <QGraphicsItem>

#include "widgets/layout_item_list.h"

CustomGraphicListLayout::CustomGraphicListLayout(int orientation, QGraphicsLayoutItem* parent)
    : QGraphicsLayout(parent), orientation_(orientation) {}

CustomGraphicListLayout::~CustomGraphicListLayout() { detachItems(items_); }

void CustomGraphicListLayout::addItem(QGraphicsLayoutItem* item) {
    items_.push_back(item);
    addChildLayoutItem(item);
    doLayout(static_cast<int>(items_.size()) - 1);
}

void CustomGraphicListLayout::takeAll(std::vector<QGraphicsLayoutItem*>& items) {
    items = items_;
    detachItems(items_);
    items_.clear();
    doLayout(0);
}

void CustomGraphicListLayout::removeItems(const std::vector<QGraphicsLayoutItem*>& items) {
    doLayout(eraseItems(items_, items));
}

void CustomGraphicListLayout::setGeometry(const QRectF& rect) {
    QGraphicsLayout::setGeometry(rect);
    doLayout(0);
}

void CustomGraphicListLayout::invalidate() {
    doLayout(0);
    QGraphicsLayout::invalidate();
}

void CustomGraphicListLayout::widgetEvent(QEvent* event) { QGraphicsLayout::widgetEvent(event); }

int CustomGraphicListLayout::count() const { return static_cast<int>(items_.size()); }

QGraphicsLayoutItem* CustomGraphicListLayout::itemAt(int index) const {
    return index >= 0 && index < count() ? items_[index] : nullptr;
}

void CustomGraphicListLayout::removeAt(int index) {
    if (index >= 0 && index < count()) {
        items_.erase(items_.begin() + index);
    }
    doLayout(index);
}

bool CustomGraphicListLayout::takesRoom(const QGraphicsLayoutItem* item) const {
    return item->preferredSize().isValid() && item->graphicsItem() &&
           item->graphicsItem()->isVisible();
}

void CustomGraphicListLayout::doLayout(int first) {
    QRect area = geometry().toRect();
    if (items_.empty() || area.width() < 11 || first < 0) {
        return;
    }
    if (orientation_ == Qt::Horizontal) {
        layoutColumns(first, area);
    } else {
        layoutRows(first, area.width());
    }
}

void CustomGraphicListLayout::layoutRows(int first, int width) {
    int y = 0;
    if (first > 0 && first <= count()) {
        QRectF before = items_[first - 1]->geometry();
        y = static_cast<int>(before.top() + before.height());
    }
    for (int i = first; i < count(); ++i) {
        if (!takesRoom(items_[i])) {
            continue;
        }
        int height = static_cast<int>(items_[i]->preferredSize().height());
        items_[i]->setGeometry(QRectF(0, y, width, height));
        y += height;
    }
}

void CustomGraphicListLayout::layoutColumns(int first, const QRect& area) {
    int column = area.width() / count();
    for (int i = first; i < count(); ++i) {
        QSize size = items_[i]->preferredSize().toSize();
        int left = i * column + (column - size.width()) / 2;
        int top = (area.height() - size.height()) / 2;
        items_[i]->setGeometry(QRectF(left, top, size.width(), size.height()));
    }
}

QSizeF CustomGraphicListLayout::sizeHint(Qt::SizeHint, const QSizeF& constraint) const {
    int width = static_cast<int>(constraint.width());
    if (width < 11 || items_.empty()) {
        return constraint;
    }
    if (orientation_ == Qt::Horizontal) {
        return QSizeF(width, items_.front()->preferredSize().height());
    }
    qreal height = 0;
    for (const QGraphicsLayoutItem* item : items_) {
        if (takesRoom(item)) {
            height += item->preferredSize().height();
        }
    }
    return QSizeF(width, height);
}

CustomGraphicListItem::CustomGraphicListItem(QGraphicsItem* item) { setGraphicsItem(item); }

CustomGraphicListItem::~CustomGraphicListItem() {
    QGraphicsItem* item = graphicsItem();
    setGraphicsItem(nullptr);
    delete item;
}

void CustomGraphicListItem::setGeometry(const QRectF& rect) {
    if (graphicsItem()) {
        graphicsItem()->setPos(rect.topLeft());
    }
    QGraphicsLayoutItem::setGeometry(rect);
}

QSizeF CustomGraphicListItem::sizeHint(Qt::SizeHint, const QSizeF&) const {
    return graphicsItem() ? graphicsItem()->boundingRect().size() : QSizeF(0, 0);
}
