#pragma once

#include <QHBoxLayout>

// The row of a dialog's title bar or button bar: a horizontal box without
// margins or spacing that is never shorter than its minimum height, so a bar
// keeps its height however small its buttons are, and never taller than it
// needs, so spare room goes to the dialog's content.
class BtnHLayout : public QHBoxLayout {
public:
    explicit BtnHLayout(QWidget* parent = nullptr);

    void setMinimumHeight(int height);
    int minimumHeight() const { return minimumHeight_; }

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;

private:
    int minimumHeight_ = 0;
};
