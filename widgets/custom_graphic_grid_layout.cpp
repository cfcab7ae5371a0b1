#include "widgets/custom_graphic_grid_layout.h"

#include <QGraphicsItem>

CustomGraphicGridLayout::CustomGraphicGridLayout(QGraphicsLayoutItem* parent)
    : ItemListLayout(parent) {}

void CustomGraphicGridLayout::doLayout(int first) {
    QRect area = geometry().toRect();
    if (items().empty() || area.width() < 11) {
        return;
    }
    QSize cell = items().front()->preferredSize().toSize();
    int columns = cell.width() > 0 ? qMax(1, area.width() / cell.width()) : 1;
    for (int i = qMax(first, 0); i < count(); ++i) {
        int row = i / columns;
        int column = i % columns;
        items()[i]->setGeometry(
            QRectF(cell.width() * column, cell.height() * row, cell.width(), cell.height()));
    }
}

QSizeF CustomGraphicGridLayout::sizeHint(Qt::SizeHint, const QSizeF& constraint) const {
    int width = static_cast<int>(constraint.width());
    if (width <= 10 || items().empty()) {
        return constraint;
    }
    QSize cell = items().front()->preferredSize().toSize();
    int columns = cell.width() > 0 ? qMax(1, width / cell.width()) : 1;
    int total = count();
    int rows = total / columns + (total % columns > 0 ? 1 : 0);
    return QSizeF(width, cell.height() * rows);
}

CustomGraphicGridItem::CustomGraphicGridItem(QGraphicsItem* item, int spacing)
    : OwnedGraphicItem(item), spacing_(spacing) {}

QSizeF CustomGraphicGridItem::sizeHint(Qt::SizeHint, const QSizeF&) const {
    QSizeF size = graphicsItem() ? graphicsItem()->boundingRect().size() : QSizeF(0, 0);
    return size + QSizeF(spacing_, spacing_);
}
