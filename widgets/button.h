#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

// A clickable picture with its own small state machine: normal, pressed,
// released, hover and disabled, each with its picture, and a selected look on
// top. A state without a picture is painted as a plain coloured rectangle.
class Button : public QWidget {
    Q_OBJECT

public:
    enum State { Normal = 0, Pressed = 1, Released = 2, Hover = 3, Disabled = 5 };

    explicit Button(QWidget* parent = nullptr);

    // A programmatic click: like a release inside, unless disabled or false.
    void click(bool really = true);
    void setEnabled(bool enabled);
    virtual void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    // Resizes the button to its current state's picture, now and when painted.
    void setAutoResize(bool autoResize);
    int state() const { return state_; }

    void setPictures(const QPixmap& normal, const QPixmap& pressed, const QPixmap& hover,
                     const QPixmap& disabled, const QPixmap& selected);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    QPixmap normalPicture_, pressedPicture_, hoverPicture_, disabledPicture_, selectedPicture_;

private:
    const QPixmap& pictureOfState() const;
    void setState(int state);

    bool autoResize_ = false;
    int state_ = Normal;
    bool selected_ = false;
    QColor pressedFill_{193, 233, 233};
    QColor selectedFill_{125, 185, 216};
};
