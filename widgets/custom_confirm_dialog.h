#pragma once

#include <QPointer>

#include "widgets/custom_dialog.h"
#include "widgets/nine_slice.h"

// A modal tool dialog with a content area and a button bar below it. The
// border picture is cut in two: the upper piece frames the title and the
// content, the lower one the button bar, so the bar keeps its height however
// tall the content grows.
class CustomConfirmDialog : public CustomDialog {
    Q_OBJECT

public:
    explicit CustomConfirmDialog(QWidget* parent = nullptr);

    // Replaces (and deletes) the content widget; the new one is centred.
    void setContentWidget(QWidget* widget);
    QWidget* contentWidget() const { return content_; }
    BtnHLayout* buttonBar() const { return buttonBar_; }

    void drawBackground(QPainter& painter) override;

public slots:
    // Emits sig_ButtonClick with the sending button's "id" property.
    virtual void onButtonClick();

signals:
    void sig_ButtonClick(int btnId);

private:
    QWidget* contentArea_ = nullptr;
    QPointer<QWidget> content_;
    BtnHLayout* buttonBar_ = nullptr;
    NineSlicePicture upperBorder_;
    NineSlicePicture lowerBorder_;
};
