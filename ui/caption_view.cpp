#include "ui/caption_view.h"

#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "app/box_site_listener.h"
#include "app/settings_db.h"
#include "base/debug_log.h"
#include "effects/text_mixer_effect.h"
#include "engine/play_graph.h"
#include "ui/caption_fonts.h"
#include "ui/color_button.h"
#include "ui/ui_kit.h"
#include "widgets/button_skin.h"
#include "widgets/play_slider_bar.h"

namespace {
// The caption box's default, as stored: the text before any translation.
const QString kUntypedCaption = QStringLiteral("这里输入字幕");

constexpr int kCaptionSlot = 2;

// The scroll box's position for a stored direction, the inverse of the
// record's mapping: 1 still, 0 to the right, 2 to the left.
int scrollIndexOf(int32_t direct) { return direct == 1 ? 0 : direct == 0 ? 1 : 2; }
}  // namespace

CaptionView::CaptionView(QWidget* parent)
    : QWidget(parent), chooseColour_([](const QColor& initial, QWidget* owner) {
          return QColorDialog::getColor(initial, owner);
      }) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);
    buildSwitchRow();
    text_ = new QTextEdit(this);
    text_->setFixedSize(280, 60);
    text_->setPlainText(tr("这里输入字幕"));
    column->addWidget(text_);
    connect(text_, &QTextEdit::textChanged, this, &CaptionView::onInfoChanged);

    font_ = new QComboBox(this);
    font_->addItems(installedCaptionFontFamilies());
    addComboRow(tr("字体类型："), font_);
    size_ = new QComboBox(this);
    for (int point = 12; point <= 40; ++point)
        size_->addItem(QString::number(point));
    size_->setCurrentIndex(8);
    addComboRow(tr("字体大小："), size_);
    scroll_ = new QComboBox(this);
    scroll_->addItems({tr("静止"), tr("向右滚动"), tr("向左滚动")});
    addComboRow(tr("滚动方式："), scroll_);
    buildColourRows();

    column->addStretch();
    apply_ = new ButtonSkin("effect/btn_open_captions.png", this);
    apply_->setProperty("id", 2);
    connect(apply_, &Button::clicked, this, &CaptionView::onButtonClicked);
    column->addWidget(apply_, 0, Qt::AlignHCenter);
    QTimer::singleShot(0, this, &CaptionView::loadFromDb);
    // The caption is laid out for one picture size: another size gets it
    // laid out again.
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_outputModeChanged, this, [this] {
        if (effect_ && on_->isSelected()) {
            rebuild();
        }
    });
}

CaptionView::~CaptionView() {
    saveToDb();
    if (effect_) {
        PlayGraph::Instance()->RemoveEffect(effect_.get());
    }
}

QHBoxLayout* CaptionView::labelledRow(const QString& label) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(whiteLabel(label, this));
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
    return row;
}

void CaptionView::addComboRow(const QString& label, QComboBox* box) {
    box->setFixedWidth(180);
    labelledRow(label)->addWidget(box, 1, Qt::AlignLeft);
    connect(box, &QComboBox::currentIndexChanged, this, &CaptionView::onComboInfoChanged);
}

void CaptionView::buildSwitchRow() {
    auto* choices = new QWidget(this);
    auto* row = new QHBoxLayout(choices);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    on_ = new ButtonRadioSkin("radio_checked.png", "radio_normal.png", choices);
    off_ = new ButtonRadioSkin("radio_checked.png", "radio_normal.png", choices);
    on_->setSelected(false);
    off_->setSelected(true);
    row->addWidget(on_);
    row->addWidget(whiteLabel(tr("开启"), choices));
    row->addSpacing(20);
    row->addWidget(off_);
    row->addWidget(whiteLabel(tr("关闭"), choices));
    QHBoxLayout* labelled = labelledRow(tr("字幕显示："));
    labelled->addWidget(choices);
    labelled->addStretch();
    connect(on_, &Button::clicked, this, &CaptionView::onBtnOpenCheck);
    connect(off_, &Button::clicked, this, &CaptionView::onBtnCloseCheck);
}

void CaptionView::buildColourRows() {
    textColour_ = new ColorButton(this);
    textColour_->setProperty("id", 0);
    textColour_->setColor(textColourValue_);
    QHBoxLayout* textRow = labelledRow(tr("字体颜色："));
    textRow->addWidget(textColour_);
    textRow->addStretch();
    backgroundColour_ = new ColorButton(this);
    backgroundColour_->setProperty("id", 1);
    backgroundColour_->setColor(backgroundColourValue_);
    QHBoxLayout* backgroundRow = labelledRow(tr("背景颜色："));
    backgroundRow->addWidget(backgroundColour_);
    backgroundRow->addStretch();
    transparency_ =
        new PlaySliderBar("video_play/bg_video_bar.png", "video_play/img_video_bar_progress.png",
                          "video_play/img_video_con.png", 1.0, this);
    transparency_->setFixedWidth(80);
    transparency_->setMinimum(0);
    transparency_->setMaximum(255);
    transparency_->setValue(0);
    QHBoxLayout* transparencyRow = labelledRow(tr("背景透明："));
    transparencyRow->addWidget(transparency_);
    transparencyRow->addStretch();
    for (ColorButton* button : {textColour_, backgroundColour_}) {
        connect(button, &Button::clicked, this, &CaptionView::onButtonClicked);
    }
    connect(transparency_, &PlaySliderBar::valueChanging, this, &CaptionView::onBkAlphaChanging);
    connect(transparency_, &PlaySliderBar::valueChanged, this, &CaptionView::onBkAlphaChanging);
    connect(transparency_, &PlaySliderBar::valueChanged, this, &CaptionView::saveChoice);
}

CaptionControls CaptionView::controls() const {
    CaptionControls now;
    now.textColour = textColourValue_;
    now.backgroundColour = backgroundColourValue_;
    now.fontFamily = font_->currentText();
    now.text = text_->toPlainText();
    now.sizeText = size_->currentText();
    now.transparency = transparency_->value();
    now.scrollMode = scroll_->currentIndex();
    return now;
}

void CaptionView::rebuild() {
    PlayGraph* graph = PlayGraph::Instance();
    if (effect_) {
        graph->RemoveEffect(effect_.get());
        effect_.reset();
    }
    record_ = buildCaptionRecord(controls());
    if (record_.text.isEmpty()) {
        return;
    }
    OutputMode mode = graph->Mode();
    effect_ = std::make_unique<TextMixerEffect>(mode.width, mode.height);
    effect_->textEffect()->setTextScroll(&record_.scroll);
    effect_->textEffect()->setTextParam(record_.param());
    graph->AddEffect(effect_.get());
}

void CaptionView::applySwitch() {
    if (on_->isSelected()) {
        rebuild();
    } else if (effect_) {
        PlayGraph::Instance()->RemoveEffect(effect_.get());
    }
    saveChoice();
}

// Every change is saved as it is made, so that a crash or a logout keeps it.
void CaptionView::saveChoice() {
    if (!loading_) {
        saveToDb();
    }
}

void CaptionView::onBtnOpenCheck() {
    on_->setSelected(true);
    off_->setSelected(false);
    applySwitch();
}

void CaptionView::onBtnCloseCheck() {
    off_->setSelected(true);
    on_->setSelected(false);
    applySwitch();
}

void CaptionView::onInfoChanged() {
    if (!loading_ && on_->isSelected()) {
        rebuild();
    }
    saveChoice();
}

void CaptionView::onComboInfoChanged(int) { onInfoChanged(); }

void CaptionView::onButtonClicked() {
    int id = sender() ? sender()->property("id").toInt() : -1;
    if (id == 2) {
        rebuild();
        saveChoice();
        return;
    }
    if (id != 0 && id != 1) {
        return;
    }
    QColor& value = id == 0 ? textColourValue_ : backgroundColourValue_;
    QColor chosen = chooseColour_(value, this);
    if (chosen.isValid()) {
        value = chosen;
        (id == 0 ? textColour_ : backgroundColour_)->setColor(chosen);
        onInfoChanged();
    }
}

void CaptionView::onBkAlphaChanging(int) {
    if (effect_) {
        record_ = buildCaptionRecord(controls());
        effect_->textEffect()->setTextScroll(&record_.scroll);
    }
}

void CaptionView::setControls(const CaptionRecord& stored) {
    textColourValue_ = QColor::fromRgba(stored.textParam.clrText);
    QColor background = QColor::fromRgba(stored.scroll.clrBk);
    transparency_->setValue(stored.scroll.useBk ? 255 - background.alpha() : 255);
    background.setAlpha(255);
    backgroundColourValue_ = background;
    textColour_->setColor(textColourValue_);
    backgroundColour_->setColor(backgroundColourValue_);
    on_->setSelected(stored.bopen);
    off_->setSelected(!stored.bopen);
    int font = font_->findText(stored.font);
    if (font >= 0)
        font_->setCurrentIndex(font);
    int size = size_->findText(QString::number(stored.textParam.point));
    if (size >= 0)
        size_->setCurrentIndex(size);
    text_->setPlainText(stored.text);
    scroll_->setCurrentIndex(scrollIndexOf(stored.scroll.direct));
}

void CaptionView::loadFromDb() {
    QVariant stored;
    SettingsDb::instance()->loadValue(kCaptionSlot, stored);
    if (!stored.isValid() || stored.isNull()) {
        return;
    }
    CaptionRecord record = decodeCaptionRecord(stored.toString(), buildCaptionRecord(controls()));
    if (record.text == kUntypedCaption) {
        record.text = tr("这里输入字幕");  // the default follows the language
    }
    loading_ = true;
    setControls(record);
    loading_ = false;
    if (record.bopen) {
        rebuild();
        debugLog("textmixer, loadfromdb finished");
    }
}

void CaptionView::saveToDb() {
    CaptionRecord record = buildCaptionRecord(controls());
    record.bopen = on_->isSelected();
    if (record.text == tr("这里输入字幕")) {
        // The default text, in whichever language it shows, is kept as the
        // default, so that the next start shows it in its own language.
        record.text = kUntypedCaption;
    }
    if (!isStorableCaptionText(record.text)) {
        // Its stored form would come back altered; the setting saved before stays.
        debugLog("caption text cannot be stored, the saved caption is kept");
        return;
    }
    SettingsDb::instance()->saveValue(kCaptionSlot, encodeCaptionRecord(record));
}
