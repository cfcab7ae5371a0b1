#include "ui/record_graphic_view.h"

#include <QFileInfo>
#include <QGraphicsWidget>

#include "app/video_info_request.h"
#include "ui/record_item.h"
#include "widgets/custom_graphic_list_layout.h"
#include "widgets/layout_item_list.h"
#include "widgets/skin_style.h"

RecordGraphicView::RecordGraphicView(QWidget* parent)
    : CustomGraphicView(parent), frame_(SkinStyle::instance()->pixmap("video/bg_video_frame.png")) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    list_ = hostLayout(new CustomGraphicListLayout(Qt::Vertical), QPointF(0, 0));
    connect(VideoInfoRequest::instance(), &VideoInfoRequest::sig_videoInfoGet, this,
            &RecordGraphicView::onVideoInfoGet);
}

RecordGraphicView::~RecordGraphicView() { deleteAllItems(list_); }

RecordItem* RecordGraphicView::itemOf(const QString& path) const {
    auto row = rows_.constFind(path);
    return row == rows_.constEnd() ? nullptr : row->item;
}

void RecordGraphicView::addPath(const QString& path) {
    if (!QFileInfo(path).isFile() || rows_.contains(path)) {
        return;
    }
    auto* item = new RecordItem(path, frame_, this);
    auto* cell = new CustomGraphicListItem(item);
    list_->addItem(cell);
    rows_.insert(path, {item, cell});
    order_ << path;
    relayout();
    VideoInfoRequest::instance()->request(path);
}

void RecordGraphicView::removeItem(const QString& path) {
    auto row = rows_.find(path);
    if (row == rows_.end()) {
        return;
    }
    list_->removeItems({row->cell});
    delete row->cell;  // and with it the item
    rows_.erase(row);
    order_.removeAll(path);
    relayout();
}

QStringList RecordGraphicView::selectedPaths() const {
    QStringList paths;
    for (const QString& path : order_) {
        if (rows_[path].item->isSelected()) {
            paths << path;
        }
    }
    return paths;
}

QString RecordGraphicView::firstSelectedPath() const { return selectedPaths().value(0); }

void RecordGraphicView::itemDoubleClicked(QVariant value) {
    if (RecordItem* item = itemOf(value.toString())) {
        emit sig_previewRequested(item->path(), item->durationSeconds());
    }
}

void RecordGraphicView::onVideoInfoGet(VideoInfoQt info) {
    if (RecordItem* item = itemOf(info.path)) {
        item->setThumbnail(QPixmap::fromImage(info.image));
        item->setDuration(info.playTime / 1000);
    }
}
