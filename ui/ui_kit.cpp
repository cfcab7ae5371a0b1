#include "ui/ui_kit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>

#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

QLabel* whiteLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet("color: #FFFFFF;");
    return label;
}

QLabel* separatorLabel(const QString& skinPicture, QWidget* parent) {
    auto* label = new QLabel(parent);
    QPixmap picture = SkinStyle::instance()->pixmap(skinPicture);
    label->setPixmap(picture);
    // A line across a page fits whatever width the page has (less beside a
    // scroll bar): it is drawn to the label's width and never holds the page
    // wider. An upright spacer between buttons keeps its own size.
    if (picture.width() > picture.height()) {
        label->setScaledContents(true);
        label->setMinimumWidth(1);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    return label;
}

QString clockText(int seconds) {
    seconds = qMax(seconds, 0);
    return QString("%1:%2")
        .arg(seconds / 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

QPixmap coveringPicture(const QPixmap& picture, QSize size) {
    if (picture.isNull()) {
        return picture;
    }
    // Made once and drawn often: at the screen's ratio, a thumbnail or a
    // pendant's frame shrunk from a large picture keeps its detail, where
    // one made at the logical size would be enlarged again, blurred.
    qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : picture.devicePixelRatio();
    QPixmap scaled =
        picture.scaled(size * ratio, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    return scaled;
}

void drawCovering(QPainter& painter, const QRect& target, const QPixmap& picture) {
    if (picture.isNull()) {
        return;
    }
    qreal ratio = picture.devicePixelRatio();
    QSizeF size = picture.deviceIndependentSize();
    QRectF source((size.width() - target.width()) / 2, (size.height() - target.height()) / 2,
                  target.width(), target.height());
    source = source.intersected(QRectF(QPointF(0, 0), size));
    painter.drawPixmap(QRectF(target), picture,
                       QRectF(source.topLeft() * ratio, source.size() * ratio));
}

ButtonSkin* idButton(const QString& picture, int id, QWidget* parent) {
    auto* button = new ButtonSkin(picture, parent);
    button->setProperty("id", id);
    return button;
}

QScrollArea* scrollingPage(QWidget* content, QWidget* parent) {
    auto* scroll = new QScrollArea(parent);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    // Both stay unpainted, so the panel's own background shows through
    // (setWidget turns the content's filling on).
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return scroll;
}
