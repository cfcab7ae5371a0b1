#include "ui/video_control_view.h"

#include "sources/video_file_source.h"
#include "ui/video_graphic_view.h"
#include "widgets/custom_file_dialog.h"

namespace {
constexpr int kSettingsSlot = 5;
}  // namespace

VideoControlView::VideoControlView(QWidget* parent) : ListPage(kSettingsSlot, parent) {
    list_ = new VideoGraphicView(this);
    buildAround(list_, {});
}

void VideoControlView::addFiles() {
    QString filter =
        tr("视频文件 (*.avi *.wmv *.rm. *.rmvb *.vob *.mpeg *.m4v *.mp4 *.mpeg4 *.mpg4 "
           "*.3gp *.mov *.f4v *.flv *.mkv);;所有文件(*.*)");
    for (const QString& path :
         CustomFileDialog::getOpenFileNames_(this, tr("选择视频"), filter, "selvideo")) {
        list_->addVideo(path);
    }
}

void VideoControlView::clearList() { list_->clearVideos(); }

void VideoControlView::removeSelected() {
    for (const QString& path : list_->selectedPaths())
        list_->removeVideo(path);
}

void VideoControlView::playSelected() { list_->playSelected(); }

void VideoControlView::applyPlayOrder(int index) {
    list_->source()->SetPlayMode(index != 0 ? 1 : 0);
}
