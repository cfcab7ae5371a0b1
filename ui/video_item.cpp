#include "ui/video_item.h"

#include <QCoreApplication>
#include <QPainter>

#include "ui/ui_kit.h"
#include "widgets/custom_graphic_item_listener.h"
#include "widgets/problem_sign.h"
#include "widgets/skin_style.h"

namespace {
const QRect kThumbnail(10, 10, 69, 47);
const QRect kName(88, 10, 207, 62);
const QRect kInfo(88, 42, 207, 30);
const QColor kSelected("#5FC3F9");
const QColor kProblemText("#FFB4A8");
}  // namespace

QString displayNameOf(const QString& path) {
    int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

VideoItem::VideoItem(const QString& path, const QPixmap& thumbnail,
                     CustomGraphicItemListener* listener)
    : path_(path),
      name_(displayNameOf(path)),
      separator_(SkinStyle::instance()->pixmap("video/img_line.png")),
      listener_(listener) {
    setThumbnail(thumbnail);
    setFlag(ItemIsSelectable);
    setAcceptHoverEvents(true);
}

void VideoItem::setPlayTimeText(const QString& text) {
    playTime_ = text;
    update();
}

void VideoItem::setThumbnail(const QPixmap& picture) {
    thumbnail_ = coveringPicture(picture, kThumbnail.size());
    update();
}

void VideoItem::setPlaying(bool playing) {
    playing_ = playing;
    update();
}

void VideoItem::setProblem(const QString& why) {
    problem_ = why;
    setToolTip(why.isEmpty() ? QString() : name_ + "\n" + why);
    update();
}

QRectF VideoItem::boundingRect() const { return QRectF(0, 0, kWidth, kHeight); }

void VideoItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (isSelected()) {
        painter->fillRect(boundingRect(), kSelected);
    }
    drawCovering(*painter, kThumbnail, thumbnail_);
    painter->setPen(Qt::white);
    QFontMetrics metrics = painter->fontMetrics();
    painter->drawText(kName, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      metrics.elidedText(name_, Qt::ElideRight, kName.width()));
    painter->drawText(kInfo, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                      metrics.elidedText(playTime_, Qt::ElideRight, kInfo.width()));
    if (playing_) {
        painter->drawText(kInfo, Qt::AlignLeft | Qt::AlignTop,
                          QCoreApplication::translate("VideoItem", "播放中..."));
    } else if (!problem_.isEmpty()) {
        painter->setPen(kProblemText);
        painter->drawText(kInfo, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          metrics.elidedText(problem_, Qt::ElideRight, kInfo.width()));
    }
    if (!problem_.isEmpty()) {
        ProblemSign::draw(*painter, kThumbnail.bottomRight());
    }
    if (!separator_.isNull()) {
        painter->drawPixmap(0, kHeight - 2, separator_);
    }
}

void VideoItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mouseDoubleClickEvent(event);
    if (listener_) {
        listener_->itemDoubleClicked(QVariant());
    }
}
