#include "widgets/button_skin.h"

#include "widgets/skin_style.h"

ButtonSkin::ButtonSkin(const QString& relativePath, QWidget* parent, bool squareStates)
    : Button(parent), path_(relativePath) {
    loadPictures(squareStates);
}

void ButtonSkin::setImage(const QString& relativePath, bool squareStates) {
    if (relativePath == path_) {
        return;
    }
    path_ = relativePath;
    loadPictures(squareStates);
}

void ButtonSkin::loadPictures(bool squareStates) {
    SkinStyle* skin = SkinStyle::instance();
    if (!squareStates) {
        QPixmap pressed = skin->statePixmap(path_, 4, 2);
        setPictures(skin->statePixmap(path_, 4, 0), pressed, skin->statePixmap(path_, 4, 1),
                    skin->statePixmap(path_, 4, 3), pressed);
    } else {
        QPixmap strip = skin->pixmap(path_);
        int count = strip.isNull() || strip.height() == 0 ? 0 : strip.width() / strip.height();
        QPixmap normal = count >= 1 ? skin->statePixmap(path_, count, 0) : QPixmap();
        QPixmap hover = count >= 2 ? skin->statePixmap(path_, count, 1) : normal;
        QPixmap pressed = count >= 3 ? skin->statePixmap(path_, count, 2) : normal;
        QPixmap disabled = count >= 4 ? skin->statePixmap(path_, count, 3) : normal;
        setPictures(normal, pressed, hover, disabled, pressed);
    }
    if (!normalPicture_.isNull()) {
        setFixedSize(logicalSize(normalPicture_));
    }
}

ButtonRadioSkin::ButtonRadioSkin(const QString& checkedPath, const QString& uncheckedPath,
                                 QWidget* parent)
    : ButtonSkin(checkedPath, parent), checkedPath_(checkedPath), uncheckedPath_(uncheckedPath) {}

void ButtonRadioSkin::setSelected(bool checked) {
    setImage(checked ? checkedPath_ : uncheckedPath_);
    ButtonSkin::setSelected(checked);
}

void ButtonRadioSkin::mouseReleaseEvent(QMouseEvent* event) {
    setSelected(!isSelected());
    ButtonSkin::mouseReleaseEvent(event);
}
