#pragma once

#include <QPixmap>
#include <QString>

#include "widgets/pic_item.h"

// A tile of the effect page's grids: an icon with its name under it, framed
// by the normal or the selected frame. A click or double click is reported
// to the listener with the tile's id.
class PrettifyItem : public PicItem {
public:
    PrettifyItem(int id, const QString& name, const QPixmap& icon, const QString& path, int width,
                 int height);

    int id() const { return id_; }
    const QString& name() const { return name_; }
    const QPixmap& icon() const { return icon_; }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void paintFace(QPainter* painter) const;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;

    const QPixmap& normalFrame() const { return normalFrame_; }

private:
    friend class PrettifyView;
    void setFrames(const QPixmap& selected, const QPixmap& normal);

    int id_;
    QString name_;
    QPixmap icon_;
    QPixmap selectedFrame_;
    QPixmap normalFrame_;
    QRect iconRect_{3, 3, 55, 55};
    QRect textRect_;
};

// A tile of the strip of chosen effects: always the normal frame, and a close
// button over its top-right corner that asks for the tile's removal.
class PrettifyOptItem : public PrettifyItem {
public:
    PrettifyOptItem(int id, const QString& name, const QPixmap& icon, const QString& path,
                    int width, int height);

    QRect closeRect() const { return closeRect_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QRect closeRect_;
    bool hovered_ = false;
    bool pressed_ = false;
};
