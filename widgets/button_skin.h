#pragma once

#include <QString>

#include "widgets/button.h"

// A button whose state pictures come from one skin strip: four slices
// (normal, hover, pressed and selected, disabled), or with square states as
// many square slices as the strip holds, missing states falling back to the
// normal picture. Its size is fixed to the normal picture's.
class ButtonSkin : public Button {
    Q_OBJECT

public:
    ButtonSkin(const QString& relativePath, QWidget* parent = nullptr, bool squareStates = false);

    // Switches to another strip (nothing when it is the same one).
    void setImage(const QString& relativePath, bool squareStates = false);
    const QString& imagePath() const { return path_; }

private:
    void loadPictures(bool squareStates);

    QString path_;
};

// A two-picture toggle: a release flips it (and its picture) before clicked()
// is emitted, so a handler sees the new state.
class ButtonRadioSkin : public ButtonSkin {
    Q_OBJECT

public:
    ButtonRadioSkin(const QString& checkedPath, const QString& uncheckedPath,
                    QWidget* parent = nullptr);

    void setSelected(bool checked) override;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString checkedPath_;
    QString uncheckedPath_;
};
