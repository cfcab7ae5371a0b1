#pragma once

#include "ui/list_page.h"

class VideoGraphicView;

// The video tab: the video list as a list page, its play order (random or
// list loop) kept in settings slot 5.
class VideoControlView : public ListPage {
    Q_OBJECT

public:
    explicit VideoControlView(QWidget* parent = nullptr);

    VideoGraphicView* list() const { return list_; }

protected:
    void addFiles() override;
    void clearList() override;
    void removeSelected() override;
    void playSelected() override;
    void applyPlayOrder(int index) override;

private:
    VideoGraphicView* list_ = nullptr;
};
