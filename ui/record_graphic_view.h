#pragma once

#include <QMap>
#include <QPixmap>
#include <QStringList>

#include "app/video_info.h"
#include "widgets/custom_graphic_view.h"

class CustomGraphicListLayout;
class QGraphicsLayoutItem;
class RecordItem;

// The list of recordings: kept ones (".flv") and ones not yet saved
// (".flv_tmp"), in the order added, each with thumbnail and duration from
// the video information cache. A double click asks for a preview.
class RecordGraphicView : public CustomGraphicView {
    Q_OBJECT

public:
    explicit RecordGraphicView(QWidget* parent = nullptr);
    ~RecordGraphicView() override;

    // Nothing for a missing file or one already listed.
    void addPath(const QString& path);
    void removeItem(const QString& path);
    QString firstSelectedPath() const;
    QStringList selectedPaths() const;
    QStringList paths() const { return order_; }
    RecordItem* itemOf(const QString& path) const;
    void itemDoubleClicked(QVariant value) override;

signals:
    void sig_previewRequested(QString path, int seconds);

public slots:
    void onVideoInfoGet(VideoInfoQt info);
    void loadFromDb() {}

private:
    struct Row {
        RecordItem* item;
        QGraphicsLayoutItem* cell;
    };
    QMap<QString, Row> rows_;
    QStringList order_;
    QPixmap frame_;
    CustomGraphicListLayout* list_ = nullptr;
};
