#pragma once

#include <QVariant>

#include "widgets/layout_item_list.h"

// One item per row across the whole width (vertical), or one equal column
// per item with the item centred in it (horizontal). In a vertical list a
// hidden item takes no room.
class CustomGraphicListLayout : public ItemListLayout {
public:
    explicit CustomGraphicListLayout(int orientation = Qt::Vertical,
                                     QGraphicsLayoutItem* parent = nullptr);

    void doLayout(int first) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    void layoutRows(int first, int width);
    void layoutColumns(int first, const QRect& area);
    bool takesRoom(const QGraphicsLayoutItem* item) const;

    int orientation_;
};

// One graphics item in a list row, sized as the item's bounding rectangle,
// with a value its panel may attach. It owns the graphics item and deletes it.
class CustomGraphicListItem : public OwnedGraphicItem {
public:
    explicit CustomGraphicListItem(QGraphicsItem* item);

    void setUserValue(const QVariant& value) { value_ = value; }
    const QVariant& userValue() const { return value_; }

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    QVariant value_;
};
