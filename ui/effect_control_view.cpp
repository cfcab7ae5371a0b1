#include "ui/effect_control_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/caption_view.h"
#include "ui/prettify_pendant_view.h"
#include "ui/ui_kit.h"
#include "widgets/button_skin.h"

namespace {
constexpr int kPrettifyKey = 0;
constexpr int kCaptionKey = 2;

int pageKeyOf(int buttonId) { return buttonId == 0 || buttonId == 1 ? kPrettifyKey : buttonId; }
}  // namespace

EffectControlView::EffectControlView(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    const char* const pictures[] = {"effect/btn_prettify.png", "effect/btn_pendant.png",
                                    "effect/btn_captions.png"};
    for (int id = 0; id < 3; ++id) {
        ButtonSkin* button = idButton(pictures[id], id, this);
        connect(button, &Button::clicked, this, &EffectControlView::onButtonClicked);
        row->addWidget(button);
        buttons_.insert(id, button);
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(row);
    stack_ = new QStackedWidget(this);
    column->addWidget(stack_, 1);
    buttons_[0]->click();
    buttons_[0]->setSelected(true);
}

QWidget* EffectControlView::makePage(int key) {
    QWidget* page = key == kPrettifyKey ? static_cast<QWidget*>(new PrettifyPendantView(stack_))
                                        : new CaptionView(stack_);
    pages_.insert(key, page);
    stack_->addWidget(page);
    return page;
}

void EffectControlView::onButtonClicked() {
    int id = sender() ? sender()->property("id").toInt() : 0;
    int key = pageKeyOf(id);
    for (auto it = buttons_.cbegin(); it != buttons_.cend(); ++it) {
        it.value()->setSelected(it.key() == id);
    }
    QWidget* page = pages_.value(key, nullptr);
    if (page == nullptr) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        page = makePage(key);
        QApplication::restoreOverrideCursor();
    }
    stack_->setCurrentWidget(page);
    if (key == kPrettifyKey) {
        static_cast<PrettifyPendantView*>(page)->setPage(id);
    }
}

void EffectControlView::loadFromDb() {
    if (!pages_.contains(kCaptionKey)) {
        makePage(kCaptionKey);
    }
}

PrettifyPendantView* EffectControlView::prettifyPage() const {
    return static_cast<PrettifyPendantView*>(pages_.value(kPrettifyKey, nullptr));
}

CaptionView* EffectControlView::captionPage() const {
    return static_cast<CaptionView*>(pages_.value(kCaptionKey, nullptr));
}

QWidget* EffectControlView::currentPage() const { return stack_->currentWidget(); }
