#pragma once

#include "ui/list_page.h"

class PicGraphicView;

// The picture tab: the picture grid as a list page, with the fitting (keep
// proportions or stretch) beside the play order, kept in settings slot 4.
class PicControlView : public ListPage {
    Q_OBJECT

public:
    explicit PicControlView(QWidget* parent = nullptr);

    PicGraphicView* grid() const { return grid_; }
    QComboBox* fittingBox() const { return fitting_; }

    // The add dialog's file types, the page's pictures first.
    static QString pictureFilter();

protected:
    void addFiles() override;
    void clearList() override;
    void removeSelected() override;
    void playSelected() override;
    void applyPlayOrder(int index) override;
    void saveChoices(QMap<QString, QString>& map) const override;
    void loadChoices(const QMap<QString, QString>& map) override;

private:
    QComboBox* fitting_ = nullptr;
    PicGraphicView* grid_ = nullptr;
};
