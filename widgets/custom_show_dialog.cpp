#include "widgets/custom_show_dialog.h"

#include "widgets/btn_hlayout.h"
#include "widgets/skin_style.h"

CustomShowDialog::CustomShowDialog(QWidget* parent) : CustomDialog(parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setContentsMargins(8, 8, 8, 8);
    border_.setPicture(SkinStyle::instance()->pixmap("dialog_border.png"), 46, 12, 12, 12);
    titleBar()->setMinimumHeight(40);
}

void CustomShowDialog::drawBackground(QPainter& painter) { border_.draw(painter, rect()); }
