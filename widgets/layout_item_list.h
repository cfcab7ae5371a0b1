#pragma once

#include <vector>

class QGraphicsLayoutItem;

// What the grid and list layouts share about their item lists.

// Removes from `list` every item that is in `removed` and returns the first
// position (of the list as it was) that lost an item, or the old size when
// nothing was removed.
int eraseItems(std::vector<QGraphicsLayoutItem*>& list,
               const std::vector<QGraphicsLayoutItem*>& removed);

// Forgets the layout as the items' parent, so an item deleted after its
// layout does not reach back into it.
void detachItems(const std::vector<QGraphicsLayoutItem*>& items);
