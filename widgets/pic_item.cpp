#include "widgets/pic_item.h"

#include <QGuiApplication>
#include <QPainter>

#include "widgets/custom_graphic_item_listener.h"
#include "widgets/problem_sign.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kInset = 8;  // the picture leaves 4 pixels of tile on every side
constexpr int kMargin = 5;
const QColor kTileColour("#39414B");
constexpr int kNamePixels = 11;

QString fileNameOf(const QString& path) {
    int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}
}  // namespace

PicItem::PicItem(int width, int height, const QPixmap& picture) : width_(width), height_(height) {
    if (!picture.isNull()) {
        // In the screen's pixels: made at the tile's logical size, the
        // picture would be enlarged again on a screen of ratio 2.
        qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
        picture_ = picture.scaled(QSize(width - kInset, height - kInset) * ratio,
                                  Qt::KeepAspectRatioByExpanding, Qt::FastTransformation);
        picture_.setDevicePixelRatio(ratio);
    }
    setAcceptHoverEvents(true);
    setFlag(ItemIsSelectable);
}

void PicItem::setFramePictures(const QPixmap& selected, const QPixmap& normal) {
    selectedFrame_ = selected;
    normalFrame_ = normal;
    update();
}

void PicItem::setProblem(const QString& why) {
    problem_ = why;
    setToolTip(why.isEmpty() ? QString() : fileNameOf(path_) + "\n" + why);
    update();
}

QRectF PicItem::boundingRect() const {
    return QRectF(0, 0, width_, height_).adjusted(-kMargin, -kMargin, kMargin, kMargin);
}

void PicItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    QRect tile(0, 0, width_, height_);
    painter->fillRect(tile, kTileColour);
    if (!picture_.isNull()) {
        QSize size = logicalSize(picture_);
        QSize shown = size.boundedTo(tile.size() - QSize(kInset, kInset));
        QRect target(QPoint(0, 0), shown);
        target.moveCenter(tile.center());
        // The middle of the picture, in its own pixels.
        qreal ratio = picture_.devicePixelRatio();
        QPointF corner((size.width() - shown.width()) / 2, (size.height() - shown.height()) / 2);
        painter->drawPixmap(QRectF(target), picture_,
                            QRectF(corner * ratio, QSizeF(shown) * ratio));
    }
    if (!problem_.isEmpty()) {
        paintProblem(painter, tile);
    }
    if (!selectedFrame_.isNull()) {
        painter->drawPixmap(tile, isSelected() ? selectedFrame_ : normalFrame_);
    }
}

void PicItem::paintProblem(QPainter* painter, const QRect& tile) {
    ProblemSign::draw(*painter, QPointF(tile.center().x() + 0.5, tile.height() / 3.0));
    QRect nameArea = tile.adjusted(kInset / 2, tile.height() / 2, -kInset / 2, -kInset / 2);
    painter->save();
    QFont font = painter->font();
    font.setPixelSize(kNamePixels);
    painter->setFont(font);
    painter->setPen(Qt::white);
    QString name =
        painter->fontMetrics().elidedText(fileNameOf(path_), Qt::ElideMiddle, nameArea.width());
    painter->drawText(nameArea, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, name);
    painter->restore();
}

void PicItem::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mousePressEvent(event);
    update();
}

void PicItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mouseReleaseEvent(event);
    update();
}

void PicItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mouseDoubleClickEvent(event);
    if (listener_) {
        listener_->itemDoubleClicked(QVariant());
    }
}
