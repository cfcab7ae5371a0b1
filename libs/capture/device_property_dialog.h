#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QFormLayout;
class VideoCapture;
class V4l2ControlSet;
struct V4l2Control;

// The settings page of a camera: sliders, check boxes and lists for its V4L2
// controls with a button that restores every default, or for a test camera the
// choice of its test pattern. Changes take effect at once, while capturing.
class DevicePropertyDialog : public QDialog {
    Q_OBJECT

public:
    DevicePropertyDialog(VideoCapture* capture, QWidget* parent = nullptr);
    ~DevicePropertyDialog() override;

private:
    void buildTestPatternPage(QFormLayout* form);
    void buildControlPage(QFormLayout* form);
    QWidget* editorFor(const V4l2Control& control);
    void resetToDefaults();

    VideoCapture* capture_;
    std::unique_ptr<V4l2ControlSet> controls_;
    std::vector<std::function<void()>> resetters_;
};
