#pragma once

#include "ui/tabbed_pages.h"

// The right side of the main window: six tab buttons over a stack of pages
// (the five of the panels and the live page's).
// At start-up the camera page is shown and, through loadFromDb(), the effect
// page is made too, so saved effects return even if that tab is never opened.
class ControlView : public TabbedPages {
    Q_OBJECT

public:
    enum Tab { Camera = 0, Effects = 1, Videos = 2, Pictures = 3, Recordings = 4, Live = 5 };

    explicit ControlView(QWidget* parent = nullptr);

    void loadFromDb();
    QWidget* page(int tab) const { return existingPage(tab); }

protected:
    QWidget* makePage(int tab) override;
};
