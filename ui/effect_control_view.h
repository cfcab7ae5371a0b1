#pragma once

#include "ui/tabbed_pages.h"

class CaptionView;
class PrettifyPendantView;

// The effect tab: three buttons over a page stack, for the beautify presets
// and the pendants (two sub-pages of one page) and the caption editor. Both
// pages are built at start-up, so their saved choices take effect at once.
class EffectControlView : public TabbedPages {
    Q_OBJECT

public:
    explicit EffectControlView(QWidget* parent = nullptr);

    // Builds the caption page too (not shown), so its saved caption returns.
    void loadFromDb();

    PrettifyPendantView* prettifyPage() const;
    CaptionView* captionPage() const;

protected:
    QWidget* makePage(int key) override;
    void onTabChosen(int id) override;
};
