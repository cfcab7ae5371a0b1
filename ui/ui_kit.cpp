#include "ui/ui_kit.h"

#include <QLabel>

#include "widgets/skin_style.h"

QLabel* whiteLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet("color: #FFFFFF;");
    return label;
}

QLabel* separatorLabel(const QString& skinPicture, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(SkinStyle::instance()->pixmap(skinPicture));
    return label;
}
