#include "ui/video_control_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMap>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/settings_db.h"
#include "sources/video_file_source.h"
#include "ui/list_page_parts.h"
#include "ui/ui_kit.h"
#include "ui/video_graphic_view.h"
#include "widgets/button_skin.h"
#include "widgets/custom_file_dialog.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kSettingsSlot = 5;

}  // namespace

VideoControlView::VideoControlView(QWidget* parent)
    : QWidget(parent), background_(SkinStyle::instance()->pixmap("video/bg_video_play.png")) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(0);
    column->setContentsMargins(0, 0, 0, 0);
    QList<ButtonSkin*> buttons;
    column->addWidget(listTopRow(this, &buttons));
    column->addWidget(separatorLabel("video/img_line.png", this));
    list_ = new VideoGraphicView(this);
    column->addWidget(list_, 1);
    playOrder_ = makePlayOrderBox(this);
    column->addWidget(listBottomBar(this, playOrder_, {}, &buttons));
    connect(playOrder_, &QComboBox::currentIndexChanged, this, &VideoControlView::onPlayChanged);
    for (ButtonSkin* button : buttons) {
        connect(button, &Button::clicked, this, &VideoControlView::onButtonClick);
    }
    QTimer::singleShot(0, this, &VideoControlView::loadFromDb);
}

VideoControlView::~VideoControlView() { saveToDb(); }

void VideoControlView::onButtonClick() {
    switch (sender() ? sender()->property("id").toInt() : -1) {
        case 0: {
            QString filter =
                tr("视频文件 (*.avi *.wmv *.rm. *.rmvb *.vob *.mpeg *.m4v *.mp4 *.mpeg4 *.mpg4 "
                   "*.3gp *.mov *.f4v *.flv *.mkv);;所有文件(*.*)");
            for (const QString& path :
                 CustomFileDialog::getOpenFileNames_(this, tr("选择视频"), filter, "selvideo")) {
                list_->addVideo(path);
            }
            break;
        }
        case 1:
            list_->clearVideos();
            break;
        case 2:
            for (const QString& path : list_->selectedPaths())
                list_->removeVideo(path);
            break;
        case 3:
            list_->playSelected();
            break;
        default:
            break;
    }
}

void VideoControlView::onPlayChanged(int index) {
    list_->source()->SetPlayMode(index != 0 ? 1 : 0);
}

void VideoControlView::saveToDb() {
    SettingsDb::instance()->saveMap(kSettingsSlot,
                                    {{"playseq", QString::number(playOrder_->currentIndex())}});
}

void VideoControlView::loadFromDb() {
    QMap<QString, QString> map;
    SettingsDb::instance()->loadMap(kSettingsSlot, map);
    if (map.contains("playseq")) {
        playOrder_->setCurrentIndex(map["playseq"].toInt());
    }
}

void VideoControlView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}
