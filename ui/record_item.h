#pragma once

#include <QGraphicsItem>
#include <QPixmap>
#include <QString>

class CustomGraphicItemListener;

// One recording in the record list: thumbnail in its frame, file name and
// duration; a recording not yet saved (".flv_tmp") says so and shows its
// name without that suffix. Highlighted under the pointer and when selected.
class RecordItem : public QGraphicsItem {
public:
    RecordItem(const QString& path, const QPixmap& frame, CustomGraphicItemListener* listener);

    const QString& path() const { return path_; }
    const QString& name() const { return name_; }
    const QString& durationText() const { return duration_; }
    int durationSeconds() const { return seconds_; }
    bool isUnsaved() const;
    void setThumbnail(const QPixmap& picture);
    void setDuration(int seconds);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QString path_;
    QString name_;
    QString duration_;
    int seconds_ = 0;
    QPixmap thumbnail_;
    QPixmap frame_;
    QPixmap separator_;
    bool hovered_ = false;
    CustomGraphicItemListener* listener_;
};
