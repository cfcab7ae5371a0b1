#include "ui/background_view.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QVBoxLayout>

#include "app/settings_db.h"
#include "base/debug_log.h"
#include "effects/background_effect.h"
#include "engine/play_graph.h"
#include "ui/ui_kit.h"
#include "widgets/button_skin.h"
#include "widgets/custom_file_dialog.h"

namespace {
const char* const kModeKey = "background_mode";
const char* const kStrengthKey = "background_strength";
const char* const kReplacementKey = "background_replacement";
const char* const kPictureKey = "background_picture";

// The stored names of the boxes' entries, in the boxes' order.
const QStringList kModeNames{"off", "blur", "replace"};
const QStringList kStrengthNames{"light", "medium", "strong"};
constexpr int kBlurIndex = 1;
constexpr int kReplaceIndex = 2;
constexpr int kUserPictureIndex = 0;

// Pictures larger than this on a side are read scaled down: a replacement
// never needs more than the largest output mode, and a huge file must not
// take the memory of its full size.
constexpr int kLargestPictureSide = 4096;

QImage readPicture(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && std::max(size.width(), size.height()) > kLargestPictureSide) {
        reader.setScaledSize(
            size.scaled(kLargestPictureSide, kLargestPictureSide, Qt::KeepAspectRatio));
    }
    return reader.read();
}

int storedIndex(const QStringList& names, const QString& stored, int fallback) {
    int index = names.indexOf(stored);
    return index < 0 ? fallback : index;
}
}  // namespace

const std::vector<BackgroundView::PlainColour>& BackgroundView::plainColours() {
    static const std::vector<PlainColour> colours{
        {QT_TRANSLATE_NOOP("BackgroundView", "浅灰"), qRgb(0xC8, 0xCC, 0xD0)},
        {QT_TRANSLATE_NOOP("BackgroundView", "深蓝"), qRgb(0x1E, 0x3A, 0x5F)},
        {QT_TRANSLATE_NOOP("BackgroundView", "绿幕"), qRgb(0x00, 0xB1, 0x40)},
        {QT_TRANSLATE_NOOP("BackgroundView", "纯白"), qRgb(0xFF, 0xFF, 0xFF)},
    };
    return colours;
}

SegmentationModel BackgroundView::installedModel() {
    // The landscape network: its 144 x 256 input fits the output modes' wide
    // pictures and costs about half the square one.
    QString path =
        QCoreApplication::applicationDirPath() + "/models/selfie_segmentation_landscape.onnx";
    return {path.toStdString(), 256, 144};
}

BackgroundView::BackgroundView(QWidget* parent) : BackgroundView(installedModel(), parent) {}

BackgroundView::BackgroundView(const SegmentationModel& model, QWidget* parent)
    : QWidget(parent),
      model_(std::make_unique<SegmentationModel>(model)),
      choosePicture_([](QWidget* owner) {
          return CustomFileDialog::getOpenFileName_(
              owner, tr("选择背景图片"), tr("图片文件 (*.png *.jpg *.jpeg *.bmp *.gif *.webp)"),
              "selbackground");
      }) {
    build();
    loadSaved();
}

BackgroundView::~BackgroundView() {
    if (effect_) {
        PlayGraph::Instance()->RemoveEffect(effect_.get());
    }
}

void BackgroundView::build() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);
    // Labels in one column, so the boxes line up whatever their lengths.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(14);
    column->addLayout(grid);
    auto comboRow = [&](const QString& label, const QStringList& items) {
        auto* box = new QComboBox(this);
        box->addItems(items);
        box->setFixedWidth(180);
        int row = grid->rowCount();
        grid->addWidget(whiteLabel(label, this), row, 0);
        grid->addWidget(box, row, 1, Qt::AlignLeft);
        connect(box, &QComboBox::currentIndexChanged, this, &BackgroundView::apply);
        return box;
    };
    mode_ = comboRow(tr("背景效果："), {tr("关闭"), tr("背景虚化"), tr("背景替换")});
    strength_ = comboRow(tr("虚化程度："), {tr("轻度"), tr("中度"), tr("重度")});
    strength_->setCurrentIndex(1);
    QStringList replacements{tr("自选图片")};
    for (const PlainColour& colour : plainColours()) {
        replacements << tr(colour.name);
    }
    replacement_ = comboRow(tr("替换为："), replacements);

    int pictureRow = grid->rowCount();
    pictureButton_ = idButton("effect/btn_choose_picture.png", 0, this);
    grid->addWidget(pictureButton_, pictureRow, 0);
    pictureName_ = whiteLabel(QString(), this);
    pictureName_->setFixedWidth(180);
    grid->addWidget(pictureName_, pictureRow, 1);
    grid->setColumnStretch(2, 1);
    connect(pictureButton_, &Button::clicked, this, &BackgroundView::onChoosePicture);

    problem_ = new QLabel(this);
    problem_->setWordWrap(true);
    problem_->setStyleSheet("color: #F0A35E;");
    problem_->hide();
    column->addWidget(problem_);
    column->addStretch();
}

void BackgroundView::loadSaved() {
    SettingsDb* store = SettingsDb::instance();
    strength_->setCurrentIndex(storedIndex(kStrengthNames, store->loadText(kStrengthKey), 1));
    int replacement = store->loadText(kReplacementKey).toInt();
    replacement_->setCurrentIndex(
        replacement >= 0 && replacement < replacement_->count() ? replacement : 0);
    picturePath_ = store->loadText(kPictureKey);
    mode_->setCurrentIndex(storedIndex(kModeNames, store->loadText(kModeKey), 0));
    loading_ = false;
    reflectChoice();
}

void BackgroundView::save() const {
    SettingsDb* store = SettingsDb::instance();
    store->saveText(kModeKey, kModeNames.value(mode_->currentIndex()));
    store->saveText(kStrengthKey, kStrengthNames.value(strength_->currentIndex()));
    store->saveText(kReplacementKey, QString::number(replacement_->currentIndex()));
    store->saveText(kPictureKey, picturePath_);
}

// Every change is applied and saved as it is made, so that a crash or a
// logout keeps it.
void BackgroundView::apply() {
    if (loading_) {
        return;
    }
    reflectChoice();
    save();
}

void BackgroundView::reflectChoice() {
    int mode = mode_->currentIndex();
    strength_->setEnabled(mode == kBlurIndex);
    replacement_->setEnabled(mode == kReplaceIndex);
    bool userPicture = replacement_->currentIndex() == kUserPictureIndex;
    pictureButton_->setEnabled(mode == kReplaceIndex && userPicture);
    showPictureName();
    showProblem(configureEffect(mode));
}

QString BackgroundView::configureEffect(int mode) {
    if (mode == 0) {
        if (effect_) {
            effect_->setMode(BackgroundMode::Off);
        }
        return {};
    }
    if (!ensureEffect()) {
        return modelProblem_;
    }
    if (mode == kBlurIndex) {
        effect_->setBlurStrength(static_cast<BlurStrength>(strength_->currentIndex()));
        effect_->setMode(BackgroundMode::Blur);
        return {};
    }
    return applyReplacement();
}

bool BackgroundView::ensureEffect() {
    if (!effect_) {
        effect_ = std::make_unique<BackgroundEffect>(*model_);
        if (!effect_->modelLoaded()) {
            modelProblem_ = tr("背景分割模型无法载入，背景效果不可用。");
        }
        PlayGraph::Instance()->AddEffect(effect_.get());
    }
    return modelProblem_.isEmpty();
}

QString BackgroundView::applyReplacement() {
    int choice = replacement_->currentIndex();
    if (choice != kUserPictureIndex) {
        QRgb rgb = plainColours()[static_cast<size_t>(choice - 1)].rgb;
        effect_->setColour(qRed(rgb), qGreen(rgb), qBlue(rgb));
        effect_->setMode(BackgroundMode::Colour);
        return {};
    }
    if (picturePath_ != pictureRead_) {
        pictureRead_ = picturePath_;
        pictureProblem_.clear();
        QImage picture;
        if (!picturePath_.isEmpty()) {
            picture = readPicture(picturePath_);
            if (picture.isNull()) {
                pictureProblem_ = tr("无法读取图片：%1").arg(QFileInfo(picturePath_).fileName());
                debugLog("background: cannot read the picture %s", qPrintable(picturePath_));
            }
        }
        // A picture that cannot be read leaves frames unchanged; its path
        // stays saved, so the picture comes back once the file does.
        effect_->setPicture(picture);
    }
    effect_->setMode(BackgroundMode::Picture);
    return pictureProblem_;
}

void BackgroundView::onChoosePicture() {
    QString path = choosePicture_(this);
    if (path.isEmpty()) {
        return;
    }
    picturePath_ = path;
    pictureRead_.clear();  // chosen again: read afresh, it may have changed
    apply();
}

void BackgroundView::showPictureName() {
    QString name = picturePath_.isEmpty() ? tr("未选择图片") : QFileInfo(picturePath_).fileName();
    pictureName_->setText(
        pictureName_->fontMetrics().elidedText(name, Qt::ElideMiddle, pictureName_->width()));
    pictureName_->setToolTip(picturePath_);
}

void BackgroundView::showProblem(const QString& text) {
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

QString BackgroundView::message() const {
    return problem_->isVisible() ? problem_->text() : QString();
}
