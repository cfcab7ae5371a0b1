#include "ui/pic_graphic_view.h"

#include <QFileInfo>
#include <QGraphicsWidget>
#include <QTimer>

#include "app/media_site.h"
#include "app/settings_db.h"
#include "sources/pic_file_source.h"
#include "widgets/custom_graphic_grid_layout.h"
#include "widgets/layout_item_list.h"
#include "widgets/pic_item.h"

namespace {
constexpr int kSpacing = 9;
constexpr int kShowTimeMs = 3000;
}  // namespace

PicGraphicView::PicGraphicView(QWidget* parent)
    : CustomGraphicView(parent), source_(std::make_unique<PicFileSource>()) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* container = new QGraphicsWidget;
    grid_ = new CustomGraphicGridLayout;
    container->setLayout(grid_);
    hostContainer(container, QPointF(-18, -12));
    source_->SetShowTime(kShowTimeMs);
    QTimer::singleShot(0, this, &PicGraphicView::loadFromDb);
}

PicGraphicView::~PicGraphicView() {
    saveToDb();
    MediaSite::instance()->removeSource(source_.get());
    QStringList kept = listed_;  // clearing forgets them; the saved list stays
    clearPics();
    listed_ = kept;
}

void PicGraphicView::setTileSize(int width, int height) { tile_ = QSize(width, height); }

void PicGraphicView::setFrames(const QPixmap& selected, const QPixmap& normal) {
    selectedFrame_ = selected;
    normalFrame_ = normal;
}

PicItem* PicGraphicView::tileOf(const QString& path) const { return tiles_.value(path, nullptr); }

void PicGraphicView::push(const QStringList& paths) {
    for (const QString& path : paths) {
        if (!listed_.contains(path))
            listed_ << path;
    }
    PushFileQueue::push(paths);
}

void PicGraphicView::addPic(const QString& path) {
    if (!listed_.contains(path)) {
        listed_ << path;
    }
    if (!QFileInfo(path).isFile() || cells_.contains(path)) {
        return;
    }
    QPixmap thumbnail = loadThumbnail(path, true, tile_.width(), tile_.height());
    auto* tile = new PicItem(tile_.width(), tile_.height(), thumbnail);
    tile->setPath(path);
    tile->setFramePictures(selectedFrame_, normalFrame_);
    tile->setListener(this);
    auto* cell = new CustomGraphicGridItem(tile, kSpacing);
    grid_->addItem(cell);
    cells_.insert(path, cell);
    tiles_.insert(path, tile);
    relayout();
    source_->AddPicture(path);
}

void PicGraphicView::removePic(const QString& path) {
    listed_.removeAll(path);
    if (QGraphicsLayoutItem* cell = cells_.value(path, nullptr)) {
        grid_->removeItems({cell});
        delete cell;  // and with it the tile
        cells_.remove(path);
        tiles_.remove(path);
        relayout();
    }
    source_->RemovePicture(path);
    if (cells_.isEmpty()) {
        MediaSite::instance()->removeSource(source_.get());
    }
}

void PicGraphicView::clearPics() {
    deleteAllItems(grid_);
    cells_.clear();
    tiles_.clear();
    listed_.clear();
    relayout();
    source_->RemoveAllPictures();
    MediaSite::instance()->removeSource(source_.get());
}

QStringList PicGraphicView::selectedPaths() const {
    QStringList paths;
    for (QGraphicsItem* item : scene()->selectedItems()) {
        if (auto* tile = dynamic_cast<PicItem*>(item)) {
            paths << tile->path();
        }
    }
    return paths;
}

void PicGraphicView::playSelected() {
    MediaSite::instance()->activateSource(source_.get());
    QStringList selected = selectedPaths();
    if (!selected.isEmpty()) {
        source_->SetCurrentPicture(selected.first());
    }
}

void PicGraphicView::itemDoubleClicked(QVariant) { playSelected(); }

void PicGraphicView::loadFromDb() {
    QStringList paths;
    SettingsDb::instance()->loadStringList("Pics", paths);
    push(paths);
}

void PicGraphicView::saveToDb() {
    QStringList kept = listed_;
    kept.sort();
    SettingsDb::instance()->saveStringList("Pics", kept);
}
