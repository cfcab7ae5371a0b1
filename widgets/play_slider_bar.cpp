#include "widgets/play_slider_bar.h"

#include <QMouseEvent>
#include <QPainter>

#include "widgets/skin_style.h"

PlaySliderBar::PlaySliderBar(const QString& background, const QString& progress,
                             const QString& handle, double scale, QWidget* parent)
    : QWidget(parent),
      background_(SkinStyle::instance()->pixmap(background)),
      progress_(SkinStyle::instance()->pixmap(progress)),
      handlePicture_(SkinStyle::instance()->pixmap(handle)),
      scale_(scale) {}

PlaySliderBar::PlaySliderBar(double scale, QWidget* parent)
    : PlaySliderBar("video_play/bg_video_bar.png", "video_play/img_video_bar_progress.png",
                    "video_play/img_video_con.png", scale, parent) {}

void PlaySliderBar::setValue(int value) {
    if (value < minimum_ || value > maximum_) {
        return;
    }
    value_ = value;
    update();
}

void PlaySliderBar::setMaximum(int maximum) {
    maximum_ = maximum;
    update();
}

void PlaySliderBar::setMinimum(int minimum) {
    minimum_ = minimum;
    update();
}

QSize PlaySliderBar::sizeHint() const {
    QSize hint = QWidget::sizeHint();
    if (!handlePicture_.isNull()) {
        hint.setHeight(static_cast<int>(logicalSize(handlePicture_).height() * scale_));
    }
    return hint;
}

void PlaySliderBar::paintEvent(QPaintEvent*) {
    if (background_.isNull()) {
        return;
    }
    QRect area = rect();
    QSize handleSize = logicalSize(handlePicture_) * scale_;
    area.setLeft(area.left() + handleSize.width() / 2);
    area.setRight(area.right() - handleSize.width() / 2);
    if (!area.isValid()) {
        return;
    }
    QSize backgroundSize = logicalSize(background_) * scale_;
    track_ = QRect(area.left(), area.top() + (area.height() - backgroundSize.height()) / 2,
                   area.width(), backgroundSize.height());
    double fraction = maximum_ > 0 ? static_cast<double>(value_) / maximum_ : 0.0;
    int done = static_cast<int>(area.width() * fraction);
    QRect progress(area.left(), track_.top(), done, track_.height());
    handle_ = QRect(area.left() + done - handleSize.width() / 2,
                    area.top() + (area.height() - handleSize.height()) / 2, handleSize.width(),
                    handleSize.height());
    QPainter painter(this);
    painter.drawPixmap(track_, background_);
    if (!progress_.isNull() && done > 0) {
        painter.drawPixmap(progress, progress_);
    }
    if (!handlePicture_.isNull()) {
        painter.drawPixmap(handle_, handlePicture_);
    }
}

int PlaySliderBar::valueAt(int x) const {
    if (x <= track_.left()) {
        return minimum_;
    }
    if (x >= track_.right()) {
        return maximum_;
    }
    return static_cast<int>(static_cast<long long>(maximum_) * (x - track_.left()) /
                            track_.width());
}

void PlaySliderBar::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (handle_.contains(event->position().toPoint())) {
        dragging_ = true;
        pressedAt_ = event->position().toPoint();
    }
}

void PlaySliderBar::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        return;
    }
    int before = value_;
    setValue(valueAt(event->position().toPoint().x()));
    if (value_ != before) {
        emit valueChanging(value_);
    }
}

void PlaySliderBar::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    setValue(valueAt(event->position().toPoint().x()));
    emit valueChanged(value_);
}
