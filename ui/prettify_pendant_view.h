#pragma once

#include <QVariant>
#include <QWidget>
#include <memory>

class GifMixerEffect;
class PrettifyView;
class QStackedWidget;
class SkinColorEffect;

// The preset and pendant pages of the effect tab, and below them the strip
// of chosen effects. At most one preset and one pendant are chosen; each
// choice takes effect in the process-wide graph at once. The chosen ids are
// kept in settings slots 0 (preset) and 1 (pendant).
class PrettifyPendantView : public QWidget {
    Q_OBJECT

public:
    // Ids of the pendant tiles start here; presets are 0 to 8.
    static constexpr int kFirstPendantId = 256;

    explicit PrettifyPendantView(QWidget* parent = nullptr);
    // Saves the choices and takes the effects out of the graph.
    ~PrettifyPendantView() override;

    // Shows the preset page (0) or the pendant page (1).
    void setPage(int id);
    int page() const;

    PrettifyView* presetGrid() const { return presets_; }
    PrettifyView* pendantGrid() const { return pendants_; }
    PrettifyView* strip() const { return strip_; }
    SkinColorEffect* beautifyEffect() const { return beautify_.get(); }
    GifMixerEffect* pendantEffect() const { return pendant_.get(); }
    int currentPreset() const { return currentPreset_; }

public slots:
    void onButtonClicked();
    void onItemClicked(QVariant value);
    void onRemoveItem(QVariant value);
    void loadFromDb();

private slots:
    // Decodes the chosen pendant again for the pictures' new size.
    void fitPendantToMode();

private:
    void buildGrids();
    QWidget* buildStripArea();
    void choosePendant(int id);
    void choosePreset(int id);
    bool moveIntoStrip(PrettifyView* grid, int& current, int id);
    void dropPendant();
    void dropPreset();
    void saveChoices();

    QStackedWidget* pages_ = nullptr;
    PrettifyView* pendants_ = nullptr;
    PrettifyView* presets_ = nullptr;
    PrettifyView* strip_ = nullptr;
    std::unique_ptr<GifMixerEffect> pendant_;
    std::unique_ptr<SkinColorEffect> beautify_;
    int currentPreset_ = -1;
    bool loading_ = false;  // loadFromDb is choosing the stored tiles
    int currentPendant_ = -1;
};
