#include "ui/list_page.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/settings_db.h"
#include "ui/ui_kit.h"
#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

namespace {
QWidget* topRow(QWidget* parent, QList<ButtonSkin*>* buttons) {
    auto* top = new QWidget(parent);
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
    *buttons << add << clear << remove;
    return top;
}

QWidget* bottomBar(QWidget* parent, QComboBox* playOrder, const QList<QWidget*>& choices,
                   QList<ButtonSkin*>* buttons) {
    auto* bar = new QWidget(parent);
    bar->setFixedSize(313, 47);
    auto* row = new QHBoxLayout(bar);
    row->setSpacing(0);
    row->setContentsMargins(10, 10, 10, 10);
    row->addWidget(playOrder);
    for (QWidget* choice : choices) {
        row->addSpacing(20);
        row->addWidget(choice);
    }
    row->addStretch();
    ButtonSkin* play = idButton("video/btn_play.png", 3, bar);
    row->addWidget(play);
    *buttons << play;
    return bar;
}
}  // namespace

ListPage::ListPage(int settingsSlot, QWidget* parent)
    : QWidget(parent),
      settingsSlot_(settingsSlot),
      background_(SkinStyle::instance()->pixmap("video/bg_video_play.png")) {
    playOrder_ = new QComboBox(this);
    playOrder_->addItem(tr("随机播放"), 0);
    playOrder_->addItem(tr("列表循环"), 1);
    playOrder_->setCurrentIndex(0);
}

void ListPage::buildAround(QWidget* list, const QList<QWidget*>& choices) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(0);
    column->setContentsMargins(0, 0, 0, 0);
    QList<ButtonSkin*> buttons;
    column->addWidget(topRow(this, &buttons));
    column->addWidget(separatorLabel("video/img_line.png", this));
    column->addWidget(list, 1);
    column->addWidget(bottomBar(this, playOrder_, choices, &buttons));
    connect(playOrder_, &QComboBox::currentIndexChanged, this, [this](int index) {
        applyPlayOrder(index);
        choiceChanged();
    });
    for (ButtonSkin* button : buttons) {
        connect(button, &Button::clicked, this, &ListPage::onButtonClick);
    }
    QTimer::singleShot(0, this, &ListPage::loadFromDb);
}

void ListPage::onButtonClick() {
    switch (sender() ? sender()->property("id").toInt() : -1) {
        case 0:
            addFiles();
            break;
        case 1:
            clearList();
            break;
        case 2:
            removeSelected();
            break;
        case 3:
            playSelected();
            break;
        default:
            break;
    }
}

void ListPage::saveToDb() {
    QMap<QString, QString> map{{"playseq", QString::number(playOrder_->currentIndex())}};
    saveChoices(map);
    SettingsDb::instance()->saveMap(settingsSlot_, map);
}

void ListPage::choiceChanged() {
    if (!loading_) {
        saveToDb();
    }
}

void ListPage::loadFromDb() {
    QMap<QString, QString> map;
    SettingsDb::instance()->loadMap(settingsSlot_, map);
    // Put back one by one, each choice would be saved beside the others'
    // defaults before those are put back too.
    loading_ = true;
    if (map.contains("playseq")) {
        playOrder_->setCurrentIndex(map["playseq"].toInt());
    }
    loadChoices(map);
    loading_ = false;
}

void ListPage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}
