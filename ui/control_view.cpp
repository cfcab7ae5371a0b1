#include "ui/control_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/camera_control_view.h"
#include "ui/effect_control_view.h"
#include "ui/pic_control_view.h"
#include "ui/record_control_view.h"
#include "ui/ui_kit.h"
#include "ui/video_control_view.h"
#include "widgets/button_skin.h"

ControlView::ControlView(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    row->setContentsMargins(4, 4, 4, 4);
    const char* const pictures[] = {"main/btn_camera_tab.png", "main/btn_effect_tab.png",
                                    "main/btn_video_tab.png", "main/btn_pic_tab.png",
                                    "main/btn_record_tab.png"};
    for (int tab = Camera; tab <= Recordings; ++tab) {
        ButtonSkin* button = idButton(pictures[tab], tab, this);
        connect(button, &Button::clicked, this, &ControlView::onButtonClicked);
        row->addWidget(button);
        buttons_.insert(tab, button);
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(row);
    stack_ = new QStackedWidget(this);
    column->addWidget(stack_, 1);
    buttons_[Camera]->click();
    buttons_[Camera]->setSelected(true);
}

QWidget* ControlView::makePage(int tab) {
    switch (tab) {
        case Camera:
            return new CameraControlView(this);
        case Effects:
            return new EffectControlView(this);
        case Videos:
            return new VideoControlView(this);
        case Pictures:
            return new PicControlView(this);
        case Recordings:
            return new RecordControlView(this);
        default:
            return nullptr;
    }
}

void ControlView::onButtonClicked() {
    int tab = sender() ? sender()->property("id").toInt() : -1;
    for (auto it = buttons_.cbegin(); it != buttons_.cend(); ++it) {
        it.value()->setSelected(it.key() == tab);
    }
    if (QWidget* existing = pages_.value(tab, nullptr)) {
        stack_->setCurrentWidget(existing);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QWidget* made = makePage(tab);
    if (made) {
        pages_.insert(tab, made);
        stack_->addWidget(made);
        stack_->setCurrentWidget(made);
    }
    QApplication::restoreOverrideCursor();
}

void ControlView::loadFromDb() {
    if (!pages_.contains(Effects)) {
        auto* effects = new EffectControlView(this);
        pages_.insert(Effects, effects);
        stack_->addWidget(effects);
        effects->loadFromDb();
    }
}

QWidget* ControlView::currentPage() const { return stack_->currentWidget(); }
