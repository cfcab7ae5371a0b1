#include "ui/loopback_setup_row.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr const char* kPackageCommand = "sudo apt-get install v4l2loopback-dkms";

QLabel* wrappedLine(QWidget* parent, const char* colour) {
    auto* line = new QLabel(parent);
    line->setWordWrap(true);
    line->setStyleSheet(QString("color: %1;").arg(colour));
    return line;
}
}  // namespace

LoopbackSetupRow::LoopbackSetupRow(QWidget* parent, LoopbackSetup* setup)
    : QWidget(parent),
      setup_(setup ? setup : new LoopbackSetup(this)),
      situation_(wrappedLine(this, "#FFFFFF")),
      outcome_(wrappedLine(this, "#FFB0B0")),
      setUp_(new QPushButton(tr("一键设置"), this)),
      keep_(new QCheckBox(tr("开机时自动创建"), this)) {
    setup_->setParent(this);
    keep_->setChecked(true);
    keep_->setStyleSheet("color: #FFFFFF;");
    // Never narrower than their words, shown or not (the panel is narrow).
    keep_->setMinimumWidth(keep_->sizeHint().width());
    setUp_->setMinimumWidth(setUp_->sizeHint().width());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 0, 20, 0);
    column->addWidget(situation_);
    column->addWidget(keep_);
    column->addWidget(setUp_, 0, Qt::AlignLeft);
    column->addWidget(outcome_);
    outcome_->hide();
    hide();
    connect(setup_, &LoopbackSetup::sig_probed, this, &LoopbackSetupRow::showSituation);
    connect(setup_, &LoopbackSetup::sig_finished, this, &LoopbackSetupRow::onFinished);
    connect(setUp_, &QPushButton::clicked, this, &LoopbackSetupRow::onSetUp);
    refresh();
}

void LoopbackSetupRow::refresh() { setup_->probe(); }

void LoopbackSetupRow::showSituation(const LoopbackSituation& situation) {
    bool installed = situation.module == LoopbackModule::Installed;
    situation_->setText(
        installed ? tr("还没有 v4l2loopback 虚拟摄像头设备，多数视频通话程序看不到虚拟摄像头。")
                  : tr("要让所有程序都能使用虚拟摄像头，请安装 v4l2loopback-dkms 软件包：") +
                        kPackageCommand);
    setUp_->setVisible(installed);
    setUp_->setEnabled(!setup_->running());
    keep_->setVisible(installed && !situation.keptAtBoot);
    setVisible(situation.module != LoopbackModule::Loaded);
}

void LoopbackSetupRow::onSetUp() {
    outcome_->hide();
    setUp_->setEnabled(false);
    setup_->run(keep_->isVisible() && keep_->isChecked());
}

void LoopbackSetupRow::onFinished(LoopbackSetup::Outcome outcome, const QString& detail) {
    setUp_->setEnabled(true);
    bool made =
        outcome == LoopbackSetup::Outcome::Done || outcome == LoopbackSetup::Outcome::KeepFailed;
    outcome_->setText(outcomeText(outcome, detail));
    outcome_->setVisible(outcome != LoopbackSetup::Outcome::Done);
    refresh();
    if (made) {
        emit sig_devicesMade();
    }
}

QString LoopbackSetupRow::outcomeText(LoopbackSetup::Outcome outcome, const QString& detail) const {
    using Outcome = LoopbackSetup::Outcome;
    switch (outcome) {
        case Outcome::Done:
            return tr("虚拟摄像头设备已创建");
        case Outcome::NotAuthorized:
            return tr("没有获得授权，虚拟摄像头设备没有创建");
        case Outcome::Dismissed:
            return tr("身份验证已取消，虚拟摄像头设备没有创建");
        case Outcome::NoAgent:
            return tr("没有可用的身份验证程序（polkit 代理），虚拟摄像头设备没有创建");
        case Outcome::CannotAuthenticate:
            return tr("无法验证身份，虚拟摄像头设备没有创建：") + detail;
        case Outcome::NoPkexec:
            return tr("找不到 pkexec，请安装 pkexec 软件包");
        case Outcome::NoHelper:
            return tr("找不到 lumora-loopback-setup：") + detail;
        case Outcome::LoadFailed:
            return tr("加载 v4l2loopback 模块失败：") + detail;
        case Outcome::KeepFailed:
            return tr("虚拟摄像头设备已创建，但开机自动创建的设置没有保存：") + detail;
        case Outcome::Failed:
            break;
    }
    return tr("设置虚拟摄像头设备失败：") + detail;
}
