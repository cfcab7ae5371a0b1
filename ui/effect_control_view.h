#pragma once

#include "ui/tabbed_pages.h"

class BackgroundView;
class CaptionView;
class PrettifyPendantView;

// The effect tab: four buttons over a page stack, for the beautify presets
// and the pendants (two sub-pages of one page), the caption editor and the
// background. The caption and background pages are built at start-up by
// loadFromDb, so their saved choices take effect at once.
class EffectControlView : public TabbedPages {
    Q_OBJECT

public:
    explicit EffectControlView(QWidget* parent = nullptr);

    // Builds the caption and background pages (not shown), so their saved
    // choices return.
    void loadFromDb();

    PrettifyPendantView* prettifyPage() const;
    CaptionView* captionPage() const;
    BackgroundView* backgroundPage() const;

protected:
    QWidget* makePage(int key) override;
    void onTabChosen(int id) override;
};
