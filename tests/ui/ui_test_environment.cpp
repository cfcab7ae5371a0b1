#include "tests/ui/ui_test_environment.h"

#include <QApplication>
#include <QLabel>
#include <cstdlib>

#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"
#include "widgets/custom_message_box.h"
#include "widgets/skin_style.h"

namespace {
class PanelEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<ScratchDir>();
        setenv("HOME", home_->file("").c_str(), 1);
        setenv("XDG_CONFIG_HOME", home_->file("config").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", home_->file("Documents").c_str(), 1);
        setenv("XDG_DATA_HOME", home_->file("data").c_str(), 1);  // the trash
        app_ = makeOffscreenApplication<QApplication>();
        SkinStyle::instance()->setSkinDirectory(builtSkinFolder());
    }
    void TearDown() override {
        app_.reset();
        home_.reset();
    }

private:
    std::unique_ptr<ScratchDir> home_;
    std::unique_ptr<QApplication> app_;
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new PanelEnvironment);
}  // namespace

QString builtSkinFolder() { return QString::fromUtf8(LUMORA_BUILT_SKIN); }

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
    }
}

MessageAnswer::MessageAnswer(QMessageBox::StandardButton button) {
    QObject::connect(&timer, &QTimer::timeout, [this, button] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (!top->isVisible())
                continue;
            if (auto* box = qobject_cast<QMessageBox*>(top)) {
                text = box->text();
                box->done(button);
                timer.stop();
            } else if (auto* ours = qobject_cast<CustomMessageBox*>(top)) {
                text = ours->textLabel()->text();
                ours->done(button);
                timer.stop();
            }
        }
    });
    timer.start(30);
}
