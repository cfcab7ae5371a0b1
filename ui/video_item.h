#pragma once

#include <QGraphicsItem>
#include <QPixmap>
#include <QString>

class CustomGraphicItemListener;

// One row of the video list (313 x 72): thumbnail, file name, play time and,
// for the file that plays, "播放中...". Highlighted when selected. A file that
// cannot be played carries the problem sign on its thumbnail, says why in its
// info line and tool tip.
class VideoItem : public QGraphicsItem {
public:
    VideoItem(const QString& path, const QPixmap& thumbnail, CustomGraphicItemListener* listener);

    const QString& path() const { return path_; }
    const QString& name() const { return name_; }
    const QString& playTimeText() const { return playTime_; }
    bool isPlaying() const { return playing_; }
    void setPlayTimeText(const QString& text);
    void setThumbnail(const QPixmap& picture);
    void setPlaying(bool playing);
    // Why the file cannot be played; empty: it can.
    void setProblem(const QString& why);
    const QString& problem() const { return problem_; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    static constexpr int kWidth = 313;
    static constexpr int kHeight = 72;

protected:
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QString path_;
    QString name_;
    QString playTime_;
    QPixmap thumbnail_;
    QPixmap separator_;
    bool playing_ = false;
    QString problem_;
    CustomGraphicItemListener* listener_;
};

// The part of a path after its last "/", or the whole path without one.
QString displayNameOf(const QString& path);
