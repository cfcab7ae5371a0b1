#include "ui/video_graphic_view.h"

#include <QFileInfo>
#include <QGraphicsWidget>

#include "app/box_site_listener.h"
#include "app/media_site.h"
#include "app/settings_db.h"
#include "app/video_info_request.h"
#include "sources/video_file_source.h"
#include "ui/ui_kit.h"
#include "ui/video_item.h"
#include "widgets/custom_graphic_list_layout.h"
#include "widgets/layout_item_list.h"
#include "widgets/skin_style.h"

VideoGraphicView::VideoGraphicView(QWidget* parent)
    : CustomGraphicView(parent), source_(std::make_unique<VideoFileSource>()) {
    // The source takes its frame-rate cap from the graph it plays in.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    list_ = hostLayout(new CustomGraphicListLayout(Qt::Vertical), QPointF(0, 0));
    connect(VideoInfoRequest::instance(), &VideoInfoRequest::sig_videoInfoGet, this,
            &VideoGraphicView::onVideoInfoGet);
    connect(VideoInfoRequest::instance(), &VideoInfoRequest::sig_videoInfoFailed, this,
            &VideoGraphicView::onVideoInfoFailed);
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_videoFileAdd, this,
            &VideoGraphicView::onVideoFileAdd);
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_videoFileRemove, this,
            &VideoGraphicView::onVideoFileRemove);
    connect(&playingTimer_, &QTimer::timeout, this, &VideoGraphicView::followPlayingFile);
    playingTimer_.start(500);
    QTimer::singleShot(0, this, &VideoGraphicView::loadFromDb);
}

VideoGraphicView::~VideoGraphicView() {
    dropAll();  // the list was saved as it changed
    MediaSite::instance()->removeSource(source_.get());
}

VideoItem* VideoGraphicView::itemOf(const QString& path) const {
    auto row = items_.constFind(path);
    return row == items_.constEnd() ? nullptr : row->item;
}

void VideoGraphicView::addVideo(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return;
    }
    if (VideoItem* listed = itemOf(path)) {
        if (!listed->problem().isEmpty()) {
            VideoInfoRequest::instance()->request(path);  // it may have been mended
        }
        return;
    }
    auto* item =
        new VideoItem(path, SkinStyle::instance()->pixmap("video/img_video_other.png"), this);
    auto* cell = new CustomGraphicListItem(item);
    list_->addItem(cell);
    items_.insert(path, {item, cell});
    relayout();
    source_->AddFile(path);
    VideoInfoRequest::instance()->request(path);
    saveToDb();
}

void VideoGraphicView::onVideoInfoGet(VideoInfoQt info) {
    VideoItem* item = itemOf(info.path);
    if (item == nullptr) {
        return;
    }
    item->setPlayTimeText(clockText(info.playTime / 1000));
    item->setThumbnail(QPixmap::fromImage(info.image));
    if (!item->problem().isEmpty()) {
        item->setProblem(QString());
        source_->AddFile(info.path);
    }
}

void VideoGraphicView::onVideoInfoFailed(QString path, QString reason) {
    VideoItem* item = itemOf(path);
    if (item == nullptr) {
        return;
    }
    item->setProblem(reason);
    source_->RemoveFile(path);  // playback passes it over
}

void VideoGraphicView::removeVideo(const QString& path) {
    auto row = items_.find(path);
    if (row != items_.end()) {
        list_->removeItems({row->cell});
        delete row->cell;  // and with it the item
        items_.erase(row);
        relayout();
    }
    source_->RemoveFile(path);
    if (items_.isEmpty()) {
        MediaSite::instance()->removeSource(source_.get());
    }
    saveToDb();
}

void VideoGraphicView::clearVideos() {
    dropAll();
    saveToDb();
}

void VideoGraphicView::dropAll() {
    deleteAllItems(list_);
    items_.clear();
    unavailable_.clear();  // a cleared list forgets its missing files as well
    relayout();
    source_->RemoveAllFiles();
    MediaSite::instance()->removeSource(source_.get());
}

QStringList VideoGraphicView::selectedPaths() const { return selectedPathsOf<VideoItem>(); }

void VideoGraphicView::playSelected() {
    QStringList selected = selectedPaths();
    if (!selected.isEmpty() && !selected.first().isEmpty()) {
        source_->SetCurrentFile(selected.first());
    }
    MediaSite::instance()->activateSource(source_.get());
}

void VideoGraphicView::itemDoubleClicked(QVariant) { playSelected(); }

void VideoGraphicView::followPlayingFile() {
    QString now = source_->CurrentFile();
    if (now == playing_) {
        return;
    }
    if (VideoItem* before = itemOf(playing_)) {
        before->setPlaying(false);
    }
    playing_ = now;
    if (VideoItem* after = itemOf(playing_)) {
        after->setPlaying(true);
    }
}

void VideoGraphicView::loadFromDb() {
    QStringList paths;
    SettingsDb::instance()->loadStringList("Videos", paths);
    restoring_ = true;
    for (const QString& path : paths) {
        if (QFileInfo(path).isFile()) {
            addVideo(path);
        } else {
            unavailable_ << path;
        }
    }
    restoring_ = false;
}

// Saved at every change, so that a crash or a kill keeps the list.
void VideoGraphicView::saveToDb() {
    if (restoring_) {
        return;  // half put back, it would lose the files still to come
    }
    QStringList kept = items_.keys() + unavailable_;
    kept.removeDuplicates();
    kept.sort();
    SettingsDb::instance()->saveStringList("Videos", kept);
}

void VideoGraphicView::onVideoFileAdd(QString path) { addVideo(path); }

void VideoGraphicView::onVideoFileRemove(QString path) { removeVideo(path); }
