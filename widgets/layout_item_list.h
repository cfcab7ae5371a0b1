#pragma once

#include <QGraphicsLayoutItem>
#include <vector>

// What the grid and list layouts share about their item lists.

// Removes from `list` every item that is in `removed` and returns the first
// position (of the list as it was) that lost an item, or the old size when
// nothing was removed.
int eraseItems(std::vector<QGraphicsLayoutItem*>& list,
               const std::vector<QGraphicsLayoutItem*>& removed);

// Forgets the layout as the items' parent, so an item deleted after its
// layout does not reach back into it.
void detachItems(const std::vector<QGraphicsLayoutItem*>& items);

// Takes every item out of a grid or list layout and deletes it, and with it
// its graphics item: how a view empties itself.
template <typename Layout>
void deleteAllItems(Layout* layout) {
    std::vector<QGraphicsLayoutItem*> items;
    layout->takeAll(items);
    for (QGraphicsLayoutItem* item : items) {
        delete item;
    }
}
