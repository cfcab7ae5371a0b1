#pragma once

#include <QGraphicsItem>
#include <QPixmap>
#include <QString>

class CustomGraphicItemListener;

// A picture tile of the item views: the picture cut to fill the tile less a
// 4-pixel border, over the tile colour, under the normal or selected frame.
// It is selectable and tells its listener about double clicks. A tile whose
// picture cannot be read shows the problem sign and its file's name instead,
// and its tool tip says why.
class PicItem : public QGraphicsItem {
public:
    PicItem(int width, int height, const QPixmap& picture);

    void setPath(const QString& path) { path_ = path; }
    const QString& path() const { return path_; }
    void setFramePictures(const QPixmap& selected, const QPixmap& normal);
    void setListener(CustomGraphicItemListener* listener) { listener_ = listener; }
    const QPixmap& picture() const { return picture_; }
    // Why the picture cannot be shown; empty: it can.
    void setProblem(const QString& why);
    const QString& problem() const { return problem_; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;

    CustomGraphicItemListener* listener_ = nullptr;
    int width_;
    int height_;

private:
    void paintProblem(QPainter* painter, const QRect& tile);

    QPixmap picture_;
    QPixmap selectedFrame_;
    QPixmap normalFrame_;
    QString path_;
    QString problem_;
};
