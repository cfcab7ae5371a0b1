#pragma once

#include <QColor>
#include <QWidget>
#include <functional>
#include <memory>

#include "effects/caption_record.h"

class Button;
class ButtonRadioSkin;
class ColorButton;
class PlaySliderBar;
class QComboBox;
class QHBoxLayout;
class QTextEdit;
class TextMixerEffect;

// The caption editor of the effect tab: text, font, size, scrolling, colours
// and background transparency, switched on or off. While it is on every
// change rebuilds the caption in the process-wide graph; the whole setting
// is kept in settings slot 2.
class CaptionView : public QWidget {
    Q_OBJECT

public:
    // Asks the user for a colour; an invalid colour means cancelled.
    using ColourChooser = std::function<QColor(const QColor& initial, QWidget* parent)>;

    explicit CaptionView(QWidget* parent = nullptr);
    // Saves the setting and takes the caption out of the graph.
    ~CaptionView() override;

    void setColourChooser(ColourChooser chooser) { chooseColour_ = std::move(chooser); }
    TextMixerEffect* effect() const { return effect_.get(); }
    const CaptionRecord& record() const { return record_; }

    QTextEdit* textBox() const { return text_; }
    QComboBox* fontBox() const { return font_; }
    QComboBox* sizeBox() const { return size_; }
    QComboBox* scrollBox() const { return scroll_; }
    ButtonRadioSkin* onRadio() const { return on_; }
    ButtonRadioSkin* offRadio() const { return off_; }
    ColorButton* textColourButton() const { return textColour_; }
    ColorButton* backgroundColourButton() const { return backgroundColour_; }
    PlaySliderBar* transparencySlider() const { return transparency_; }
    Button* applyButton() const { return apply_; }

public slots:
    void onButtonClicked();
    void loadFromDb();
    void onBtnOpenCheck();
    void onBtnCloseCheck();
    void onInfoChanged();
    void onComboInfoChanged(int index);
    void onBkAlphaChanging(int value);

private:
    QHBoxLayout* labelledRow(const QString& label);
    void addComboRow(const QString& label, QComboBox* box);
    void buildSwitchRow();
    void buildColourRows();
    void applySwitch();
    void rebuild();
    void saveChoice();
    CaptionControls controls() const;
    void setControls(const CaptionRecord& stored);
    void saveToDb();

    QTextEdit* text_ = nullptr;
    QComboBox* font_ = nullptr;
    QComboBox* size_ = nullptr;
    QComboBox* scroll_ = nullptr;
    ButtonRadioSkin* on_ = nullptr;
    ButtonRadioSkin* off_ = nullptr;
    ColorButton* textColour_ = nullptr;
    ColorButton* backgroundColour_ = nullptr;
    PlaySliderBar* transparency_ = nullptr;
    Button* apply_ = nullptr;
    QColor textColourValue_{"#00ff00"};
    QColor backgroundColourValue_{"#00ffff"};
    std::unique_ptr<TextMixerEffect> effect_;
    CaptionRecord record_;
    ColourChooser chooseColour_;
    bool loading_ = false;  // controls are being set from the stored setting
};
