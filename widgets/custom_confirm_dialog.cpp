#include "widgets/custom_confirm_dialog.h"

#include <QVBoxLayout>

#include "widgets/btn_hlayout.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kLowerRows = 31;
}

CustomConfirmDialog::CustomConfirmDialog(QWidget* parent) : CustomDialog(parent) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setModal(true);
    setContentsMargins(8, 8, 8, 8);
    titleBar()->setMinimumHeight(40);

    contentArea_ = new QWidget(this);
    auto* contentLayout = new QVBoxLayout(contentArea_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout()->addWidget(contentArea_, 1);
    buttonBar_ = new BtnHLayout;
    buttonBar_->setMinimumHeight(34);
    mainLayout()->addLayout(buttonBar_);

    QPixmap border = SkinStyle::instance()->pixmap("dialog_border.png");
    if (!border.isNull()) {
        int height = border.deviceIndependentSize().toSize().height();
        int width = border.deviceIndependentSize().toSize().width();
        qreal ratio = border.devicePixelRatio();
        auto rows = [&](int top, int count) {
            QPixmap piece =
                border.copy(0, qRound(top * ratio), qRound(width * ratio), qRound(count * ratio));
            piece.setDevicePixelRatio(ratio);
            return piece;
        };
        upperBorder_.setPicture(rows(0, height - 12), 46, 12, 10, 12);
        lowerBorder_.setPicture(rows(height - kLowerRows, kLowerRows), 10, 12, 12, 12);
    }
}

void CustomConfirmDialog::setContentWidget(QWidget* widget) {
    auto* layout = static_cast<QVBoxLayout*>(contentArea_->layout());
    if (content_) {
        layout->removeWidget(content_);
        content_->setParent(nullptr);
        delete content_.data();
    }
    content_ = widget;
    if (widget) {
        layout->addWidget(widget, 0, Qt::AlignCenter);
    }
}

void CustomConfirmDialog::drawBackground(QPainter& painter) {
    int split = contentArea_->geometry().bottom();
    upperBorder_.draw(painter, QRect(0, 0, width(), split));
    lowerBorder_.draw(painter, QRect(0, split, width(), height() - split));
}

void CustomConfirmDialog::onButtonClick() {
    if (sender()) {
        emit sig_ButtonClick(sender()->property("id").toInt());
    }
}
