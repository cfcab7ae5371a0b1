#include "ui/control_view.h"

#include "ui/camera_control_view.h"
#include "ui/effect_control_view.h"
#include "ui/live_control_view.h"
#include "ui/pic_control_view.h"
#include "ui/record_control_view.h"
#include "ui/video_control_view.h"

ControlView::ControlView(QWidget* parent) : TabbedPages(parent) {
    buildTabs({"main/btn_camera_tab.png", "main/btn_effect_tab.png", "main/btn_video_tab.png",
               "main/btn_pic_tab.png", "main/btn_record_tab.png", "main/btn_live_tab.png"},
              1, QMargins(4, 4, 4, 4));
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
        case Live:
            return new LiveControlView(this);
        default:
            return nullptr;
    }
}

void ControlView::loadFromDb() {
    if (!existingPage(Effects)) {
        static_cast<EffectControlView*>(pageFor(Effects))->loadFromDb();
    }
}
