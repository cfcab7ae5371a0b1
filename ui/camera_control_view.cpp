#include "ui/camera_control_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMap>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "app/box_site_listener.h"
#include "app/media_site.h"
#include "app/settings_db.h"
#include "sources/camera_hotplug_watcher.h"
#include "ui/camera_lists.h"
#include "ui/loopback_setup_row.h"
#include "ui/ui_kit.h"
#include "ui/virtual_camera_check.h"
#include "widgets/button_skin.h"
#include "widgets/custom_message_box.h"
#include "widgets/play_slider_bar.h"

namespace {
constexpr int kSettingsSlot = 3;
constexpr int kRecheckDelayMs = 1000;
}  // namespace

CameraControlView::CameraControlView(QWidget* parent, CameraLister lister,
                                     LoopbackSetup* loopbackSetup)
    : QWidget(parent),
      lister_(std::move(lister)),
      loopbackRow_(new LoopbackSetupRow(this, loopbackSetup)) {
    devices_ = lister_();
    auto* content = new QWidget;
    auto* page = new QVBoxLayout(content);
    page->setSpacing(22);
    page->setContentsMargins(0, 20, 0, 26);
    page->addWidget(buildFaceBlock());
    page->addWidget(separatorLabel("camera/img_line.png"));
    page->addWidget(buildCameraBlock(0));
    page->addWidget(separatorLabel("camera/img_line.png"));
    page->addWidget(buildCameraBlock(1));
    page->addWidget(separatorLabel("camera/img_line.png"));
    page->addWidget(buildQualityBlock());
    page->addWidget(buildVirtualCameraNotice());
    page->addWidget(loopbackRow_);
    page->addStretch();
    scroll_ = scrollingPage(content, this);
    auto* whole = new QVBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->addWidget(scroll_);
    vcamCheck_ = new VirtualCameraCheck(this);
    connect(vcamCheck_, &VirtualCameraCheck::sig_checked, this,
            &CameraControlView::showVirtualCameraFindings);
    connect(loopbackRow_, &LoopbackSetupRow::sig_devicesMade, vcamCheck_,
            &VirtualCameraCheck::check);
    vcamCheck_->check();
    fillDeviceBox(0);
    fillDeviceBox(1);
    showCaptureSizeRule();
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_outputModeChanged, this,
            &CameraControlView::showCaptureSizeRule);
    QTimer::singleShot(0, this, &CameraControlView::loadFromDb);
    WidgetHide::instance()->setPanel(this);
}

CameraControlView::~CameraControlView() { saveToDb(); }

// Pale red on the dark panel, set in the palette: a style rule would reach
// tool tips shown for the page and put pale red on their pale yellow.
QLabel* CameraControlView::buildVirtualCameraNotice() {
    vcamLine_ = new QLabel(this);
    vcamLine_->setWordWrap(true);
    vcamLine_->setTextFormat(Qt::PlainText);
    vcamLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette colours = vcamLine_->palette();
    colours.setColor(QPalette::WindowText, QColor(0xFF, 0xB0, 0xB0));
    vcamLine_->setPalette(colours);
    vcamLine_->setContentsMargins(20, 0, 20, 0);
    vcamLine_->hide();
    return vcamLine_;
}

void CameraControlView::showVirtualCameraFindings(const QString& findings) {
    vcamLine_->setText(findings.isEmpty() ? QString() : tr("虚拟摄像头无法使用：") + findings);
    vcamLine_->setVisible(!findings.isEmpty());
}

QWidget* CameraControlView::buildFaceBlock() {
    auto* block = new QWidget(this);
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(20, 0, 20, 0);
    column->setSpacing(10);
    column->addWidget(whiteLabel(tr("瘦脸塑身："), block));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    faceSwitch_ = new ButtonRadioSkin("check_checked.png", "check_normal.png", block);
    faceSwitch_->setSelected(false);
    decrease_ = new ButtonSkin("btn_dec.png", block);
    increase_ = new ButtonSkin("btn_enc.png", block);
    faceSlider_ =
        new PlaySliderBar("video_play/bg_video_bar.png", "video_play/img_video_bar_progress.png",
                          "video_play/img_video_con.png", 1.0, block);
    faceSlider_->setMinimum(0);
    faceSlider_->setMaximum(100);
    faceSlider_->setMinimumWidth(80);
    row->addWidget(faceSwitch_);
    row->addWidget(whiteLabel(tr("开启"), block));
    row->addSpacing(28);
    row->addWidget(decrease_);
    row->addWidget(faceSlider_, 1);
    row->addWidget(increase_);
    row->addStretch();
    column->addLayout(row);
    connect(faceSwitch_, &Button::clicked, this, &CameraControlView::onFaceBtnClicked);
    connect(faceSlider_, &PlaySliderBar::valueChanged, this,
            &CameraControlView::onFaceValueChanged);
    connect(decrease_, &Button::clicked, this, &CameraControlView::onBtnDec);
    connect(increase_, &Button::clicked, this, &CameraControlView::onBtnEnc);
    return block;
}

// In the high-definition modes the first camera is opened at the mode's
// size, whatever its size box says; the box then says so instead of
// offering a choice that does nothing. The second camera only feeds the
// inset, so its size stays the user's.
void CameraControlView::showCaptureSizeRule() {
    bool standard = MediaSite::instance()->outputModeIndex() == 0;
    QComboBox* size = boxes_[0].size;
    size->setEnabled(standard);
    size->setToolTip(standard ? QString() : tr("高清输出时，摄像头按输出画质的大小采集"));
}

QWidget* CameraControlView::buildQualityBlock() {
    auto* block = new QWidget(this);
    auto* row = new QHBoxLayout(block);
    row->setContentsMargins(20, 0, 20, 0);
    row->setSpacing(8);
    quality_ = new QComboBox(block);
    for (const MediaSite::NamedMode& named : MediaSite::outputModes()) {
        quality_->addItem(named.name);
    }
    quality_->setCurrentIndex(MediaSite::instance()->outputModeIndex());
    row->addWidget(whiteLabel(tr("输出画质："), block));
    row->addWidget(quality_, 1);
    connect(quality_, &QComboBox::currentIndexChanged, this, &CameraControlView::onQualityChanged);
    return block;
}

void CameraControlView::onQualityChanged(int index) {
    MediaSite* site = MediaSite::instance();
    if (index == site->outputModeIndex()) {
        return;
    }
    if (site->isRecording()) {
        int answer = CustomMessageBox::question(
            this, tr("提示"), tr("正在录制。更改输出画质会先停止并保留这段录制，是否继续？"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            QSignalBlocker quiet(quality_);
            quality_->setCurrentIndex(site->outputModeIndex());
            return;
        }
        emit BoxSiteListener::instance()->sig_stopRecording();
    }
    site->setOutputMode(index);
}

QWidget* CameraControlView::buildCameraBlock(int camera) {
    auto* block = new QWidget(this);
    auto* grid = new QGridLayout(block);
    grid->setContentsMargins(20, 0, 20, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(14);
    CameraBoxes& boxes = boxes_[camera];
    boxes.device = new QComboBox(block);
    boxes.size = new QComboBox(block);
    boxes.property = new ButtonSkin("camera/btn_set_param.png", block);
    boxes.property->setProperty("id", camera);
    grid->addWidget(whiteLabel(camera == 0 ? tr("选择摄像头1：") : tr("选择摄像头2："), block), 0,
                    0);
    grid->addWidget(boxes.device, 0, 1);
    grid->addWidget(whiteLabel(tr("采集分辨率：  "), block), 1, 0);
    grid->addWidget(boxes.size, 1, 1);
    grid->addWidget(whiteLabel(tr("摄像头画质："), block), 2, 0);
    grid->addWidget(boxes.property, 2, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    connect(boxes.device, &QComboBox::currentIndexChanged, this, &CameraControlView::onIdChanged);
    connect(boxes.size, &QComboBox::currentIndexChanged, this, &CameraControlView::onSizeChanged);
    connect(boxes.property, &Button::clicked, this, &CameraControlView::onButtonClick);
    return block;
}

void CameraControlView::fillDeviceBox(int camera) {
    QComboBox* device = boxes_[camera].device;
    QComboBox* size = boxes_[camera].size;
    bool wasUpdating = std::exchange(updating_, true);
    device->clear();
    size->clear();
    int first = -1;
    for (int i = 0; i < static_cast<int>(devices_.size()); ++i) {
        if (isLeftOutCamera(devices_[i].name, tr("Lumora直播伴侣"))) {
            continue;
        }
        device->addItem(devices_[i].name, i);
        first = first < 0 ? i : first;
    }
    if (first < 0) {
        device->addItem(tr("未检测到设备"), QVariant());
        size->addItem(tr("未检测到设备"));
    } else {
        device->setCurrentIndex(0);
        fillSizeBox(camera, first);
    }
    updating_ = wasUpdating;
}

void CameraControlView::fillSizeBox(int camera, int deviceIndex) {
    if (deviceIndex < 0 || deviceIndex >= static_cast<int>(devices_.size())) {
        return;
    }
    QComboBox* box = boxes_[camera].size;
    bool wasUpdating = std::exchange(updating_, true);
    box->clear();
    for (QSize size : offeredSizes(devices_[deviceIndex].formats)) {
        box->addItem(sizeText(size), size);
    }
    int standard = box->findData(QSize(640, 480));
    box->setCurrentIndex(standard >= 0 ? standard : 0);
    updating_ = wasUpdating;
}

int CameraControlView::cameraOf(const QObject* control) const {
    const CameraBoxes& second = boxes_[1];
    return control == second.device || control == second.size || control == second.property ? 1 : 0;
}

void CameraControlView::onIdChanged(int) {
    if (!updating_) {
        deviceChosen(cameraOf(sender()));
        saveChoices();
    }
}

void CameraControlView::deviceChosen(int camera) {
    QVariant index = boxes_[camera].device->currentData();
    if (index.isValid()) {
        fillSizeBox(camera, index.toInt());
    }
    applySize(camera);
}

void CameraControlView::onSizeChanged(int) {
    if (!updating_) {
        applySize(cameraOf(sender()));
        saveChoices();
    }
}

void CameraControlView::applySize(int camera) {
    QSize size = boxes_[camera].size->currentData().toSize();
    QVariant device = boxes_[camera].device->currentData();
    if (size.isValid() && device.isValid()) {
        MediaSite::instance()->setCameraFormat(device.toInt(), size.width(), size.height(),
                                               camera == 1);
    }
}

// Every choice a person makes is saved as it is made, so that a crash or a
// logout keeps it; lists refilled for a camera that came or went save nothing.
void CameraControlView::saveChoices() {
    if (!loading_) {
        saveToDb();
    }
}

void CameraControlView::onButtonClick() {
    int camera = sender() ? sender()->property("id").toInt() : 0;
    QVariant device = boxes_[camera == 1 ? 1 : 0].device->currentData();
    if (device.isValid()) {
        MediaSite::instance()->showCameraProperty(device.toInt());
    }
}

void CameraControlView::applyFace() {
    MediaSite::instance()->setStretch(faceSwitch_->isSelected(), faceSlider_->value());
    saveChoices();
}

void CameraControlView::onFaceValueChanged(int) { applyFace(); }

void CameraControlView::onFaceBtnClicked() { applyFace(); }

void CameraControlView::onBtnEnc() {
    int wanted = faceSlider_->value() + 1;
    faceSlider_->setValue(wanted);
    if (wanted <= faceSlider_->maximum()) {
        applyFace();
    }
}

void CameraControlView::onBtnDec() {
    int wanted = faceSlider_->value() - 1;
    faceSlider_->setValue(wanted);
    if (wanted >= 0) {
        applyFace();
    }
}

void CameraControlView::checkCam() {
    vcamCheck_->check();  // a loopback device may have come or gone
    loopbackRow_->refresh();
    std::vector<CameraRecord> found = lister_();
    if (found.size() == devices_.size()) {
        return;
    }
    devices_ = std::move(found);
    QString chosen = boxes_[0].device->currentText();
    int sizeIndex = boxes_[0].size->currentIndex();
    setUpdatesEnabled(false);
    updating_ = true;
    fillDeviceBox(0);
    int again = boxes_[0].device->findText(chosen);
    if (again >= 0) {
        boxes_[0].device->setCurrentIndex(again);
        fillSizeBox(0, boxes_[0].device->itemData(again).toInt());
        if (sizeIndex >= 0 && sizeIndex < boxes_[0].size->count()) {
            boxes_[0].size->setCurrentIndex(sizeIndex);
        }
    }
    updating_ = false;
    setUpdatesEnabled(true);
}

void CameraControlView::saveToDb() {
    QMap<QString, QString> map;
    map["faceopen"] = faceSwitch_->isSelected() ? "1" : "0";
    map["facevalue"] = QString::number(faceSlider_->value());
    map["cam1"] = QString::number(boxes_[0].device->currentIndex());
    map["cam2"] = QString::number(boxes_[1].device->currentIndex());
    map["camsize1"] = QString::number(boxes_[0].size->currentIndex());
    map["camsize2"] = QString::number(boxes_[1].size->currentIndex());
    SettingsDb::instance()->saveMap(kSettingsSlot, map);
}

void CameraControlView::loadFromDb() {
    QMap<QString, QString> map;
    SettingsDb::instance()->loadMap(kSettingsSlot, map);
    loading_ = true;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key() == "cam1" || it.key() == "cam2") {
            int camera = it.key() == "cam1" ? 0 : 1;
            int position = it.value().toInt();
            QComboBox* box = boxes_[camera].device;
            if (position >= 0 && position < box->count()) {
                bool wasUpdating = std::exchange(updating_, true);
                box->setCurrentIndex(position);
                updating_ = wasUpdating;
                deviceChosen(camera);
            }
        } else if (it.key() == "faceopen") {
            faceSwitch_->setSelected(it.value() == "1");
        } else if (it.key() == "facevalue") {
            faceSlider_->setValue(it.value().toInt());
        }
    }
    applyFace();
    loading_ = false;
}

WidgetHide* WidgetHide::instance() {
    static WidgetHide* hidden = new WidgetHide;  // kept until exit
    return hidden;
}

WidgetHide::WidgetHide() {
    auto* watcher = new CameraHotplugWatcher(this);
    connect(watcher, &CameraHotplugWatcher::sig_cameraArrived, this, &WidgetHide::onDeviceChange);
    connect(watcher, &CameraHotplugWatcher::sig_cameraRemoved, this, &WidgetHide::onDeviceChange);
    // A camera that fails while running has often just been pulled out.
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_cameraFailed, this,
            &WidgetHide::onDeviceChange);
}

void WidgetHide::onDeviceChange() {
    QTimer::singleShot(kRecheckDelayMs, this, [this] {
        if (panel_) {
            panel_->checkCam();
        }
    });
}
