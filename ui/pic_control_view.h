#pragma once

#include <QPixmap>
#include <QWidget>

class PicGraphicView;
class QComboBox;

// The picture tab: add, clear, delete and play buttons around the picture
// grid, the play order and the fitting (keep proportions or stretch), kept
// in settings slot 4.
class PicControlView : public QWidget {
    Q_OBJECT

public:
    explicit PicControlView(QWidget* parent = nullptr);
    ~PicControlView() override;

    PicGraphicView* grid() const { return grid_; }
    QComboBox* playOrderBox() const { return playOrder_; }
    QComboBox* fittingBox() const { return fitting_; }
    // The add dialog's file types, the page's pictures first.
    static QString pictureFilter();

public slots:
    void onButtonClick();
    void onPlayChanged(int index);
    void onRatioChanged(int index);
    void saveToDb();
    void loadFromDb();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap background_;
    QComboBox* playOrder_ = nullptr;
    QComboBox* fitting_ = nullptr;
    PicGraphicView* grid_ = nullptr;
};
