#include "ui/prettify_pendant_view.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/box_site_listener.h"
#include "app/settings_db.h"
#include "effects/gif_mixer_effect.h"
#include "effects/skin_color_effect.h"
#include "engine/play_graph.h"
#include "ui/prettify_item.h"
#include "ui/prettify_view.h"
#include "ui/ui_kit.h"
#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kPresetSlot = 0;
constexpr int kPendantSlot = 1;
const char* const kPresetNames[] = {
    QT_TRANSLATE_NOOP("PrettifyPendantView", "自然美白"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "深度美白"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "自然美肤"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "唯美"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "清新"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "亮度提升"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "妖姬"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "暧昧"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "魅惑"),
};

// The names of the pendants we ship (their files' names), for translation;
// a pendant added to the folder shows its file's name as it is.
[[maybe_unused]] const char* const kPendantNames[] = {
    QT_TRANSLATE_NOOP("PrettifyPendantView", "下雨"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "星星"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "爱心"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "皇冠"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "相框"),
    QT_TRANSLATE_NOOP("PrettifyPendantView", "闪光"),
};

bool isSet(const QVariant& value) { return value.isValid() && !value.isNull(); }
}  // namespace

PrettifyPendantView::PrettifyPendantView(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    pages_ = new QStackedWidget(this);
    buildGrids();
    column->addWidget(pages_, 1);
    column->addWidget(separatorLabel("camera/img_line.png", this));
    column->addWidget(buildStripArea());
    QTimer::singleShot(0, this, &PrettifyPendantView::loadFromDb);
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_outputModeChanged, this,
            &PrettifyPendantView::fitPendantToMode);
}

void PrettifyPendantView::fitPendantToMode() {
    if (!pendant_) {
        return;
    }
    // The pendant is decoded for one picture size: another size gets it
    // decoded again, here and not on the graph's thread.
    PlayGraph* graph = PlayGraph::Instance();
    OutputMode mode = graph->Mode();
    auto fitted = std::make_unique<GifMixerEffect>(pendant_->path(), mode.width, mode.height);
    graph->RemoveEffect(pendant_.get());
    pendant_ = std::move(fitted);
    graph->AddEffect(pendant_.get());
}

void PrettifyPendantView::buildGrids() {
    presets_ = new PrettifyView(pages_);
    connect(presets_, &PrettifyView::sig_onMouseClicked, this, &PrettifyPendantView::onItemClicked);
    for (int id = 0; id < static_cast<int>(std::size(kPresetNames)); ++id) {
        // The icon's file keeps the preset's Chinese name in every language.
        presets_->addTile(id, tr(kPresetNames[id]),
                          QString("effect/") + QString::fromUtf8(kPresetNames[id]) + ".png");
    }
    pages_->addWidget(presets_);

    pendants_ = new PrettifyView(pages_);
    connect(pendants_, &PrettifyView::sig_onMouseClicked, this,
            &PrettifyPendantView::onItemClicked);
    QString folder = QStringLiteral("effect/挂件");
    QStringList files =
        QDir(SkinStyle::instance()->skinDirectory() + "/" + folder).entryList({"*.gif"});
    for (int i = 0; i < files.size(); ++i) {
        QString name = files[i].section('.', 0, 0);
        pendants_->addTile(kFirstPendantId + i, tr(name.toUtf8().constData()),
                           folder + "/" + files[i]);
    }
    pages_->addWidget(pendants_);
    pages_->setCurrentIndex(0);
}

QWidget* PrettifyPendantView::buildStripArea() {
    auto* area = new QWidget(this);
    area->setFixedSize(313, 160);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(0);
    heading->setContentsMargins(10, 0, 0, 0);
    heading->addWidget(whiteLabel(tr("已选择特效："), area));
    column->addLayout(heading);
    strip_ = new PrettifyView(area);
    connect(strip_, &PrettifyView::sig_onRemoveItem, this, &PrettifyPendantView::onRemoveItem);
    connect(strip_, &PrettifyView::sig_onMouseClicked, this, &PrettifyPendantView::onItemClicked);
    column->addWidget(strip_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 10, 10);
    bottom->setSpacing(0);
    bottom->addStretch();
    auto* clear = new ButtonSkin("effect/btn_clear.png", area);
    clear->setProperty("id", 0);
    connect(clear, &Button::clicked, this, &PrettifyPendantView::onButtonClicked);
    bottom->addWidget(clear, 0, Qt::AlignRight | Qt::AlignVCenter);
    column->addLayout(bottom);
    return area;
}

PrettifyPendantView::~PrettifyPendantView() {
    saveChoices();
    PlayGraph* graph = PlayGraph::Instance();
    if (pendant_) {
        graph->RemoveEffect(pendant_.get());
        pendant_.reset();
    }
    if (beautify_) {
        graph->RemoveEffect(beautify_.get());
        beautify_.reset();
    }
}

// Saved at every choice, so that a crash or a logout loses nothing: the
// chosen tile while its effect lives (-1 once cleared), else nothing.
void PrettifyPendantView::saveChoices() {
    if (loading_) {
        return;  // the stored choices are being read back
    }
    SettingsDb* settings = SettingsDb::instance();
    settings->saveValue(kPendantSlot, pendant_ ? QVariant(pendants_->selectedId()) : QVariant());
    settings->saveValue(kPresetSlot, beautify_ ? QVariant(presets_->selectedId()) : QVariant());
}

void PrettifyPendantView::setPage(int id) {
    if (id == 0 || id == 1) {
        pages_->setCurrentIndex(id);
    }
}

int PrettifyPendantView::page() const { return pages_->currentIndex(); }

void PrettifyPendantView::onItemClicked(QVariant value) {
    if (sender() == pendants_) {
        choosePendant(value.toInt());
    } else if (sender() == presets_) {
        choosePreset(value.toInt());
    }
}

// Replaces the grid's current tile in the strip by tile `id`; false when
// `id` is already the current one.
bool PrettifyPendantView::moveIntoStrip(PrettifyView* grid, int& current, int id) {
    if (current != -1 && current != id) {
        strip_->removeTile(current);
    }
    if (current == id) {
        return false;
    }
    if (PrettifyItem* tile = grid->tileById(id)) {
        strip_->addOptTile(id, tile->name(), tile->icon(), tile->path());
    }
    current = id;
    return true;
}

void PrettifyPendantView::choosePendant(int id) {
    PrettifyItem* tile = pendants_->tileById(id);
    if (!moveIntoStrip(pendants_, currentPendant_, id) || tile == nullptr) {
        return;
    }
    PlayGraph* graph = PlayGraph::Instance();
    if (pendant_) {
        graph->RemoveEffect(pendant_.get());
    }
    OutputMode mode = graph->Mode();
    pendant_ =
        std::make_unique<GifMixerEffect>(tile->path().toStdWString(), mode.width, mode.height);
    graph->AddEffect(pendant_.get());
    saveChoices();
}

void PrettifyPendantView::choosePreset(int id) {
    if (!moveIntoStrip(presets_, currentPreset_, id)) {
        return;
    }
    if (!beautify_) {
        beautify_ = std::make_unique<SkinColorEffect>();
    }
    beautify_->setPreset(id);
    PlayGraph::Instance()->AddEffect(beautify_.get());
    saveChoices();
}

void PrettifyPendantView::onRemoveItem(QVariant value) {
    int id = value.toInt();
    strip_->removeTile(id);
    if (id == currentPendant_) {
        dropPendant();
    }
    if (id == currentPreset_) {
        dropPreset();
    }
}

void PrettifyPendantView::dropPendant() {
    currentPendant_ = -1;
    pendants_->clearSelection();
    if (pendant_) {
        PlayGraph::Instance()->RemoveEffect(pendant_.get());
        pendant_.reset();
    }
    saveChoices();
}

void PrettifyPendantView::dropPreset() {
    currentPreset_ = -1;
    presets_->clearSelection();
    if (beautify_) {
        PlayGraph::Instance()->RemoveEffect(beautify_.get());
        beautify_.reset();
    }
    saveChoices();
}

void PrettifyPendantView::onButtonClicked() {
    if (!sender() || sender()->property("id").toInt() != 0) {
        return;
    }
    // The effects leave the graph but stay alive, so choosing again is quick.
    currentPreset_ = currentPendant_ = -1;
    strip_->clearTiles();
    presets_->clearSelection();
    pendants_->clearSelection();
    PlayGraph::Instance()->RemoveEffect(beautify_.get());
    PlayGraph::Instance()->RemoveEffect(pendant_.get());
    saveChoices();
}

void PrettifyPendantView::loadFromDb() {
    QVariant preset, pendant;
    SettingsDb::instance()->loadValue(kPresetSlot, preset);
    SettingsDb::instance()->loadValue(kPendantSlot, pendant);
    loading_ = true;
    if (isSet(preset)) {
        presets_->selectById(preset.toInt());
    }
    if (isSet(pendant)) {
        pendants_->selectById(pendant.toInt());
    }
    loading_ = false;
}
