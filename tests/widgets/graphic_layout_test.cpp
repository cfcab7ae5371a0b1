#include <gtest/gtest.h>

#include <QGraphicsScene>
#include <QGraphicsWidget>
#include <QPainter>

#include "widgets/custom_graphic_grid_layout.h"
#include "widgets/custom_graphic_list_layout.h"

namespace {
// A plain item of a given size, its bounding rectangle at the origin.
class Box : public QGraphicsItem {
public:
    Box(qreal width, qreal height) : size_(width, height) {}
    QRectF boundingRect() const override { return QRectF(QPointF(0, 0), size_); }
    void paint(QPainter*, const QStyleOptionGraphicsItem*, QWidget*) override {}

private:
    QSizeF size_;
};

constexpr QPointF kUntouched(-1, -1);

// The grid with its raw size hint in reach.
class OpenGridLayout : public CustomGraphicGridLayout {
public:
    using CustomGraphicGridLayout::sizeHint;
};

// A container widget in a scene, holding `count` 90 x 60 boxes in a grid
// with 10 pixels of spacing: cells of 100 x 70.
struct Grid {
    QGraphicsScene scene;
    QGraphicsWidget* container = new QGraphicsWidget;
    OpenGridLayout* layout = new OpenGridLayout;
    std::vector<QGraphicsLayoutItem*> items;
    std::vector<Box*> boxes;

    explicit Grid(int count) {
        container->setLayout(layout);
        scene.addItem(container);
        for (int i = 0; i < count; ++i)
            add();
    }
    ~Grid() {
        std::vector<QGraphicsLayoutItem*> all;
        layout->takeAll(all);
        for (QGraphicsLayoutItem* item : all)
            delete item;
    }
    void add() {
        boxes.push_back(new Box(90, 60));
        items.push_back(new CustomGraphicGridItem(boxes.back(), 10));
        layout->addItem(items.back());
    }
    void setWidth(qreal width) { layout->setGeometry(QRectF(0, 0, width, 1000)); }
    void markAll() {
        for (Box* box : boxes)
            box->setPos(kUntouched);
    }
    QSizeF hint(qreal width) const { return layout->sizeHint(Qt::PreferredSize, {width, -1}); }
};

QPointF cell(int column, int row) { return QPointF(100 * column, 70 * row); }
}  // namespace

TEST(GridLayoutTest, ColumnsFollowTheWidthAndTheHintCountsRows) {
    Grid grid(7);
    EXPECT_EQ(grid.hint(300), QSizeF(300, 210)) << "7 items in 3 columns: 3 rows";
    EXPECT_EQ(grid.hint(350), QSizeF(350, 210));
    EXPECT_EQ(grid.hint(400), QSizeF(400, 140));
    grid.setWidth(300);
    EXPECT_EQ(grid.boxes[4]->pos(), cell(1, 1));
    EXPECT_EQ(grid.boxes[6]->pos(), cell(0, 2));
    EXPECT_EQ(grid.items[6]->geometry(), QRectF(0, 140, 100, 70));

    grid.setWidth(50);
    EXPECT_EQ(grid.boxes[3]->pos(), cell(0, 3)) << "narrower than a cell: one column";
    EXPECT_EQ(grid.hint(50), QSizeF(50, 490));

    grid.markAll();
    grid.setWidth(10);
    EXPECT_EQ(grid.boxes[3]->pos(), kUntouched) << "under 11 pixels nothing moves";
    EXPECT_EQ(grid.hint(10), QSizeF(10, -1)) << "and the hint is the constraint";
}

TEST(GridLayoutTest, AddingMovesNothingElseAndRemovingOnlyFromTheFirstGap) {
    Grid grid(7);
    grid.setWidth(300);
    grid.markAll();
    grid.add();
    EXPECT_EQ(grid.boxes[7]->pos(), cell(1, 2));
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(grid.boxes[i]->pos(), kUntouched) << i;

    grid.markAll();
    grid.layout->removeItems({grid.items[5], grid.items[2]});
    EXPECT_EQ(grid.layout->count(), 6);
    EXPECT_EQ(grid.boxes[0]->pos(), kUntouched);
    EXPECT_EQ(grid.boxes[1]->pos(), kUntouched);
    EXPECT_EQ(grid.boxes[3]->pos(), cell(2, 0)) << "moved up into the first gap";
    EXPECT_EQ(grid.boxes[7]->pos(), cell(2, 1));
    EXPECT_EQ(grid.layout->itemAt(2), grid.items[3]);

    grid.markAll();
    grid.layout->removeItems({new CustomGraphicGridItem(nullptr, 0)});
    EXPECT_EQ(grid.boxes[3]->pos(), kUntouched) << "nothing removed, nothing moved";
    grid.layout->removeAt(99);
    EXPECT_EQ(grid.layout->count(), 6);

    // Deleting the removed layout items deletes their boxes from the scene.
    int before = grid.scene.items().size();
    delete grid.items[5];
    delete grid.items[2];
    EXPECT_EQ(grid.scene.items().size(), before - 2);
}

TEST(ListLayoutTest, RowsSkipHiddenItemsAndColumnsCentreTheirItems) {
    QGraphicsScene scene;
    auto* container = new QGraphicsWidget;
    auto* list = new CustomGraphicListLayout(Qt::Vertical);
    container->setLayout(list);
    scene.addItem(container);
    std::vector<Box*> boxes;
    for (int height : {30, 40, 50}) {
        boxes.push_back(new Box(200, height));
        list->addItem(new CustomGraphicListItem(boxes.back()));
    }
    EXPECT_EQ(list->effectiveSizeHint(Qt::PreferredSize, QSizeF(400, -1)), QSizeF(400, 120));
    list->setGeometry(QRectF(0, 0, 400, 500));
    EXPECT_EQ(boxes[2]->pos(), QPointF(0, 70));
    boxes[1]->hide();
    list->invalidate();
    EXPECT_EQ(boxes[2]->pos(), QPointF(0, 30)) << "the hidden row takes no room";
    EXPECT_EQ(list->effectiveSizeHint(Qt::PreferredSize, QSizeF(400, -1)), QSizeF(400, 80));

    auto* added = new Box(200, 10);
    boxes[2]->setPos(kUntouched);
    list->addItem(new CustomGraphicListItem(added));
    EXPECT_EQ(added->pos(), QPointF(0, 80)) << "below the item before it";
    EXPECT_EQ(boxes[2]->pos(), kUntouched);

    std::vector<QGraphicsLayoutItem*> all;
    list->takeAll(all);
    EXPECT_EQ(all.size(), 4u);
    EXPECT_EQ(list->count(), 0);
    for (QGraphicsLayoutItem* item : all)
        delete item;
    EXPECT_EQ(scene.items().size(), 1) << "only the container is left";

    auto* row = new CustomGraphicListLayout(Qt::Horizontal);
    auto* bar = new QGraphicsWidget;
    bar->setLayout(row);
    scene.addItem(bar);
    std::vector<Box*> icons;
    for (int i = 0; i < 3; ++i) {
        icons.push_back(new Box(20, 10));
        row->addItem(new CustomGraphicListItem(icons.back()));
    }
    row->setGeometry(QRectF(0, 0, 300, 40));
    EXPECT_EQ(icons[1]->pos(), QPointF(140, 15));
    EXPECT_EQ(icons[2]->pos(), QPointF(240, 15));
    EXPECT_EQ(row->effectiveSizeHint(Qt::PreferredSize, QSizeF(300, -1)), QSizeF(300, 10));
    row->takeAll(all);
    for (QGraphicsLayoutItem* item : all)
        delete item;
}

TEST(ListLayoutTest, ALayoutItemDeletedInPlaceLeavesItsLayout) {
    QGraphicsScene scene;
    auto* container = new QGraphicsWidget;
    auto* list = new CustomGraphicListLayout(Qt::Vertical);
    container->setLayout(list);
    scene.addItem(container);
    list->setGeometry(QRectF(0, 0, 300, 300));
    auto* first = new CustomGraphicListItem(new Box(100, 25));
    auto* second = new Box(100, 25);
    list->addItem(first);
    list->addItem(new CustomGraphicListItem(second));
    first->setUserValue(42);
    EXPECT_EQ(first->userValue().toInt(), 42);
    delete first;
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(second->pos(), QPointF(0, 0)) << "the rest closes up";
    std::vector<QGraphicsLayoutItem*> all;
    list->takeAll(all);
    for (QGraphicsLayoutItem* item : all)
        delete item;
}
