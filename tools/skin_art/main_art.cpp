// The main window's pictures: its two backgrounds, which meet at the border
// between the preview (left) and the tabs (right), the tab and title buttons,
// and the pictures of the application style sheet (combo box, scroll bar).

#include "tools/skin_art/buttons.h"
#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/theme.h"

namespace {
// The window is 982 x 648 with an 8-pixel margin that its mask cuts away
// (10 on the right); the title bar is the 40 rows under the top margin.
constexpr int kWindowHeight = 648;
constexpr int kMargin = 8;
constexpr int kTitleBottom = kMargin + 40;
// Left: the 650 x 490 preview area (a 640 x 480 view with 5 around it) and
// the player bar under it. Right: the rest, a 316-pixel tab column.
constexpr int kLeftWidth = kMargin + 650;
constexpr int kRightWidth = 982 - kLeftWidth;
constexpr int kRightVisible = kRightWidth - 10;
constexpr int kPreviewBottom = kTitleBottom + 490;
constexpr int kTabRowBottom = kTitleBottom + 60;
// Six tabs share the column: 6 x 50 with 1 between and 4 at the ends.
constexpr int kTabWidth = 50;

// The window body from `left` to `right` with the title band on top; the
// body reaches past a picture's inner side so that only outer corners round.
void windowBody(QPainter& painter, qreal left, qreal right) {
    QRectF body(left, kMargin, right - left, kWindowHeight - 2 * kMargin);
    painter.setPen(QPen(theme::kEdge, 1.0));
    painter.setBrush(theme::kWindow);
    painter.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    QLinearGradient band(0, kMargin, 0, kTitleBottom);
    band.setColorAt(0.0, theme::kTitleTop);
    band.setColorAt(1.0, theme::kTitleBottom);
    painter.save();
    painter.setClipRect(QRectF(left, kMargin, right - left, kTitleBottom - 1 - kMargin));
    painter.setBrush(band);
    painter.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.restore();
    painter.fillRect(QRectF(left + 1, kTitleBottom - 1, right - left - 2, 1), theme::kLine);
}

void leftBackground(QPainter& painter, const QRectF&, int) {
    windowBody(painter, kMargin, kLeftWidth + 20);
    // The recessed well that the 640 x 480 preview sits in.
    QRectF well(kMargin + 4, kTitleBottom + 4, 642, 482);
    painter.setPen(QPen(theme::kLineLight, 1.0));
    painter.setBrush(theme::kWell);
    painter.drawRect(well.adjusted(0.5, 0.5, -0.5, -0.5));
    // The player bar's own band under the preview.
    QRectF bar(kMargin + 1, kPreviewBottom, kLeftWidth - kMargin - 1,
               kWindowHeight - kMargin - 1 - kPreviewBottom);
    painter.fillRect(bar, theme::kPanel);
    painter.fillRect(QRectF(bar.left(), bar.top(), bar.width(), 1), theme::kLine);
    painter.fillRect(QRectF(bar.left(), bar.top() + 1, bar.width(), 1), QColor(255, 255, 255, 12));
}

void rightBackground(QPainter& painter, const QRectF&, int) {
    windowBody(painter, -20, kRightVisible);
    QRectF tabs(0, kTitleBottom, kRightVisible - 1, kTabRowBottom - kTitleBottom);
    painter.fillRect(tabs, theme::kPanel);
    painter.fillRect(QRectF(0, kTabRowBottom - 1, tabs.width(), 1), theme::kLine);
    // The seam between preview and tabs, etched from the title down.
    painter.fillRect(QRectF(0, kTitleBottom, 1, kWindowHeight - kMargin - 1 - kTitleBottom),
                     theme::kLine);
    painter.fillRect(QRectF(1, kTitleBottom, 1, kWindowHeight - kMargin - 1 - kTitleBottom),
                     QColor(255, 255, 255, 12));
}

void comboBackground(QPainter& painter, const QRectF& slice, int) {
    kit::face(painter, slice, QColor(0x1A, 0x1F, 0x25), theme::kLineLight, 4);
    // The drop-down part is the right 27 columns, which the style sheet keeps unstretched.
    painter.fillRect(QRectF(slice.right() - 26, slice.top() + 5, 1, slice.height() - 10),
                     theme::kLineLight);
}

void scrollHandle(QPainter& painter, const QRectF& slice, int) {
    kit::pill(painter, QRectF(slice.left() + 3, slice.top() + 1, 6, slice.height() - 2),
              QColor(0x5A, 0x64, 0x70), QColor(0x6C, 0x77, 0x84));
}

StatePainter chevron(Glyph glyph, QColor ink) {
    return [glyph, ink](QPainter& painter, const QRectF& slice, int) {
        glyph(painter, slice.adjusted(1, 0, -1, 0), ink);
    };
}
}  // namespace

QList<SkinPicture> mainPictures() {
    return {
        {"main/bg_main_left.png", {kLeftWidth, kWindowHeight}, 1, leftBackground},
        {"main/bg_main_right.png", {kRightWidth, kWindowHeight}, 1, rightBackground},
        {"main/btn_camera_tab.png",
         {kTabWidth, 52},
         4,
         tabButton(QT_TRANSLATE_NOOP("SkinArt", "摄像头"), glyph::camera)},
        {"main/btn_effect_tab.png",
         {kTabWidth, 52},
         4,
         tabButton(QT_TRANSLATE_NOOP("SkinArt", "特效"), glyph::sparkle)},
        {"main/btn_video_tab.png",
         {kTabWidth, 52},
         4,
         tabButton(QT_TRANSLATE_NOOP("SkinArt", "视频"), glyph::film)},
        {"main/btn_pic_tab.png",
         {kTabWidth, 52},
         4,
         tabButton(QT_TRANSLATE_NOOP("SkinArt", "图片"), glyph::picture)},
        {"main/btn_record_tab.png",
         {kTabWidth, 52},
         4,
         tabButton(QT_TRANSLATE_NOOP("SkinArt", "录制"), glyph::recordRing)},
        {"main/btn_live_tab.png",
         {kTabWidth, 52},
         4,
         tabButton(QT_TRANSLATE_NOOP("SkinArt", "直播"), glyph::broadcast)},
        {"main/btn_min.png", {24, 24}, 4, iconButton(glyph::minimise)},
        {"main/btn_close.png", {24, 24}, 4, iconButton(glyph::cross, Tone::Danger)},
        {"main/bg_combox.png", {80, 24}, 1, comboBackground},
        {"main/btn_combox_on.png", {12, 8}, 1, chevron(glyph::chevronDown, theme::kTextMuted)},
        {"main/btn_combox_off.png", {12, 8}, 1, chevron(glyph::chevronUp, theme::kAccent)},
        {"main/img_scroll_bar.png", {12, 40}, 1, scrollHandle},
    };
}
