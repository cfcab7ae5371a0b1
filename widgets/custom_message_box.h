#pragma once

#include <QMessageBox>

#include "widgets/custom_confirm_dialog.h"

class QLabel;

// The program's message box: an icon and a text in the content area and the
// skinned Ok, Yes, No and Cancel buttons (in that order) in the button bar.
// exec() returns the QMessageBox::StandardButton that was clicked.
class CustomMessageBox : public CustomConfirmDialog {
    Q_OBJECT

public:
    CustomMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                     QMessageBox::StandardButtons buttons, QWidget* parent = nullptr);

    // Asks, centred on `parent`; returns the clicked button, or 0 when the
    // box was closed without one.
    static int question(QWidget* parent, const QString& title, const QString& text,
                        QMessageBox::StandardButtons buttons);

    QLabel* textLabel() const { return textLabel_; }

private slots:
    void onBtnClicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addButtons(QMessageBox::StandardButtons buttons);

    QLabel* iconLabel_ = nullptr;
    QLabel* textLabel_ = nullptr;
};
