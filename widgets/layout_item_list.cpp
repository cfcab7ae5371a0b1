#include "widgets/layout_item_list.h"

#include <QGraphicsLayoutItem>
#include <algorithm>

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

void detachItems(const std::vector<QGraphicsLayoutItem*>& items) {
    for (QGraphicsLayoutItem* item : items) {
        item->setParentLayoutItem(nullptr);
    }
}
