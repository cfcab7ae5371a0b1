#include "ui/pic_control_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMap>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/settings_db.h"
#include "sources/pic_file_source.h"
#include "ui/list_page_parts.h"
#include "ui/pic_graphic_view.h"
#include "ui/ui_kit.h"
#include "widgets/button_skin.h"
#include "widgets/custom_file_dialog.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kSettingsSlot = 4;
}  // namespace

QString PicControlView::pictureFilter() {
    // The first choice is the page's own; GIF pictures and any file at all
    // are further choices.
    return tr("图片文件 (*.JPG *.PNG *.Jpeg *.BMP)") + ";;" + tr("GIF 图片 (*.gif)") + ";;" +
           tr("所有文件 (*)");
}

PicControlView::PicControlView(QWidget* parent)
    : QWidget(parent), background_(SkinStyle::instance()->pixmap("video/bg_video_play.png")) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(0);
    column->setContentsMargins(0, 0, 0, 0);
    QList<ButtonSkin*> buttons;
    column->addWidget(listTopRow(this, &buttons));
    column->addWidget(separatorLabel("video/img_line.png", this));
    grid_ = new PicGraphicView(this);
    grid_->setTileSize(80, 80);
    SkinStyle* skin = SkinStyle::instance();
    grid_->setFrames(skin->statePixmap("pic/bg_pic_frame.png", 2, 1),
                     skin->statePixmap("pic/bg_pic_frame.png", 2, 0));
    column->addWidget(grid_, 1);
    playOrder_ = makePlayOrderBox(this);
    fitting_ = new QComboBox(this);
    fitting_->addItem(tr("自适应"));
    fitting_->addItem(tr("拉伸"));
    column->addWidget(listBottomBar(this, playOrder_, {fitting_}, &buttons));
    connect(playOrder_, &QComboBox::currentIndexChanged, this, &PicControlView::onPlayChanged);
    connect(fitting_, &QComboBox::currentIndexChanged, this, &PicControlView::onRatioChanged);
    for (ButtonSkin* button : buttons) {
        connect(button, &Button::clicked, this, &PicControlView::onButtonClick);
    }
    QTimer::singleShot(0, this, &PicControlView::loadFromDb);
}

PicControlView::~PicControlView() { saveToDb(); }

void PicControlView::onButtonClick() {
    switch (sender() ? sender()->property("id").toInt() : -1) {
        case 0:
            grid_->push(CustomFileDialog::getOpenFileNames_(this, tr("选择图片"), pictureFilter(),
                                                            "selpic"));
            break;
        case 1:
            grid_->clearPics();
            break;
        case 2:
            for (const QString& path : grid_->selectedPaths())
                grid_->removePic(path);
            break;
        case 3:
            grid_->playSelected();
            break;
        default:
            break;
    }
}

void PicControlView::onPlayChanged(int index) {
    grid_->source()->SetPlaySequence(index != 0 ? 1 : 0);
}

void PicControlView::onRatioChanged(int index) { grid_->source()->SetKeepRatio(index == 0); }

void PicControlView::saveToDb() {
    SettingsDb::instance()->saveMap(kSettingsSlot,
                                    {{"playseq", QString::number(playOrder_->currentIndex())},
                                     {"keepRatio", QString::number(fitting_->currentIndex())}});
}

void PicControlView::loadFromDb() {
    QMap<QString, QString> map;
    SettingsDb::instance()->loadMap(kSettingsSlot, map);
    if (map.contains("playseq"))
        playOrder_->setCurrentIndex(map["playseq"].toInt());
    if (map.contains("keepRatio"))
        fitting_->setCurrentIndex(map["keepRatio"].toInt());
}

void PicControlView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}
