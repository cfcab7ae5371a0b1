#include "widgets/btn_hlayout.h"

BtnHLayout::BtnHLayout(QWidget* parent) : QHBoxLayout(parent) {
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
}

void BtnHLayout::setMinimumHeight(int height) {
    minimumHeight_ = height;
    invalidate();
}

QSize BtnHLayout::sizeHint() const {
    QSize size = QHBoxLayout::sizeHint();
    return {size.width(), qMax(size.height(), minimumHeight_)};
}

QSize BtnHLayout::minimumSize() const {
    QSize size = QHBoxLayout::minimumSize();
    return {size.width(), qMax(size.height(), minimumHeight_)};
}

QSize BtnHLayout::maximumSize() const {
    return {QHBoxLayout::maximumSize().width(), sizeHint().height()};
}
