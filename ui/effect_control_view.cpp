#include "ui/effect_control_view.h"

#include "ui/background_view.h"
#include "ui/caption_view.h"
#include "ui/prettify_pendant_view.h"

namespace {
constexpr int kPrettifyKey = 0;
constexpr int kCaptionKey = 2;
constexpr int kBackgroundKey = 3;

int pageKeyOf(int buttonId) { return buttonId == 0 || buttonId == 1 ? kPrettifyKey : buttonId; }
}  // namespace

EffectControlView::EffectControlView(QWidget* parent) : TabbedPages(parent) {
    buildTabs({"effect/btn_prettify.png", "effect/btn_pendant.png", "effect/btn_captions.png",
               "effect/btn_background.png"},
              0, QMargins(0, 0, 0, 0));
}

QWidget* EffectControlView::makePage(int key) {
    if (key == kPrettifyKey) {
        return new PrettifyPendantView(this);
    }
    if (key == kBackgroundKey) {
        return new BackgroundView(this);
    }
    return key == kCaptionKey ? new CaptionView(this) : nullptr;
}

void EffectControlView::onTabChosen(int id) {
    int key = pageKeyOf(id);
    QWidget* page = showPage(key);
    if (page != nullptr && key == kPrettifyKey) {
        static_cast<PrettifyPendantView*>(page)->setPage(id);
    }
}

void EffectControlView::loadFromDb() {
    for (int key : {kCaptionKey, kBackgroundKey}) {
        if (!existingPage(key)) {
            pageFor(key);
        }
    }
}

PrettifyPendantView* EffectControlView::prettifyPage() const {
    return static_cast<PrettifyPendantView*>(existingPage(kPrettifyKey));
}

BackgroundView* EffectControlView::backgroundPage() const {
    return static_cast<BackgroundView*>(existingPage(kBackgroundKey));
}

CaptionView* EffectControlView::captionPage() const {
    return static_cast<CaptionView*>(existingPage(kCaptionKey));
}
