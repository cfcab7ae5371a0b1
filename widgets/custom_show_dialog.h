#pragma once

#include "widgets/custom_dialog.h"
#include "widgets/nine_slice.h"

// A dialog framed by one border picture ("dialog_border.png") stretched over
// its whole rectangle, with a 40-pixel title area; the main window is one.
class CustomShowDialog : public CustomDialog {
    Q_OBJECT

public:
    explicit CustomShowDialog(QWidget* parent = nullptr);

    void drawBackground(QPainter& painter) override;

private:
    NineSlicePicture border_;
};
