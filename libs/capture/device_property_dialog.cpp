#include "libs/capture/device_property_dialog.h"

#include <gst/gst.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "libs/capture/v4l2_controls.h"
#include "libs/capture/video_capture.h"

namespace {
// The nicks of videotestsrc's patterns, in their numeric order.
std::vector<std::pair<int, QString>> testPatterns() {
    std::vector<std::pair<int, QString>> patterns;
    GstElement* source = gst_element_factory_make("videotestsrc", nullptr);
    if (source == nullptr) {
        return patterns;
    }
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(source), "pattern");
    if (property != nullptr && G_IS_PARAM_SPEC_ENUM(property)) {
        GEnumClass* values = G_PARAM_SPEC_ENUM(property)->enum_class;
        for (guint i = 0; i < values->n_values; ++i) {
            patterns.emplace_back(values->values[i].value,
                                  QString::fromUtf8(values->values[i].value_nick));
        }
    }
    gst_object_unref(source);
    return patterns;
}
}  // namespace

DevicePropertyDialog::DevicePropertyDialog(VideoCapture* capture, QWidget* parent)
    : QDialog(parent), capture_(capture) {
    setWindowTitle(tr("摄像头属性 - %1").arg(QString::fromStdString(capture->Device().name)));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    if (capture->Device().isTestCamera()) {
        buildTestPatternPage(form);
    } else {
        buildControlPage(form);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* reset = buttons->addButton(tr("恢复默认"), QDialogButtonBox::ResetRole);
    reset->setObjectName("resetButton");
    reset->setEnabled(!resetters_.empty());
    connect(reset, &QPushButton::clicked, this, &DevicePropertyDialog::resetToDefaults);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

DevicePropertyDialog::~DevicePropertyDialog() = default;

void DevicePropertyDialog::buildTestPatternPage(QFormLayout* form) {
    auto* patterns = new QComboBox(this);
    patterns->setObjectName("testPattern");
    for (const auto& [value, nick] : testPatterns()) {
        patterns->addItem(nick, value);
    }
    int initial = capture_->TestPattern();
    patterns->setCurrentIndex(patterns->findData(initial));
    connect(patterns, &QComboBox::currentIndexChanged, this,
            [this, patterns] { capture_->SetTestPattern(patterns->currentData().toInt()); });
    resetters_.push_back(
        [patterns, initial] { patterns->setCurrentIndex(patterns->findData(initial)); });
    form->addRow(tr("测试图案"), patterns);
}

void DevicePropertyDialog::buildControlPage(QFormLayout* form) {
    controls_ = std::make_unique<V4l2ControlSet>();
    std::string error;
    if (!controls_->open(capture_->Device().path, &error)) {
        form->addRow(new QLabel(tr("无法打开设备：%1").arg(QString::fromStdString(error)), this));
        return;
    }
    if (controls_->controls().empty()) {
        form->addRow(new QLabel(tr("此设备没有可调节的属性"), this));
    }
    for (const V4l2Control& control : controls_->controls()) {
        QString name = QString::fromStdString(control.name);
        if (control.kind == V4l2Control::Kind::Section) {
            auto* heading = new QLabel("<b>" + name.toHtmlEscaped() + "</b>", this);
            form->addRow(heading);
        } else {
            form->addRow(name, editorFor(control));
        }
    }
}

QWidget* DevicePropertyDialog::editorFor(const V4l2Control& control) {
    uint32_t id = control.id;
    QWidget* editor = nullptr;
    if (control.kind == V4l2Control::Kind::Boolean) {
        auto* box = new QCheckBox(this);
        box->setChecked(control.value != 0);
        connect(box, &QCheckBox::toggled, this, [this, id](bool on) { controls_->set(id, on); });
        resetters_.push_back([box, control] { box->setChecked(control.defaultValue != 0); });
        editor = box;
    } else if (control.kind == V4l2Control::Kind::Menu) {
        auto* list = new QComboBox(this);
        for (const auto& [value, label] : control.menu) {
            list->addItem(QString::fromStdString(label), value);
        }
        list->setCurrentIndex(list->findData(control.value));
        connect(list, &QComboBox::currentIndexChanged, this,
                [this, id, list] { controls_->set(id, list->currentData().toInt()); });
        resetters_.push_back(
            [list, control] { list->setCurrentIndex(list->findData(control.defaultValue)); });
        editor = list;
    } else {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(control.minimum, control.maximum);
        slider->setSingleStep(control.step);
        slider->setValue(control.value);
        connect(slider, &QSlider::valueChanged, this,
                [this, id](int value) { controls_->set(id, value); });
        resetters_.push_back([slider, control] { slider->setValue(control.defaultValue); });
        editor = slider;
    }
    editor->setEnabled(!control.readOnly);
    return editor;
}

void DevicePropertyDialog::resetToDefaults() {
    for (const auto& reset : resetters_) {
        reset();
    }
}
