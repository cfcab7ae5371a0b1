#include "ui/list_page_parts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>

#include "ui/ui_kit.h"
#include "widgets/button_skin.h"

QWidget* listTopRow(QWidget* parent, QList<ButtonSkin*>* buttons) {
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

QComboBox* makePlayOrderBox(QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->addItem(QCoreApplication::translate("ListPage", "随机播放"), 0);
    box->addItem(QCoreApplication::translate("ListPage", "列表循环"), 1);
    box->setCurrentIndex(0);
    return box;
}

QWidget* listBottomBar(QWidget* parent, QComboBox* playOrder, const QList<QWidget*>& choices,
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
