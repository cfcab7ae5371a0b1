#include "widgets/custom_message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

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

QStyle::StandardPixmap styleIconOf(QMessageBox::Icon icon) {
    switch (icon) {
        case QMessageBox::Information:
            return QStyle::SP_MessageBoxInformation;
        case QMessageBox::Warning:
            return QStyle::SP_MessageBoxWarning;
        case QMessageBox::Critical:
            return QStyle::SP_MessageBoxCritical;
        default:
            return QStyle::SP_MessageBoxQuestion;
    }
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
        iconLabel_->setPixmap(style()->standardIcon(styleIconOf(icon)).pixmap(kIconSize));
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
