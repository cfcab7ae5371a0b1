#include "widgets/custom_graphic_list_layout.h"

#include <QGraphicsItem>

CustomGraphicListLayout::CustomGraphicListLayout(int orientation, QGraphicsLayoutItem* parent)
    : ItemListLayout(parent), orientation_(orientation) {}

bool CustomGraphicListLayout::takesRoom(const QGraphicsLayoutItem* item) const {
    return item->preferredSize().isValid() && item->graphicsItem() &&
           item->graphicsItem()->isVisible();
}

void CustomGraphicListLayout::doLayout(int first) {
    QRect area = geometry().toRect();
    if (items().empty() || area.width() < 11 || first < 0) {
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
        QRectF before = items()[first - 1]->geometry();
        y = static_cast<int>(before.top() + before.height());
    }
    for (int i = first; i < count(); ++i) {
        if (!takesRoom(items()[i])) {
            continue;
        }
        int height = static_cast<int>(items()[i]->preferredSize().height());
        items()[i]->setGeometry(QRectF(0, y, width, height));
        y += height;
    }
}

void CustomGraphicListLayout::layoutColumns(int first, const QRect& area) {
    int column = area.width() / count();
    for (int i = first; i < count(); ++i) {
        QSize size = items()[i]->preferredSize().toSize();
        int left = i * column + (column - size.width()) / 2;
        int top = (area.height() - size.height()) / 2;
        items()[i]->setGeometry(QRectF(left, top, size.width(), size.height()));
    }
}

QSizeF CustomGraphicListLayout::sizeHint(Qt::SizeHint, const QSizeF& constraint) const {
    int width = static_cast<int>(constraint.width());
    if (width < 11 || items().empty()) {
        return constraint;
    }
    if (orientation_ == Qt::Horizontal) {
        return QSizeF(width, items().front()->preferredSize().height());
    }
    qreal height = 0;
    for (const QGraphicsLayoutItem* item : items()) {
        if (takesRoom(item)) {
            height += item->preferredSize().height();
        }
    }
    return QSizeF(width, height);
}

CustomGraphicListItem::CustomGraphicListItem(QGraphicsItem* item) : OwnedGraphicItem(item) {}

QSizeF CustomGraphicListItem::sizeHint(Qt::SizeHint, const QSizeF&) const {
    return graphicsItem() ? graphicsItem()->boundingRect().size() : QSizeF(0, 0);
}
