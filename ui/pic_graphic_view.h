#pragma once

#include <QMap>
#include <QPixmap>
#include <QStringList>
#include <memory>

#include "app/push_file_queue.h"
#include "widgets/custom_graphic_view.h"

class CustomGraphicGridLayout;
class PicFileSource;
class PicItem;
class QGraphicsLayoutItem;

// The picture list as a grid of thumbnail tiles. It owns the slideshow's
// PicFileSource, which enters the graph when the user plays and leaves it
// when the grid empties. Pictures come in one at a time, 20 ms apart, so a
// long list never blocks the page. The list is kept under "Pics", saved as
// pictures are added and removed. A picture
// that cannot be read gets a tile that says so and stays out of the
// slideshow; adding it again looks at it once more.
class PicGraphicView : public CustomGraphicView, public PushFileQueue {
    Q_OBJECT

public:
    explicit PicGraphicView(QWidget* parent = nullptr);
    // Takes the slideshow out of the graph; the saved list stays as it is.
    ~PicGraphicView() override;

    // Lists the pictures at once and brings their tiles in one at a time.
    void push(const QStringList& paths);
    // Nothing for a missing file or one already listed (a listed picture
    // that could not be read is looked at again).
    void addPic(const QString& path);
    void removePic(const QString& path);
    void clearPics();
    QStringList selectedPaths() const;
    // Starts the slideshow, at the selected picture when there is one.
    void playSelected();
    void setTileSize(int width, int height);
    void setFrames(const QPixmap& selected, const QPixmap& normal);

    PicFileSource* source() const { return source_.get(); }
    PicItem* tileOf(const QString& path) const;
    int tileCount() const { return static_cast<int>(cells_.size()); }
    void itemDoubleClicked(QVariant value) override;

public slots:
    void loadFromDb();
    void saveToDb();

protected:
    void handleFile(const QString& path) override { addPic(path); }

private:
    PicItem* addTile(const QString& path, const QPixmap& thumbnail);
    void dropTile(const QString& path);
    // Empties the grid, the waiting pictures and the slideshow, without saving.
    void dropAll();

    QMap<QString, QGraphicsLayoutItem*> cells_;
    QMap<QString, PicItem*> tiles_;
    // Every picture the user listed and did not remove, those still on
    // their way in included, so that saving never drops one.
    QStringList listed_;
    // Saved pictures that were not there at start-up (an unplugged drive):
    // kept in the saved list so they come back when the files do, until the
    // list is cleared.
    QStringList unavailable_;
    QPixmap selectedFrame_;
    QPixmap normalFrame_;
    QSize tile_{80, 80};
    CustomGraphicGridLayout* grid_ = nullptr;
    std::unique_ptr<PicFileSource> source_;
};
