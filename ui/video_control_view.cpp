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
    column->addWidget(buildTopRow());
    column->addWidget(separatorLabel("video/img_line.png", this));
    list_ = new VideoGraphicView(this);
    column->addWidget(list_, 1);
    column->addWidget(buildBottomBar());
    QTimer::singleShot(0, this, &VideoControlView::loadFromDb);
}

VideoControlView::~VideoControlView() { saveToDb(); }

QWidget* VideoControlView::buildTopRow() {
    auto* top = new QWidget(this);
    auto* row = new QHBoxLayout(top);
    row->setSpacing(10);
    row->setContentsMargins(10, 10, 10, 10);
    ButtonSkin* add = idButton("effect/btn_add.png", 0, top);
    ButtonSkin* clear = idButton("video/btn_clear.png", 1, top);
    ButtonSkin* remove = idButton("video/btn_delete.png", 2, top);
    row->addWidget(add);
    row->addStretch();
    row->addWidget(clear);
    row->addWidget(separatorLabel("video/img_spacing.png", top));
    row->addWidget(remove);
    for (ButtonSkin* button : {add, clear, remove}) {
        connect(button, &Button::clicked, this, &VideoControlView::onButtonClick);
    }
    return top;
}

QWidget* VideoControlView::buildBottomBar() {
    auto* bar = new QWidget(this);
    bar->setFixedSize(313, 47);
    auto* row = new QHBoxLayout(bar);
    row->setSpacing(0);
    row->setContentsMargins(10, 10, 10, 10);
    playOrder_ = new QComboBox(bar);
    playOrder_->addItem(tr("随机播放"), 0);
    playOrder_->addItem(tr("列表循环"), 1);
    playOrder_->setCurrentIndex(0);
    connect(playOrder_, &QComboBox::currentIndexChanged, this, &VideoControlView::onPlayChanged);
    ButtonSkin* play = idButton("video/btn_play.png", 3, bar);
    connect(play, &Button::clicked, this, &VideoControlView::onButtonClick);
    row->addWidget(playOrder_);
    row->addStretch();
    row->addWidget(play);
    return bar;
}

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
