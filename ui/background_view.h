#pragma once

#include <QRgb>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class BackgroundEffect;
class Button;
class QComboBox;
class QLabel;
struct SegmentationModel;

// The background page of the effect tab: keep the person and blur what is
// behind them (three strengths) or replace it with a picture of the user's
// choosing or one of a few plain colours.
//
// The effect, and the network behind it, is made the first time a mode other
// than 关闭 is chosen, and stays in the process-wide graph from then on (off,
// it passes frames unchanged). Every choice is saved at once under keys of
// its own in the settings store and comes back when the page is built. When
// the network or the chosen picture cannot be read the page says so under
// the choices; the saved choice stays as it was made.
class BackgroundView : public QWidget {
    Q_OBJECT

public:
    // Asks the user for a picture file; empty means cancelled.
    using PictureChooser = std::function<QString(QWidget* parent)>;

    // Plain backgrounds of ours; indices into the replacement box after its
    // first entry, the user's picture.
    struct PlainColour {
        const char* name;
        QRgb rgb;
    };
    static const std::vector<PlainColour>& plainColours();

    // The network beside the program: <program folder>/models/.
    static SegmentationModel installedModel();

    explicit BackgroundView(QWidget* parent = nullptr);
    // As above, with the network given (tests, other installations).
    BackgroundView(const SegmentationModel& model, QWidget* parent);
    // Takes the effect out of the graph.
    ~BackgroundView() override;

    void setPictureChooser(PictureChooser chooser) { choosePicture_ = std::move(chooser); }

    // Null until a mode other than 关闭 was first chosen.
    BackgroundEffect* effect() const { return effect_.get(); }
    QComboBox* modeBox() const { return mode_; }
    QComboBox* strengthBox() const { return strength_; }
    QComboBox* replacementBox() const { return replacement_; }
    Button* pictureButton() const { return pictureButton_; }
    QLabel* pictureLabel() const { return pictureName_; }
    // Empty while all is well; otherwise what went wrong, as the page shows it.
    QString message() const;

private:
    void build();
    void loadSaved();
    // A choice was made: show it, hand it to the effect and save it.
    void apply();
    // Shows the choice in the boxes and hands it to the effect.
    void reflectChoice();
    void save() const;
    // Sets the effect to the chosen mode; what went wrong, empty when nothing.
    QString configureEffect(int mode);
    bool ensureEffect();
    QString applyReplacement();
    void onChoosePicture();
    void showPictureName();
    void showProblem(const QString& text);

    std::unique_ptr<SegmentationModel> model_;
    std::unique_ptr<BackgroundEffect> effect_;
    PictureChooser choosePicture_;
    QString picturePath_;
    QString modelProblem_;
    // The file whose picture the effect holds (read once per choice of
    // file, as it may be large) and what went wrong reading it.
    QString pictureRead_;
    QString pictureProblem_;
    bool loading_ = true;  // until the saved choices are in the boxes

    QComboBox* mode_ = nullptr;
    QComboBox* strength_ = nullptr;
    QComboBox* replacement_ = nullptr;
    Button* pictureButton_ = nullptr;
    QLabel* pictureName_ = nullptr;
    QLabel* problem_ = nullptr;
};
