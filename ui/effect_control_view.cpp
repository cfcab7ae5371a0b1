#include "ui/effect_control_view.h"

#include "ui/caption_view.h"
#include "ui/prettify_pendant_view.h"

namespace {
constexpr int kPrettifyKey = 0;
constexpr int kCaptionKey = 2;

int pageKeyOf(int buttonId) { return buttonId == 0 || buttonId == 1 ? kPrettifyKey : buttonId; }
}  // namespace

EffectControlView::EffectControlView(QWidget* parent) : TabbedPages(parent) {
    buildTabs({"effect/btn_prettify.png", "effect/btn_pendant.png", "effect/btn_captions.png"}, 0,
              QMargins(0, 0, 0, 0));
}

QWidget* EffectControlView::makePage(int key) {
    if (key == kPrettifyKey) {
        return new PrettifyPendantView(this);
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
    if (!existingPage(kCaptionKey)) {
        pageFor(kCaptionKey);
    }
}

PrettifyPendantView* EffectControlView::prettifyPage() const {
    return static_cast<PrettifyPendantView*>(existingPage(kPrettifyKey));
}

CaptionView* EffectControlView::captionPage() const {
    return static_cast<CaptionView*>(existingPage(kCaptionKey));
}
