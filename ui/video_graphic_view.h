#pragma once

#include <QMap>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "app/video_info.h"
#include "widgets/custom_graphic_view.h"

class CustomGraphicListLayout;
class QGraphicsLayoutItem;
class VideoFileSource;
class VideoItem;

// The video list: one row per file with its thumbnail and play time, in the
// order added. It owns the play list's VideoFileSource, which enters the
// graph when the user plays and leaves it when the list empties. The list is
// kept under "Videos" between runs, saved as files are added and removed. A
// file found unplayable stays listed, marked with why, and out of the
// player's list; adding it again looks at it once more.
class VideoGraphicView : public CustomGraphicView {
    Q_OBJECT

public:
    explicit VideoGraphicView(QWidget* parent = nullptr);
    // Takes the source out of the graph; the saved list stays as it is.
    ~VideoGraphicView() override;

    // Nothing for a missing file or one already listed (a listed file that
    // could not be played is looked at again).
    void addVideo(const QString& path);
    void removeVideo(const QString& path);
    void clearVideos();
    QStringList selectedPaths() const;
    // Plays the first selected file, or what the player holds when none is.
    void playSelected();

    VideoFileSource* source() const { return source_.get(); }
    VideoItem* itemOf(const QString& path) const;
    QStringList paths() const { return items_.keys(); }
    void itemDoubleClicked(QVariant value) override;

public slots:
    void onVideoInfoGet(VideoInfoQt info);
    void onVideoInfoFailed(QString path, QString reason);
    void loadFromDb();
    void saveToDb();
    void onVideoFileAdd(QString path);
    void onVideoFileRemove(QString path);

private:
    void followPlayingFile();
    // Empties the list and the player, without saving.
    void dropAll();

    struct Row {
        VideoItem* item;
        QGraphicsLayoutItem* cell;
    };
    QMap<QString, Row> items_;
    QString playing_;
    // Listed files that were not there at start-up (an unplugged drive):
    // kept in the saved list so they come back when the files do.
    QStringList unavailable_;
    bool restoring_ = false;  // the saved list is being put back: nothing to save
    std::unique_ptr<VideoFileSource> source_;
    CustomGraphicListLayout* list_ = nullptr;
    QTimer playingTimer_;
};
