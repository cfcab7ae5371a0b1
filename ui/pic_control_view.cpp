#include "ui/pic_control_view.h"

#include <QComboBox>

#include "sources/pic_file_source.h"
#include "ui/pic_graphic_view.h"
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

PicControlView::PicControlView(QWidget* parent) : ListPage(kSettingsSlot, parent) {
    grid_ = new PicGraphicView(this);
    grid_->setTileSize(80, 80);
    SkinStyle* skin = SkinStyle::instance();
    grid_->setFrames(skin->statePixmap("pic/bg_pic_frame.png", 2, 1),
                     skin->statePixmap("pic/bg_pic_frame.png", 2, 0));
    fitting_ = new QComboBox(this);
    fitting_->addItem(tr("自适应"));
    fitting_->addItem(tr("拉伸"));
    connect(fitting_, &QComboBox::currentIndexChanged, this, [this](int index) {
        grid_->source()->SetKeepRatio(index == 0);
        choiceChanged();
    });
    buildAround(grid_, {fitting_});
}

void PicControlView::addFiles() {
    grid_->push(
        CustomFileDialog::getOpenFileNames_(this, tr("选择图片"), pictureFilter(), "selpic"));
}

void PicControlView::clearList() { grid_->clearPics(); }

void PicControlView::removeSelected() {
    for (const QString& path : grid_->selectedPaths())
        grid_->removePic(path);
}

void PicControlView::playSelected() { grid_->playSelected(); }

void PicControlView::applyPlayOrder(int index) {
    grid_->source()->SetPlaySequence(index != 0 ? 1 : 0);
}

void PicControlView::saveChoices(QMap<QString, QString>& map) const {
    map["keepRatio"] = QString::number(fitting_->currentIndex());
}

void PicControlView::loadChoices(const QMap<QString, QString>& map) {
    if (map.contains("keepRatio"))
        fitting_->setCurrentIndex(map["keepRatio"].toInt());
}
