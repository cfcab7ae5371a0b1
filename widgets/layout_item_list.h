#pragma once

#include <QGraphicsLayout>
#include <vector>

// What the grid and list layouts share: the list of items, added, removed and
// handed back. Items are laid out only from the first position that changed,
// so adding an item moves no other one. The layout never deletes its items.
class ItemListLayout : public QGraphicsLayout {
public:
    explicit ItemListLayout(QGraphicsLayoutItem* parent = nullptr);
    ~ItemListLayout() override;

    void addItem(QGraphicsLayoutItem* item);
    // Hands every item to the caller, who deletes them.
    void takeAll(std::vector<QGraphicsLayoutItem*>& items);
    void removeItems(const std::vector<QGraphicsLayoutItem*>& items);

    void setGeometry(const QRectF& rect) override;
    void invalidate() override;
    int count() const override;
    QGraphicsLayoutItem* itemAt(int index) const override;
    void removeAt(int index) override;

    // Places the items from position `first` on; those before it stay.
    virtual void doLayout(int first) = 0;

protected:
    const std::vector<QGraphicsLayoutItem*>& items() const { return items_; }

private:
    std::vector<QGraphicsLayoutItem*> items_;
};

// A layout item that owns one graphics item and deletes it; the graphics
// item is moved to the top left of the geometry the layout gives.
class OwnedGraphicItem : public QGraphicsLayoutItem {
public:
    explicit OwnedGraphicItem(QGraphicsItem* item);
    ~OwnedGraphicItem() override;

    void setGeometry(const QRectF& rect) override;
};

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
