#pragma once

#include <QGraphicsLayout>
#include <QVariant>
#include <vector>

// One item per row across the whole width (vertical), or one equal column
// per item with the item centred in it (horizontal). In a vertical list a
// hidden item takes no room. Items are laid out only from the first position
// that changed. The layout never deletes its items.
class CustomGraphicListLayout : public QGraphicsLayout {
public:
    explicit CustomGraphicListLayout(int orientation = Qt::Vertical,
                                     QGraphicsLayoutItem* parent = nullptr);
    ~CustomGraphicListLayout() override;

    void addItem(QGraphicsLayoutItem* item);
    // Hands every item to the caller, who deletes them.
    void takeAll(std::vector<QGraphicsLayoutItem*>& items);
    void removeItems(const std::vector<QGraphicsLayoutItem*>& items);
    void doLayout(int first);

    void setGeometry(const QRectF& rect) override;
    void invalidate() override;
    void widgetEvent(QEvent* event) override;
    int count() const override;
    QGraphicsLayoutItem* itemAt(int index) const override;
    void removeAt(int index) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    void layoutRows(int first, int width);
    void layoutColumns(int first, const QRect& area);
    bool takesRoom(const QGraphicsLayoutItem* item) const;

    std::vector<QGraphicsLayoutItem*> items_;
    int orientation_;
};

// One graphics item in a list row, sized as the item's bounding rectangle,
// with a value its panel may attach. It owns the graphics item and deletes it.
class CustomGraphicListItem : public QGraphicsLayoutItem {
public:
    explicit CustomGraphicListItem(QGraphicsItem* item);
    ~CustomGraphicListItem() override;

    void setGeometry(const QRectF& rect) override;
    void setUserValue(const QVariant& value) { value_ = value; }
    const QVariant& userValue() const { return value_; }

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    QVariant value_;
};
