#pragma once

#include <QPixmap>
#include <QWidget>

class QComboBox;
class VideoGraphicView;

// The video tab: add, clear, delete and play buttons around the video list,
// and the play order (random or list loop), kept in settings slot 5.
class VideoControlView : public QWidget {
    Q_OBJECT

public:
    explicit VideoControlView(QWidget* parent = nullptr);
    ~VideoControlView() override;

    VideoGraphicView* list() const { return list_; }
    QComboBox* playOrderBox() const { return playOrder_; }

public slots:
    void onButtonClick();
    void onPlayChanged(int index);
    void saveToDb();
    void loadFromDb();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap background_;
    QComboBox* playOrder_ = nullptr;
    VideoGraphicView* list_ = nullptr;
};
