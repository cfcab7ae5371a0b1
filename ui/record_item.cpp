#include "ui/record_item.h"

#include <QCoreApplication>
#include <QPainter>

#include "ui/ui_kit.h"
#include "ui/video_item.h"
#include "widgets/custom_graphic_item_listener.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kWidth = 313;
constexpr int kHeight = 72;
const QRect kThumbnail(10, 10, 69, 47);
const QRect kName(88, 10, 207, 24);
const QRect kInfo(88, 42, 207, 24);
const QColor kHighlight("#5FC3F9");
constexpr QLatin1StringView kUnsavedSuffix(".flv_tmp");

// An unsaved recording's line already says 未保存; its name leaves the
// temporary suffix out.
QString shownNameOf(const QString& path) {
    QString name = displayNameOf(path);
    if (name.endsWith(kUnsavedSuffix)) {
        name.chop(kUnsavedSuffix.size());
    }
    return name;
}
}  // namespace

bool RecordItem::isUnsaved() const { return path_.endsWith(kUnsavedSuffix); }

RecordItem::RecordItem(const QString& path, const QPixmap& frame,
                       CustomGraphicItemListener* listener)
    : path_(path),
      name_(shownNameOf(path)),
      duration_(clockText(0)),
      frame_(frame),
      separator_(SkinStyle::instance()->pixmap("video/img_line.png")),
      listener_(listener) {
    setThumbnail(SkinStyle::instance()->pixmap("video/img_video_other.png"));
    setFlag(ItemIsSelectable);
    setAcceptHoverEvents(true);
}

void RecordItem::setThumbnail(const QPixmap& picture) {
    thumbnail_ = coveringPicture(picture, kThumbnail.size());
    update();
}

void RecordItem::setDuration(int seconds) {
    seconds_ = seconds;
    duration_ = clockText(seconds);
    update();
}

QRectF RecordItem::boundingRect() const { return QRectF(0, 0, kWidth, kHeight); }

void RecordItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (hovered_ || isSelected()) {
        painter->fillRect(boundingRect(), kHighlight);
    }
    drawCovering(*painter, kThumbnail, thumbnail_);
    if (!frame_.isNull()) {
        painter->drawPixmap(kThumbnail, frame_);
    }
    painter->setPen(Qt::white);
    QFontMetrics metrics = painter->fontMetrics();
    auto line = [&](const QRect& area, const QString& text) {
        painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          metrics.elidedText(text, Qt::ElideRight, area.width()));
    };
    line(kName, name_);
    QString info = duration_;
    if (isUnsaved()) {
        info += "  " + QCoreApplication::translate("RecordItem", "未保存");
    }
    line(kInfo, info);
    if (!separator_.isNull()) {
        painter->drawPixmap(0, kHeight - 2, separator_);
    }
}

void RecordItem::hoverEnterEvent(QGraphicsSceneHoverEvent* event) {
    hovered_ = true;
    update();
    QGraphicsItem::hoverEnterEvent(event);
}

void RecordItem::hoverLeaveEvent(QGraphicsSceneHoverEvent* event) {
    hovered_ = false;
    update();
    QGraphicsItem::hoverLeaveEvent(event);
}

void RecordItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mouseDoubleClickEvent(event);
    if (listener_) {
        listener_->itemDoubleClicked(path_);
    }
}
