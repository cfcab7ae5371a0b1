#include "ui/prettify_view.h"

#include <QGraphicsWidget>
#include <QTimer>

#include "ui/prettify_item.h"
#include "widgets/custom_graphic_grid_layout.h"
#include "widgets/layout_item_list.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kTileWidth = 61;
constexpr int kTileHeight = 80;
constexpr int kSpacing = 2;
}  // namespace

PrettifyView::PrettifyView(QWidget* parent) : CustomGraphicView(parent) {
    SkinStyle* skin = SkinStyle::instance();
    selectedFrame_ = skin->statePixmap("effect/bg_pretiify_frame.png", 2, 1);
    normalFrame_ = skin->statePixmap("effect/bg_pretiify_frame.png", 2, 0);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    grid_ = hostLayout(new CustomGraphicGridLayout, QPointF(-12, -12));
}

PrettifyView::~PrettifyView() { deleteAllLayoutItems(); }

void PrettifyView::addTile(int id, const QString& name, const QString& relativePath) {
    if (tiles_.contains(id)) {
        return;
    }
    // The tile keeps its own small copy; the full picture (a 640 x 480
    // pendant is 1.2 MB) is dropped at once rather than cached for good.
    QPixmap icon = SkinStyle::instance()->uncachedPixmap(relativePath);
    QString path = SkinStyle::instance()->skinPath(relativePath);
    place(new PrettifyItem(id, name, icon, path, kTileWidth, kTileHeight));
}

void PrettifyView::addOptTile(int id, const QString& name, const QPixmap& icon,
                              const QString& path) {
    if (!tiles_.contains(id)) {
        place(new PrettifyOptItem(id, name, icon, path, kTileWidth, kTileHeight));
    }
}

void PrettifyView::place(PrettifyItem* tile) {
    tile->setFrames(selectedFrame_, normalFrame_);
    tile->setListener(this);
    auto* cell = new CustomGraphicGridItem(tile, kSpacing);
    grid_->addItem(cell);
    tiles_.insert(tile->id(), tile);
    layoutItems_.insert(tile->id(), cell);
    relayout();
}

int PrettifyView::selectedId() const {
    for (QGraphicsItem* item : scene()->selectedItems()) {
        if (auto* tile = dynamic_cast<PrettifyItem*>(item)) {
            return tile->id();
        }
    }
    return -1;
}

void PrettifyView::selectById(int id) {
    if (PrettifyItem* tile = tileById(id)) {
        itemClicked(id);
        tile->setSelected(true);
    }
}

void PrettifyView::removeTile(int id) {
    QGraphicsLayoutItem* cell = layoutItems_.value(id, nullptr);
    if (cell == nullptr) {
        return;
    }
    grid_->removeItems({cell});
    delete cell;  // and with it the tile
    tiles_.remove(id);
    layoutItems_.remove(id);
    relayout();
}

void PrettifyView::clearTiles() {
    deleteAllLayoutItems();
    relayout();
}

void PrettifyView::deleteAllLayoutItems() {
    deleteAllItems(grid_);
    tiles_.clear();
    layoutItems_.clear();
}

void PrettifyView::clearSelection() { scene()->clearSelection(); }

void PrettifyView::itemClicked(QVariant value) { emit sig_onMouseClicked(value); }

void PrettifyView::itemRemoveRequested(QVariant value) {
    // The tile asking is inside its own mouse handler; it is removed once
    // that handler has returned.
    QTimer::singleShot(0, this, [this, value] { emit sig_onRemoveItem(value); });
}
