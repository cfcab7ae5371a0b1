#include "widgets/custom_message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "widgets/btn_hlayout.h"
#include "widgets/button_skin.h"

namespace {
// Texts of this many bytes or more wrap; shorter ones stay on one line.
constexpr int kWrapBytes = 100;
constexpr int kIconSize = 32;

QString pictureOf(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
        case QMessageBox::Yes:
            return "record/btn_ok.png";
        case QMessageBox::Cancel:
        case QMessageBox::No:
            return "record/btn_cancel.png";
        default:
            return {};
    }
}

// The icon is drawn rather than taken from the style, so it matches the
// dark skin: a coloured disc with a white mark, sharp at any pixel ratio.
QPixmap iconPicture(QMessageBox::Icon icon, qreal pixelRatio) {
    struct Look {
        QColor disc;
        QString mark;
    };
    Look look = icon == QMessageBox::Warning       ? Look{QColor(0xE8, 0xA3, 0x3D), "!"}
                : icon == QMessageBox::Critical    ? Look{QColor(0xD9, 0x45, 0x50), "×"}
                : icon == QMessageBox::Information ? Look{QColor(0x2D, 0x8F, 0xD0), "i"}
                                                   : Look{QColor(0x2D, 0x8F, 0xD0), "?"};
    QPixmap picture(QSize(kIconSize, kIconSize) * pixelRatio);
    picture.setDevicePixelRatio(pixelRatio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.disc);
    painter.drawEllipse(QRectF(1, 1, kIconSize - 2, kIconSize - 2));
    QFont font = painter.font();
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, kIconSize, kIconSize), Qt::AlignCenter, look.mark);
    return picture;
}
}  // namespace

CustomMessageBox::CustomMessageBox(QMessageBox::Icon icon, const QString& title,
                                   const QString& text, QMessageBox::StandardButtons buttons,
                                   QWidget* parent)
    : CustomConfirmDialog(parent) {
    auto* content = new QWidget;
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(25, 25, 25, 25);
    iconLabel_ = new QLabel(content);
    if (icon != QMessageBox::NoIcon) {
        iconLabel_->setPixmap(iconPicture(icon, devicePixelRatioF()));
    }
    textLabel_ = new QLabel(content);
    textLabel_->setStyleSheet("color: #FFFFFF;");
    row->addWidget(iconLabel_, 0, Qt::AlignVCenter);
    row->addWidget(textLabel_, 1, Qt::AlignVCenter);
    setContentWidget(content);
    mainLayout()->insertStretch(mainLayout()->indexOf(buttonBar()));

    setWindowTitle(title);
    textLabel_->setText(text);
    textLabel_->setWordWrap(text.toLocal8Bit().size() >= kWrapBytes);
    addButtons(buttons);
}

void CustomMessageBox::addButtons(QMessageBox::StandardButtons buttons) {
    buttonBar()->addStretch();
    for (unsigned flag = QMessageBox::Ok; flag <= QMessageBox::RestoreDefaults; flag <<= 1) {
        auto button = static_cast<QMessageBox::StandardButton>(flag);
        QString picture = pictureOf(button);
        if (!buttons.testFlag(button) || picture.isEmpty()) {
            continue;
        }
        auto* skinButton = new ButtonSkin(picture, this);
        skinButton->setProperty("buttonId", static_cast<int>(flag));
        connect(skinButton, &Button::clicked, this, &CustomMessageBox::onBtnClicked);
        buttonBar()->addWidget(skinButton, 0, Qt::AlignVCenter);
        buttonBar()->addSpacing(12);
    }
}

int CustomMessageBox::question(QWidget* parent, const QString& title, const QString& text,
                               QMessageBox::StandardButtons buttons) {
    CustomMessageBox box(QMessageBox::Question, title, text, buttons, parent);
    box.centerOn(parent);
    return box.exec();
}

void CustomMessageBox::onBtnClicked() {
    if (sender()) {
        done(sender()->property("buttonId").toInt());
    }
}

void CustomMessageBox::showEvent(QShowEvent* event) {
    if (isVisible()) {
        repaint();
    }
    CustomConfirmDialog::showEvent(event);
}
