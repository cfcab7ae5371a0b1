#include "tools/skin_gallery/gallery_sheets.h"

#include <QApplication>
#include <QDirIterator>
#include <QEnterEvent>
#include <QGraphicsWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "widgets/button_skin.h"
#include "widgets/custom_confirm_dialog.h"
#include "widgets/custom_graphic_grid_layout.h"
#include "widgets/custom_graphic_view.h"
#include "widgets/custom_message_box.h"
#include "widgets/custom_show_dialog.h"
#include "widgets/layout_item_list.h"
#include "widgets/pic_item.h"
#include "widgets/play_slider_bar.h"
#include "widgets/skin_style.h"

namespace {
// What the widget shows on screen: a masked window only inside its mask.
QImage shot(QWidget& widget) {
    QImage picture = widget.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (widget.mask().isEmpty())
        return picture;
    QImage clipped(picture.size(), picture.format());
    clipped.setDevicePixelRatio(picture.devicePixelRatio());
    clipped.fill(Qt::transparent);
    QPainter painter(&clipped);
    painter.setClipRegion(widget.mask());
    painter.drawImage(0, 0, picture);
    painter.end();
    return clipped;
}

// Every picture of the skin folder whose name matches, as relative paths;
// the @2x twins are found by Qt itself.
QStringList skinPictures(const QString& nameFilter) {
    QString root = SkinStyle::instance()->skinDirectory();
    QStringList found;
    QDirIterator it(root, {nameFilter}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString path = it.next().mid(root.size() + 1);
        if (!path.contains("@2x"))
            found << path;
    }
    found.sort();
    return found;
}

// The combo box arrows are single pictures for the style sheet, not strips.
bool isStyleSheetArrow(const QString& path) { return path.startsWith("main/btn_combox_"); }

void sendEnter(QWidget& widget) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&widget, &event);
}

void sendPress(QWidget& widget) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

// A sample picture for the tiles: a sky, a hill and a sun.
QPixmap samplePicture(int width, int height, int hue) {
    QImage picture(width, height, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(picture.rect(), QColor::fromHsv(hue, 90, 220));
    painter.setBrush(QColor::fromHsv((hue + 120) % 360, 140, 150));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width * 0.3, height * 1.1), width * 0.7, height * 0.6);
    painter.setBrush(QColor(255, 220, 120));
    painter.drawEllipse(QPointF(width * 0.75, height * 0.3), height * 0.12, height * 0.12);
    return QPixmap::fromImage(picture);
}

QImage scaledForSheet(const QImage& picture) {
    QSize size = picture.deviceIndependentSize().toSize();
    if (size.width() <= 520 && size.height() <= 520)
        return picture;
    QImage half = picture.scaled(picture.size() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    half.setDevicePixelRatio(picture.devicePixelRatio());
    return half;
}
}  // namespace

ContactSheet buttonSheet(qreal scale) {
    ContactSheet sheet("按钮 · buttons: normal, hover, pressed, disabled, selected", scale);
    for (const QString& path : skinPictures("btn_*.png")) {
        if (isStyleSheetArrow(path))
            continue;
        sheet.startRow(path);
        for (int look = 0; look < 5; ++look) {
            ButtonSkin button(path);
            if (look == 1)
                sendEnter(button);
            if (look == 2)
                sendPress(button);
            if (look == 3)
                button.setEnabled(false);
            if (look == 4)
                button.setSelected(true);
            static const char* const kLooks[] = {"normal", "hover", "pressed", "disabled",
                                                 "selected"};
            sheet.add(kLooks[look], shot(button));
        }
    }
    return sheet;
}

ContactSheet dialogSheet(qreal scale) {
    ContactSheet sheet("对话框 · dialogs", scale);
    sheet.startRow("CustomShowDialog");
    CustomShowDialog show;
    show.setWindowTitle("Lumora直播伴侣");
    auto* body = new QLabel("CustomShowDialog 的内容");
    body->setAlignment(Qt::AlignCenter);
    show.mainLayout()->addWidget(body);
    show.resize(420, 260);
    show.show();
    sheet.add("420 × 260", shot(show));

    sheet.startRow("CustomConfirmDialog, CustomMessageBox");
    CustomConfirmDialog confirm;
    confirm.setWindowTitle("确认");
    auto* label = new QLabel("内容区域 · the content area");
    label->setStyleSheet("color: white;");
    confirm.setContentWidget(label);
    confirm.resize(360, 220);
    confirm.show();
    sheet.add("confirm 360 × 220", shot(confirm));
    CustomMessageBox question(QMessageBox::Question, "提示", "确定要删除选中的录像吗？",
                              QMessageBox::Ok | QMessageBox::Cancel);
    question.resize(360, 200);
    question.show();
    sheet.add("question Ok | Cancel", shot(question));
    CustomMessageBox longText(QMessageBox::Warning, "提示",
                              "这是一段很长的提示文字，它超过一百个字节，所以会自动换行，"
                              "让整段文字留在对话框里面。",
                              QMessageBox::Yes | QMessageBox::No);
    longText.resize(360, 220);
    longText.show();
    sheet.add("wrapping Yes | No", shot(longText));
    return sheet;
}

ContactSheet itemViewSheet(qreal scale) {
    ContactSheet sheet("条目视图 · item views and tiles", scale);
    SkinStyle* skin = SkinStyle::instance();
    struct Grid {
        QString heading, frame;
        QSize tile;
    };
    for (const Grid& grid :
         {Grid{"pictures: 80 × 80 tiles", "pic/bg_pic_frame.png", {80, 80}},
          Grid{"presets: 61 × 80 tiles", "effect/bg_pretiify_frame.png", {61, 80}}}) {
        sheet.startRow(grid.heading);
        CustomGraphicView view;
        view.resize(313, 220);
        auto* container = new QGraphicsWidget;
        auto* layout = new CustomGraphicGridLayout;
        container->setLayout(layout);
        for (int i = 0; i < 7; ++i) {
            auto* tile = new PicItem(grid.tile.width(), grid.tile.height(),
                                     i == 6 ? QPixmap() : samplePicture(160, 120, i * 50));
            tile->setFramePictures(skin->statePixmap(grid.frame, 2, 1),
                                   skin->statePixmap(grid.frame, 2, 0));
            tile->setSelected(i == 1);
            layout->addItem(new CustomGraphicGridItem(tile, 6));
        }
        view.hostContainer(container, QPointF(-8, -8));
        view.show();
        sheet.add("second selected, last without picture", shot(view));
        deleteAllItems(layout);
    }
    return sheet;
}

ContactSheet sliderSheet(qreal scale) {
    ContactSheet sheet("滑块 · PlaySliderBar", scale);
    sheet.startRow("video_play pictures, 200 pixels wide");
    for (int value : {0, 25, 60, 100}) {
        PlaySliderBar bar(1.0);
        bar.setMaximum(100);
        bar.setValue(value);
        bar.resize(200, bar.sizeHint().height());
        sheet.add(QString("value %1 of 100").arg(value), shot(bar));
    }
    PlaySliderBar empty(1.0);
    empty.resize(200, empty.sizeHint().height());
    sheet.add("maximum 0", shot(empty));
    return sheet;
}

ContactSheet pictureSheet(qreal scale) {
    ContactSheet sheet("图片 · every other skin picture", scale);
    QString folder;
    for (const QString& path : skinPictures("*.png")) {
        if (path.section('/', -1).startsWith("btn_"))
            continue;
        QString here = path.contains('/') ? path.section('/', 0, -2) : QString(".");
        if (here != folder)
            sheet.startRow(folder = here);
        QImage picture = SkinStyle::instance()->pixmap(path).toImage();
        QSize size = picture.deviceIndependentSize().toSize();
        sheet.add(
            QString("%1 %2×%3").arg(path.section('/', -1)).arg(size.width()).arg(size.height()),
            scaledForSheet(picture));
    }
    return sheet;
}

namespace {
// The main window's frame as the program paints it: black, the left picture,
// the right one beside it, and the tab buttons over the right side.
class MainWindowMock : public CustomShowDialog {
public:
    MainWindowMock() {
        setWindowTitle("Lumora直播伴侣");
        setFixedSize(982, 648);
        left_ = SkinStyle::instance()->pixmap("main/bg_main_left.png");
        right_ = SkinStyle::instance()->pixmap("main/bg_main_right.png");
        auto* row = new QHBoxLayout;
        row->setContentsMargins(4, 4, 4, 4);
        row->setSpacing(4);
        row->addStretch();
        for (const char* tab : {"camera", "effect", "video", "pic", "record"}) {
            auto* button = new ButtonSkin(QString("main/btn_%1_tab.png").arg(tab), this);
            button->setSelected(QString(tab) == "camera");
            row->addWidget(button);
        }
        mainLayout()->addLayout(row);
        mainLayout()->addStretch();
    }
    void drawBackground(QPainter& painter) override {
        painter.fillRect(rect(), Qt::black);
        painter.drawPixmap(0, 0, left_);
        painter.drawPixmap(left_.deviceIndependentSize().toSize().width(), 0, right_);
    }

private:
    QPixmap left_, right_;
};
}  // namespace

ContactSheet mainWindowSheet(qreal scale) {
    ContactSheet sheet("主窗体 · the main window's frame, 982 × 648", scale);
    MainWindowMock window;
    window.show();
    sheet.add("left and right backgrounds with the tab buttons", shot(window));
    return sheet;
}
