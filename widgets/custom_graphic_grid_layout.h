#pragma once

#include "widgets/layout_item_list.h"

// Equal cells, as many columns as the width holds (at least one), filled row
// by row. Every cell has the first item's size.
class CustomGraphicGridLayout : public ItemListLayout {
public:
    explicit CustomGraphicGridLayout(QGraphicsLayoutItem* parent = nullptr);

    void doLayout(int first) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;
};

// One graphics item in a grid cell, with `spacing` pixels added to its size
// on the right and below. It owns the graphics item and deletes it.
class CustomGraphicGridItem : public OwnedGraphicItem {
public:
    CustomGraphicGridItem(QGraphicsItem* item, int spacing);

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    int spacing_;
};
