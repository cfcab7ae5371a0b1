#include "ui/pic_graphic_view.h"

#include <QFileInfo>
#include <QGraphicsWidget>
#include <QTimer>

#include "app/media_site.h"
#include "app/settings_db.h"
#include "base/debug_log.h"
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
    grid_ = hostLayout(new CustomGraphicGridLayout, QPointF(-18, -12));
    source_->SetShowTime(kShowTimeMs);
    QTimer::singleShot(0, this, &PicGraphicView::loadFromDb);
}

PicGraphicView::~PicGraphicView() {
    MediaSite::instance()->removeSource(source_.get());
    dropAll();  // the list was saved as it changed
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
    saveToDb();  // listed before their tiles come in, and kept so
    PushFileQueue::push(paths);
}

void PicGraphicView::addPic(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        // No tile, so nothing the user could remove it by: not kept either.
        if (listed_.removeAll(path) > 0) {
            saveToDb();
        }
        return;
    }
    if (PicItem* listed = tileOf(path)) {
        if (listed->problem().isEmpty()) {
            return;
        }
        dropTile(path);  // looked at again: it may have been mended
    }
    if (!listed_.contains(path)) {
        listed_ << path;
        saveToDb();
    }
    QString problem;
    // In the screen's pixels, so that the tile shows it unenlarged.
    QSize pixels = tile_ * devicePixelRatioF();
    QPixmap thumbnail = loadThumbnail(path, true, pixels.width(), pixels.height(), &problem);
    PicItem* tile = addTile(path, thumbnail);
    if (thumbnail.isNull()) {
        debugLog("picture list: %s cannot be read", qPrintable(path));
        tile->setProblem(problem);  // listed and marked, left out of the slideshow
        return;
    }
    source_->AddPicture(path);
}

PicItem* PicGraphicView::addTile(const QString& path, const QPixmap& thumbnail) {
    auto* tile = new PicItem(tile_.width(), tile_.height(), thumbnail);
    tile->setPath(path);
    tile->setFramePictures(selectedFrame_, normalFrame_);
    tile->setListener(this);
    auto* cell = new CustomGraphicGridItem(tile, kSpacing);
    grid_->addItem(cell);
    cells_.insert(path, cell);
    tiles_.insert(path, tile);
    relayout();
    return tile;
}

void PicGraphicView::dropTile(const QString& path) {
    QGraphicsLayoutItem* cell = cells_.take(path);
    tiles_.remove(path);
    if (cell != nullptr) {
        grid_->removeItems({cell});
        delete cell;  // and with it the tile
        relayout();
    }
}

void PicGraphicView::removePic(const QString& path) {
    listed_.removeAll(path);
    unavailable_.removeAll(path);
    dropWaiting(path);
    dropTile(path);
    source_->RemovePicture(path);
    if (cells_.isEmpty()) {
        MediaSite::instance()->removeSource(source_.get());
    }
    saveToDb();
}

void PicGraphicView::clearPics() {
    dropAll();
    saveToDb();
}

void PicGraphicView::dropAll() {
    // Pictures still on their way in are cleared as well: they must not
    // arrive after the clearing.
    dropAllWaiting();
    deleteAllItems(grid_);
    cells_.clear();
    tiles_.clear();
    listed_.clear();
    unavailable_.clear();
    relayout();
    source_->RemoveAllPictures();
    MediaSite::instance()->removeSource(source_.get());
}

QStringList PicGraphicView::selectedPaths() const { return selectedPathsOf<PicItem>(); }

void PicGraphicView::playSelected() {
    MediaSite::instance()->activateSource(source_.get());
    for (const QString& path : selectedPaths()) {
        if (tileOf(path)->problem().isEmpty()) {  // an unreadable one is not in the slideshow
            source_->SetCurrentPicture(path);
            break;
        }
    }
}

void PicGraphicView::itemDoubleClicked(QVariant) { playSelected(); }

void PicGraphicView::loadFromDb() {
    QStringList paths;
    SettingsDb::instance()->loadStringList("Pics", paths);
    QStringList present;
    for (const QString& path : paths) {
        if (QFileInfo(path).isFile()) {
            present << path;
        } else if (!unavailable_.contains(path)) {
            unavailable_ << path;
        }
    }
    push(present);
}

// Saved at every change, so that a crash or a kill keeps the list.
void PicGraphicView::saveToDb() {
    QStringList kept = listed_ + unavailable_;
    kept.removeDuplicates();
    kept.sort();
    SettingsDb::instance()->saveStringList("Pics", kept);
}
