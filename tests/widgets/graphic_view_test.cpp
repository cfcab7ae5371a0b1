#include <gtest/gtest.h>

#include <QApplication>
#include <QGraphicsSceneMouseEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QGraphicsWidget>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "tests/support/log_capture.h"
#include "widgets/custom_graphic_grid_layout.h"
#include "widgets/custom_graphic_view.h"
#include "widgets/pic_item.h"

namespace {
class Listener : public CustomGraphicItemListener {
public:
    std::vector<QVariant> doubleClicks;
    void itemDoubleClicked(QVariant value) override { doubleClicks.push_back(value); }
};

struct View {
    CustomGraphicView view;
    std::vector<PicItem*> tiles;
    QSignalSpy spy{&view, &CustomGraphicView::sig_itemSelectionChanged};

    explicit View(int count) {
        view.resize(400, 300);
        for (int i = 0; i < count; ++i) {
            tiles.push_back(new PicItem(100, 80, QPixmap()));
            tiles.back()->setPos(120 * i, 0);
            view.scene()->addItem(tiles.back());
        }
        view.scene()->addRect(0, 200, 10, 10);  // not selectable
    }
    void controlA() { QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier); }
    int selected() const { return view.scene()->selectedItems().size(); }
    // The last reported (bSelection, bSelectAll).
    std::pair<bool, bool> reported() const {
        return {spy.last().at(0).toBool(), spy.last().at(1).toBool()};
    }
};

QImage paintTile(PicItem& tile) {
    QImage canvas(tile.boundingRect().size().toSize(), QImage::Format_ARGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.translate(-tile.boundingRect().topLeft());
    tile.paint(&painter, nullptr, nullptr);
    return canvas;
}

// A frame picture: a coloured 2-pixel border, clear inside.
QPixmap frame(QColor colour, QSize size) {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(QPen(colour, 2));
    painter.drawRect(QRect(QPoint(1, 1), size - QSize(2, 2)));
    return picture;
}
}  // namespace

TEST(GraphicViewTest, ControlATogglesSelectAllAndSelectionIsReported) {
    View view(3);
    view.controlA();
    EXPECT_EQ(view.selected(), 3);
    EXPECT_TRUE(view.view.isAllSelected());
    EXPECT_EQ(view.reported(), std::make_pair(true, true));
    view.controlA();
    EXPECT_EQ(view.selected(), 0) << "all were selected: all are deselected";
    EXPECT_EQ(view.reported(), std::make_pair(false, false));

    view.tiles[0]->setSelected(true);
    view.tiles[1]->setSelected(true);
    EXPECT_EQ(view.reported(), std::make_pair(true, false));
    view.controlA();
    EXPECT_EQ(view.selected(), 3) << "one was not selected: all are selected";

    QTest::keyClick(&view.view, Qt::Key_A);
    EXPECT_EQ(view.selected(), 3) << "A alone does nothing";

    View empty(0);
    empty.view.onSelectionChanged();
    EXPECT_EQ(empty.reported(), std::make_pair(false, false)) << "nothing selectable";
}

TEST(GraphicViewTest, AClickSelectsTheTileUnderThePointerAndIsLogged) {
    View view(3);
    view.view.show();
    LogCapture log;
    QPoint onSecond = view.view.mapFromScene(QPointF(170, 40));
    QTest::mouseClick(view.view.viewport(), Qt::LeftButton, {}, onSecond);
    EXPECT_TRUE(view.tiles[1]->isSelected());
    EXPECT_EQ(view.selected(), 1);
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines().back(), "before release sel count 1");
    EXPECT_EQ(view.view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST(GraphicViewTest, TheHostedContainerFollowsTheViewportWidth) {
    CustomGraphicView view;
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(313, 200);
    auto* container = new QGraphicsWidget;
    auto* grid = new CustomGraphicGridLayout;
    container->setLayout(grid);
    std::vector<PicItem*> tiles;
    auto addTile = [&] {
        tiles.push_back(new PicItem(80, 80, QPixmap()));  // 90 x 90 with its margin
        grid->addItem(new CustomGraphicGridItem(tiles.back(), 4));
    };
    for (int i = 0; i < 7; ++i)
        addTile();
    view.hostContainer(container, QPointF(-18, -12));
    view.show();
    int width = view.viewport()->width();
    int columns = width / 94;
    int rows = (7 + columns - 1) / columns;
    EXPECT_EQ(container->geometry(), QRectF(0, 0, width, 94 * rows));
    EXPECT_EQ(view.sceneRect(), QRectF(-18, -12, width, 94 * rows));
    EXPECT_EQ(tiles[columns]->pos(), QPointF(0, 94)) << "the second row starts at the left";

    view.resize(200, 200);
    EXPECT_EQ(view.sceneRect().width(), view.viewport()->width());
    EXPECT_EQ(tiles[2]->pos(), QPointF(0, 94)) << "two columns after the resize";
    for (int i = 0; i < 4; ++i)
        addTile();
    view.relayout();
    EXPECT_EQ(view.sceneRect().height(), 94 * 6) << "11 tiles in two columns";

    std::vector<QGraphicsLayoutItem*> items;
    grid->takeAll(items);
    for (QGraphicsLayoutItem* item : items)
        delete item;
}

TEST(PicItemTest, PaintsTheMiddleOfItsPictureInsideTheFrame) {
    // Three 100-pixel bands: only the middle one fits the 100 x 100 inside.
    QImage bands(300, 100, QImage::Format_RGB32);
    QPainter painter(&bands);
    painter.fillRect(0, 0, 100, 100, Qt::red);
    painter.fillRect(100, 0, 100, 100, Qt::green);
    painter.fillRect(200, 0, 100, 100, Qt::blue);
    painter.end();
    PicItem tile(108, 108, QPixmap::fromImage(bands));
    EXPECT_EQ(tile.boundingRect(), QRectF(-5, -5, 118, 118));
    EXPECT_EQ(tile.picture().size(), QSize(300, 100)) << "scaled to cover the inside";
    QImage painted = paintTile(tile);
    EXPECT_EQ(painted.pixelColor(5 + 6, 5 + 54), QColor(Qt::green));
    EXPECT_EQ(painted.pixelColor(5 + 101, 5 + 54), QColor(Qt::green));
    EXPECT_EQ(painted.pixelColor(5 + 2, 5 + 54), QColor("#39414B")) << "the 4-pixel edge";
    EXPECT_TRUE(tile.flags() & QGraphicsItem::ItemIsSelectable);
}

TEST(PicItemTest, ANullPictureShowsTheTileColourAndTheFrameOfItsState) {
    PicItem tile(60, 40, QPixmap());
    QImage bare = paintTile(tile);
    EXPECT_EQ(bare.pixelColor(5 + 30, 5 + 20), QColor("#39414B"));
    EXPECT_EQ(bare.pixelColor(5 + 1, 5 + 20), QColor("#39414B")) << "no frame yet";

    tile.setFramePictures(frame(Qt::yellow, {60, 40}), frame(Qt::gray, {60, 40}));
    QImage normal = paintTile(tile);
    EXPECT_EQ(normal.pixelColor(5 + 1, 5 + 20), QColor(Qt::gray));
    EXPECT_EQ(normal.pixelColor(5 + 30, 5 + 20), QColor("#39414B"));
    QGraphicsScene scene;
    scene.addItem(&tile);
    tile.setSelected(true);
    EXPECT_EQ(paintTile(tile).pixelColor(5 + 1, 5 + 20), QColor(Qt::yellow));

    Listener listener;
    tile.setListener(&listener);
    QGraphicsSceneMouseEvent doubleClick(QEvent::GraphicsSceneMouseDoubleClick);
    doubleClick.setButton(Qt::LeftButton);
    scene.sendEvent(&tile, &doubleClick);
    ASSERT_EQ(listener.doubleClicks.size(), 1u);
    EXPECT_FALSE(listener.doubleClicks[0].isValid());
    scene.removeItem(&tile);
}

// A tile's tool tip (a bad file's name and reason) is shown for the view's
// viewport, and the tip takes the style rules of the widgets it is shown
// for: the view's own transparent background must not reach it, or the tip
// is a black box on a desktop without a compositor.
TEST(GraphicViewTest, ATilesToolTipIsOpaqueAndReadable) {
    CustomGraphicView view;
    view.resize(300, 200);
    auto* tile = new PicItem(100, 80, QPixmap());
    tile->setToolTip("my;clip 中文.png\nThe picture cannot be read");
    view.scene()->addItem(tile);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    QPoint over = view.mapFromScene(tile->boundingRect().center());
    QHelpEvent help(QEvent::ToolTip, over, view.viewport()->mapToGlobal(over));
    QApplication::sendEvent(view.viewport(), &help);
    QWidget* tip = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == "qtooltip_label" && top->isVisible())
                tip = top;
        return tip != nullptr;
    }));
    QImage shot = tip->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    QColor background = shot.pixelColor(shot.width() - 3, shot.height() / 2);
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            opaque += qAlpha(shot.pixel(x, y)) == 255;
    EXPECT_EQ(opaque, shot.width() * shot.height()) << "the tip's background is see-through";
    QColor text = tip->palette().color(QPalette::ToolTipText);
    EXPECT_GT(std::abs(background.lightness() - text.lightness()), 100)
        << "background " << background.name().toStdString() << ", text "
        << text.name().toStdString();
    QToolTip::hideText();
}
