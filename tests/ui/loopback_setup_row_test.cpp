#include "ui/loopback_setup_row.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <memory>

#include "tests/ui/ui_test_environment.h"
#include "ui/camera_control_view.h"
#include "ui/virtual_camera_check.h"

namespace {
// A machine whose loopback situation the test sets; the row asks it off the
// interface thread, as it asks the real one.
struct Machine {
    std::shared_ptr<LoopbackSituation> now = std::make_shared<LoopbackSituation>();
    LoopbackSetup* setup(const QString& helper = "/nonexistent/lumora-loopback-setup") {
        auto situation = now;
        return new LoopbackSetup(nullptr, helper, [situation] { return *situation; });
    }
};

// Waits for the row's next answer.
bool answered(LoopbackSetupRow& row) {
    QSignalSpy probed(row.setup(), &LoopbackSetup::sig_probed);
    return probed.wait(15000);
}
}  // namespace

TEST(LoopbackSetupRowTest, TheButtonIsOfferedOnlyWhereTheModuleIsInstalledButNotLoaded) {
    Machine machine;
    machine.now->module = LoopbackModule::Installed;
    LoopbackSetupRow row(nullptr, machine.setup());
    ASSERT_TRUE(answered(row));
    EXPECT_FALSE(row.isHidden());
    EXPECT_FALSE(row.setUpButton()->isHidden());
    EXPECT_EQ(row.setUpButton()->text(), "一键设置");
    EXPECT_FALSE(row.keepBox()->isHidden()) << "the boot files are not installed";
    EXPECT_TRUE(row.keepBox()->isChecked());

    machine.now->keptAtBoot = true;
    row.refresh();
    ASSERT_TRUE(answered(row));
    EXPECT_FALSE(row.setUpButton()->isHidden());
    EXPECT_TRUE(row.keepBox()->isHidden()) << "the package loads it at boot already";

    machine.now->module = LoopbackModule::Loaded;
    row.refresh();
    ASSERT_TRUE(answered(row));
    EXPECT_TRUE(row.isHidden());
}

TEST(LoopbackSetupRowTest, WithoutTheModuleTheRowNamesThePackageAndOffersNoButton) {
    Machine machine;
    machine.now->module = LoopbackModule::Missing;
    LoopbackSetupRow row(nullptr, machine.setup());
    ASSERT_TRUE(answered(row));
    EXPECT_FALSE(row.isHidden());
    EXPECT_TRUE(row.setUpButton()->isHidden());
    EXPECT_TRUE(row.keepBox()->isHidden());
    EXPECT_TRUE(row.situationLine()->text().contains("v4l2loopback-dkms"))
        << row.situationLine()->text().toStdString();
}

TEST(LoopbackSetupRowTest, AMissingHelperIsToldApartFromARefusal) {
    Machine machine;
    machine.now->module = LoopbackModule::Installed;
    LoopbackSetupRow row(nullptr, machine.setup("/nonexistent/lumora-loopback-setup"));
    ASSERT_TRUE(answered(row));
    QSignalSpy finished(row.setup(), &LoopbackSetup::sig_finished);
    row.setUpButton()->click();
    ASSERT_TRUE(finished.count() == 1 || finished.wait(15000));
    EXPECT_EQ(finished.at(0).at(0).value<LoopbackSetup::Outcome>(),
              LoopbackSetup::Outcome::NoHelper);
    EXPECT_FALSE(row.outcomeLine()->isHidden());
    EXPECT_EQ(row.outcomeLine()->text(),
              "找不到 lumora-loopback-setup：/nonexistent/lumora-loopback-setup");
    EXPECT_TRUE(row.setUpButton()->isEnabled()) << "another try is possible";
}

TEST(LoopbackSetupRowTest, PkexecRefusalsAreToldApartByTheirWords) {
    using Outcome = LoopbackSetup::Outcome;
    EXPECT_EQ(setupOutcomeOf(0, ""), Outcome::Done);
    EXPECT_EQ(setupOutcomeOf(126, ""), Outcome::Dismissed);
    EXPECT_EQ(setupOutcomeOf(127,
                             "Error executing command as another user: Not authorized\n\n"
                             "This incident has been reported.\n"),
              Outcome::NotAuthorized);
    EXPECT_EQ(setupOutcomeOf(127,
                             "Error executing command as another user: No authentication "
                             "agent found.\n"),
              Outcome::NoAgent);
    EXPECT_EQ(setupOutcomeOf(127, "polkit went away\n"), Outcome::CannotAuthenticate);
    EXPECT_EQ(setupOutcomeOf(kSetupModprobeFailed, ""), Outcome::LoadFailed);
    EXPECT_EQ(setupOutcomeOf(kSetupKeepFailed, ""), Outcome::KeepFailed);
    EXPECT_EQ(setupOutcomeOf(kSetupUsage, ""), Outcome::Failed);
}

TEST(LoopbackSetupRowTest, TheCameraPanelShowsTheRowUnderItsFindings) {
    Machine machine;
    machine.now->module = LoopbackModule::Installed;
    CameraControlView panel(
        nullptr, [] { return std::vector<CameraRecord>{}; }, machine.setup());
    LoopbackSetupRow* row = panel.loopbackSetupRow();
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(panel.isAncestorOf(row));
    ASSERT_TRUE(answered(*row));
    EXPECT_FALSE(row->isHidden());
    EXPECT_FALSE(row->setUpButton()->isHidden());
    EXPECT_TRUE(waitFor([&] { return !panel.virtualCameraCheck()->running(); }));
}
