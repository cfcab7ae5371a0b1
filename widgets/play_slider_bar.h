#pragma once

#include <QPixmap>
#include <QRect>
#include <QWidget>

// The skinned horizontal slider of the player bar and the settings panels: a
// background track, a progress bar up to the value and a handle, all scaled
// by one factor. Dragging the handle announces valueChanging; every release
// (also a plain click on or beside the track) announces valueChanged.
class PlaySliderBar : public QWidget {
    Q_OBJECT

public:
    PlaySliderBar(const QString& background, const QString& progress, const QString& handle,
                  double scale, QWidget* parent = nullptr);
    // The player bar's pictures.
    explicit PlaySliderBar(double scale, QWidget* parent = nullptr);

    // Ignored outside minimum..maximum; announces nothing.
    void setValue(int value);
    int value() const { return value_; }
    void setMaximum(int maximum);
    int maximum() const { return maximum_; }
    void setMinimum(int minimum);
    int minimum() const { return minimum_; }
    // True from a press on the handle until the release.
    bool isDragging() const { return dragging_; }

    QSize sizeHint() const override;
    // Where the last paint put the track and the handle (tests).
    QRect trackRect() const { return track_; }
    QRect handleRect() const { return handle_; }

signals:
    void valueChanging(int value);
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int valueAt(int x) const;

    QPixmap background_, progress_, handlePicture_;
    double scale_;
    bool dragging_ = false;
    int maximum_ = 0;
    int minimum_ = 0;
    int value_ = 0;
    QRect handle_;
    QRect track_;
    QPoint pressedAt_;
};
