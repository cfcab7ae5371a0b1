#pragma once

#include <QGraphicsLayout>
#include <vector>

// Equal cells, as many columns as the width holds (at least one), filled row
// by row. Every cell has the first item's size. Items are laid out only from
// the first position that changed, so adding an item moves no other one.
// The layout never deletes its items.
class CustomGraphicGridLayout : public QGraphicsLayout {
public:
    explicit CustomGraphicGridLayout(QGraphicsLayoutItem* parent = nullptr);
    ~CustomGraphicGridLayout() override;

    void addItem(QGraphicsLayoutItem* item);
    // Hands every item to the caller, who deletes them.
    void takeAll(std::vector<QGraphicsLayoutItem*>& items);
    void removeItems(const std::vector<QGraphicsLayoutItem*>& items);

    void setGeometry(const QRectF& rect) override;
    void invalidate() override;
    void widgetEvent(QEvent* event) override;
    int count() const override;
    QGraphicsLayoutItem* itemAt(int index) const override;
    void removeAt(int index) override;
    virtual void doLayout(int first);

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    std::vector<QGraphicsLayoutItem*> items_;
};

// One graphics item in a grid cell, with `spacing` pixels added to its size
// on the right and below. It owns the graphics item and deletes it.
class CustomGraphicGridItem : public QGraphicsLayoutItem {
public:
    CustomGraphicGridItem(QGraphicsItem* item, int spacing);
    ~CustomGraphicGridItem() override;

    void setGeometry(const QRectF& rect) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    int spacing_;
};
