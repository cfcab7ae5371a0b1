#pragma once

#include <QMap>
#include <QWidget>

class ButtonSkin;
class CaptionView;
class PrettifyPendantView;
class QStackedWidget;

// The effect tab: three buttons over a page stack, for the beautify presets
// and the pendants (two sub-pages of one page) and the caption editor. Both
// pages are built at start-up, so their saved choices take effect at once.
class EffectControlView : public QWidget {
    Q_OBJECT

public:
    explicit EffectControlView(QWidget* parent = nullptr);

    // Builds the caption page too (not shown), so its saved caption returns.
    void loadFromDb();

    ButtonSkin* tabButton(int id) const { return buttons_.value(id, nullptr); }
    PrettifyPendantView* prettifyPage() const;
    CaptionView* captionPage() const;
    QWidget* currentPage() const;

public slots:
    void onButtonClicked();

private:
    QWidget* makePage(int key);

    QMap<int, QWidget*> pages_;
    QMap<int, ButtonSkin*> buttons_;
    QStackedWidget* stack_ = nullptr;
};
