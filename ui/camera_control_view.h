#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "sources/camera_enumeration.h"

class Button;
class ButtonRadioSkin;
class LoopbackSetup;
class LoopbackSetupRow;
class VirtualCameraCheck;
class PlaySliderBar;
class QComboBox;
class QLabel;
class QScrollArea;

// The camera tab: which device and size camera 1 and camera 2 use, the
// device's own property dialog, and the face-slimming stretch. It only tells
// the media site; opening and closing the cameras belongs to the player bar.
// The lists follow cameras plugged in and pulled out, and the choices are
// kept in settings slot 3 between runs. Our own virtual camera and any other
// virtual camera are never offered. Under the lists a notice says in full
// what stands in the way when the virtual camera cannot be reached (and the
// lists' changes ask again), and where no v4l2loopback device exists a row
// offers to make them. The page scrolls when these notices make it taller
// than the panel, so no control is squeezed and every word can be reached.
class CameraControlView : public QWidget {
    Q_OBJECT

public:
    using CameraLister = std::function<std::vector<CameraRecord>()>;

    // `lister` enumerates the cameras and `loopbackSetup` the loopback
    // module (null: the machine's own); tests give their own.
    explicit CameraControlView(QWidget* parent = nullptr, CameraLister lister = enumerateCameras,
                               LoopbackSetup* loopbackSetup = nullptr);
    // Saves the choices.
    ~CameraControlView() override;

    // The controls, for the main window's tests and for this panel's own.
    QComboBox* deviceBox(int camera) const { return boxes_[camera].device; }
    QComboBox* sizeBox(int camera) const { return boxes_[camera].size; }
    // The output quality: the pictures' size and rate, for every output.
    QComboBox* qualityBox() const { return quality_; }
    Button* propertyButton(int camera) const { return boxes_[camera].property; }
    ButtonRadioSkin* faceSwitch() const { return faceSwitch_; }
    PlaySliderBar* faceSlider() const { return faceSlider_; }
    // The virtual camera's findings, word-wrapped and selectable (they name
    // commands to copy); hidden while the camera can be reached.
    QLabel* virtualCameraLine() const { return vcamLine_; }
    // What the page's contents scroll in.
    QScrollArea* scrollArea() const { return scroll_; }
    VirtualCameraCheck* virtualCameraCheck() const { return vcamCheck_; }
    LoopbackSetupRow* loopbackSetupRow() const { return loopbackRow_; }
    Button* decreaseButton() const { return decrease_; }
    Button* increaseButton() const { return increase_; }

signals:
    void sig_propertyShow(int camera);

public slots:
    // Enumerates again; when the number of cameras changed, refills camera
    // 1's lists and keeps its camera chosen by name.
    void checkCam();
    void onButtonClick();
    void onIdChanged(int index);
    void onSizeChanged(int index);
    void onFaceValueChanged(int value);
    // A running recording is stopped and kept first, when the person agrees.
    void onQualityChanged(int index);
    void onFaceBtnClicked();
    void onBtnEnc();
    void onBtnDec();
    void loadFromDb();
    void saveToDb();

private:
    struct CameraBoxes {
        QComboBox* device = nullptr;
        QComboBox* size = nullptr;
        Button* property = nullptr;
    };

    QWidget* buildFaceBlock();
    QWidget* buildCameraBlock(int camera);
    QWidget* buildQualityBlock();
    QLabel* buildVirtualCameraNotice();
    void showCaptureSizeRule();
    void fillDeviceBox(int camera);
    void fillSizeBox(int camera, int deviceIndex);
    void deviceChosen(int camera);
    void applySize(int camera);
    void applyFace();
    void saveChoices();
    int cameraOf(const QObject* control) const;
    void showVirtualCameraFindings(const QString& findings);

    CameraLister lister_;
    std::vector<CameraRecord> devices_;
    CameraBoxes boxes_[2];
    ButtonRadioSkin* faceSwitch_ = nullptr;
    PlaySliderBar* faceSlider_ = nullptr;
    Button* decrease_ = nullptr;
    Button* increase_ = nullptr;
    QComboBox* quality_ = nullptr;
    QLabel* vcamLine_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    LoopbackSetupRow* loopbackRow_ = nullptr;
    VirtualCameraCheck* vcamCheck_ = nullptr;
    bool updating_ = false;  // the panel refills its own lists
    bool loading_ = false;   // loadFromDb is setting the stored choices
};

// Hears cameras come and go for the whole process and asks the camera panel
// to look again a second later, once the device has settled. A hidden widget,
// made with the first camera panel and kept until exit.
class WidgetHide : public QWidget {
    Q_OBJECT

public:
    static WidgetHide* instance();
    void setPanel(CameraControlView* panel) { panel_ = panel; }

public slots:
    void onDeviceChange();

private:
    WidgetHide();

    QPointer<CameraControlView> panel_;
};
