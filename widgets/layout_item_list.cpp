#include "widgets/layout_item_list.h"

#include <QGraphicsItem>
#include <algorithm>

namespace {
// Removes from `list` every item that is in `removed` and returns the first
// position (of the list as it was) that lost an item, or the old size when
// nothing was removed.
int eraseItems(std::vector<QGraphicsLayoutItem*>& list,
               const std::vector<QGraphicsLayoutItem*>& removed) {
    std::vector<QGraphicsLayoutItem*> pending = removed;
    int lowest = static_cast<int>(list.size());
    int position = 0;
    for (auto it = list.begin(); it != list.end(); ++position) {
        auto found = std::find(pending.begin(), pending.end(), *it);
        if (found == pending.end()) {
            ++it;
            continue;
        }
        pending.erase(found);
        it = list.erase(it);
        lowest = std::min(lowest, position);
    }
    return lowest;
}

// Forgets the layout as the items' parent, so an item deleted after its
// layout does not reach back into it.
void detachItems(const std::vector<QGraphicsLayoutItem*>& items) {
    for (QGraphicsLayoutItem* item : items) {
        item->setParentLayoutItem(nullptr);
    }
}
}  // namespace

ItemListLayout::ItemListLayout(QGraphicsLayoutItem* parent) : QGraphicsLayout(parent) {}

ItemListLayout::~ItemListLayout() { detachItems(items_); }

void ItemListLayout::addItem(QGraphicsLayoutItem* item) {
    items_.push_back(item);
    addChildLayoutItem(item);
    doLayout(static_cast<int>(items_.size()) - 1);
}

void ItemListLayout::takeAll(std::vector<QGraphicsLayoutItem*>& items) {
    items = items_;
    detachItems(items_);
    items_.clear();
    doLayout(0);
}

void ItemListLayout::removeItems(const std::vector<QGraphicsLayoutItem*>& items) {
    doLayout(eraseItems(items_, items));
}

void ItemListLayout::setGeometry(const QRectF& rect) {
    QGraphicsLayout::setGeometry(rect);
    doLayout(0);
}

void ItemListLayout::invalidate() {
    doLayout(0);
    QGraphicsLayout::invalidate();
}

int ItemListLayout::count() const { return static_cast<int>(items_.size()); }

QGraphicsLayoutItem* ItemListLayout::itemAt(int index) const {
    return index >= 0 && index < count() ? items_[index] : nullptr;
}

void ItemListLayout::removeAt(int index) {
    if (index >= 0 && index < count()) {
        items_.erase(items_.begin() + index);
    }
    doLayout(index);
}

OwnedGraphicItem::OwnedGraphicItem(QGraphicsItem* item) { setGraphicsItem(item); }

OwnedGraphicItem::~OwnedGraphicItem() {
    QGraphicsItem* item = graphicsItem();
    setGraphicsItem(nullptr);
    delete item;
}

void OwnedGraphicItem::setGeometry(const QRectF& rect) {
    if (graphicsItem()) {
        graphicsItem()->setPos(rect.topLeft());
    }
    QGraphicsLayoutItem::setGeometry(rect);
}
