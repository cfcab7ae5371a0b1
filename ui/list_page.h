#pragma once

#include <QMap>
#include <QPixmap>
#include <QWidget>

class QComboBox;

// What the video and the picture pages share: add, clear and delete buttons
// above the page's list, under it a bar (313 x 47) with the play order
// ("随机播放" data 0, "列表循环" data 1), the page's own choices and the play
// button, the page's background, and its choices kept in a settings slot
// (the play order as "playseq"), saved the moment one changes.
class ListPage : public QWidget {
    Q_OBJECT

public:
    QComboBox* playOrderBox() const { return playOrder_; }

public slots:
    // The four buttons: add (id 0), clear (1), delete the selection (2),
    // play the selection (3).
    void onButtonClick();
    void saveToDb();
    void loadFromDb();

protected:
    ListPage(int settingsSlot, QWidget* parent);

    // Lays the page out around `list`, with `choices` after the play order;
    // the choices are loaded from the settings once the page is built.
    void buildAround(QWidget* list, const QList<QWidget*>& choices);

    virtual void addFiles() = 0;
    virtual void clearList() = 0;
    virtual void removeSelected() = 0;
    virtual void playSelected() = 0;
    virtual void applyPlayOrder(int index) = 0;
    // The page's choices besides the play order, by settings key.
    virtual void saveChoices(QMap<QString, QString>&) const {}
    virtual void loadChoices(const QMap<QString, QString>&) {}
    // A choice was changed by the user: it is saved at once, so that a
    // crash or a kill keeps it. Choices set while loading are not saved back.
    void choiceChanged();

    void paintEvent(QPaintEvent* event) override;

private:
    int settingsSlot_;
    QPixmap background_;
    QComboBox* playOrder_ = nullptr;
    bool loading_ = false;  // the stored choices are being put back
};
