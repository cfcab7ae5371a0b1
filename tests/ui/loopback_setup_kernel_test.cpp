// The camera panel's one-click set-up of the v4l2loopback devices, in a real
// kernel with real polkit (the test runs as root in a guest of its own, see
// tools/kernel-vm.sh): a system bus and polkitd, the helper and its polkit
// action installed where the package puts them, an ordinary user, a rule
// that answers for that user, and the panel's set-up row run as that user,
// so that its button starts the real pkexec.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/loopback_module.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"
#include "tests/support/test_media.h"

namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kUser = "lumoratest";
constexpr const char* kHelper = "/usr/lib/lumora/lumora-loopback-setup";
constexpr const char* kAction = "org.lumora.loopback-setup";
constexpr const char* kLabel = "Lumora直播伴侣";

int run(const std::string& command) { return std::system(command.c_str()); }

void writeFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

// The helper and its action where `make install` to /usr puts them.
void installHelper() {
    fs::create_directories(fs::path(kHelper).parent_path());
    fs::copy_file(programBeside("lumora-loopback-setup"), kHelper);
    std::string policy = contentsOf(LUMORA_PACKAGING_DIR "/org.lumora.loopback-setup.policy.in");
    std::string placeholder = "@LUMORA_LOOPBACK_SETUP_PATH@";
    policy.replace(policy.find(placeholder), placeholder.size(), kHelper);
    writeFile(std::string("/usr/share/polkit-1/actions/") + kAction + ".policy", policy);
}

// A rule that gives our user `result` ("YES", "NO") for our action only.
void writeRule(const std::string& result) {
    writeFile("/etc/polkit-1/rules.d/10-lumora-test.rules",
              std::string("polkit.addRule(function(action, subject) {\n") +
                  "    if (action.id == \"" + kAction + "\" && subject.user == \"" + kUser +
                  "\") {\n        return polkit.Result." + result + ";\n    }\n});\n");
}

bool polkitAnswers() {
    return commandOutput(
               "dbus-send --system --print-reply --dest=org.freedesktop.DBus "
               "/org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "
               "string:org.freedesktop.PolicyKit1 2>/dev/null")
               .find("boolean true") != std::string::npos;
}

// What a booted desktop has and the guest has not: a system bus and polkitd
// (started as root, it becomes its own user polkitd by itself).
class PolkitMachine {
public:
    PolkitMachine() {
        fs::create_directories("/run/dbus");
        busStarted_ = run("dbus-daemon --system --fork") == 0;
        polkitStarted_ = polkitd_.spawn("/usr/lib/polkit-1/polkitd", {"--no-debug"});
    }
    ~PolkitMachine() {
        polkitd_.signal(SIGTERM);
        polkitd_.wait();
    }
    bool ready() { return busStarted_ && polkitStarted_ && eventually(polkitAnswers, 60s); }

private:
    bool busStarted_ = false;
    bool polkitStarted_ = false;
    ChildProcess polkitd_;
};

// The driver's report, the set-up row run as our user through `setpriv`,
// with a bare environment as a desktop session would give no more.
std::string setUpAsUser(const std::string& mode) {
    return commandOutput("setpriv --reuid=" + std::string(kUser) + " --regid=" + kUser +
                             " --init-groups env -i PATH=/usr/bin:/bin HOME=/tmp " +
                             "LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen " +
                             programBeside("loopback_setup_driver") + " " + kHelper + " " + mode +
                             " 2>&1",
                         std::chrono::seconds(600));
}

// The card labels of the video devices that exist now.
std::vector<std::string> ourDevices() {
    std::vector<std::string> devices;
    for (const auto& node : fs::directory_iterator("/sys/class/video4linux")) {
        std::string name = contentsOf((node.path() / "name").string());
        if (name.rfind(kLabel, 0) == 0 && fs::exists("/dev" / node.path().filename())) {
            devices.push_back(name.substr(0, name.find('\n')));
        }
    }
    std::sort(devices.begin(), devices.end());
    return devices;
}

std::string etcFile(const LoopbackBootFile& file) {
    return "/etc/" + file.folder + "/" + file.name;
}

class LoopbackSetupKernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(loopbackModuleState({}), LoopbackModule::Installed)
            << "the guest's kernel has the module, not loaded";
        ASSERT_EQ(run(std::string("useradd --no-create-home ") + kUser), 0);
        installHelper();
    }
};
}  // namespace

TEST_F(LoopbackSetupKernelTest, AnAuthorizedUserGetsBothLabelledDevicesKeptAcrossReboots) {
    writeRule("YES");
    PolkitMachine polkit;
    ASSERT_TRUE(polkit.ready()) << "polkitd did not come onto the system bus";

    std::string report = setUpAsUser("keep");
    EXPECT_NE(report.find("before: module=installed row=1 button=1 keep=1"), std::string::npos)
        << report;
    EXPECT_NE(report.find("outcome: Done"), std::string::npos) << report;
    EXPECT_NE(report.find("after: module=loaded row=0"), std::string::npos) << report;

    EXPECT_EQ(ourDevices(), (std::vector<std::string>{"Lumora直播伴侣", "Lumora直播伴侣 2"}));
    std::string exclusive = contentsOf("/sys/module/v4l2loopback/parameters/exclusive_caps");
    EXPECT_EQ(exclusive.substr(0, 4), "Y,Y,") << exclusive;
    for (const LoopbackBootFile& file : loopbackBootFiles()) {
        EXPECT_EQ(contentsOf(etcFile(file)), file.text) << etcFile(file);
    }
}

TEST_F(LoopbackSetupKernelTest, WithoutTheKeepBoxNothingIsWrittenToEtc) {
    writeRule("YES");
    PolkitMachine polkit;
    ASSERT_TRUE(polkit.ready()) << "polkitd did not come onto the system bus";

    std::string report = setUpAsUser("once");
    EXPECT_NE(report.find("outcome: Done"), std::string::npos) << report;
    EXPECT_EQ(ourDevices().size(), 2u) << report;
    for (const LoopbackBootFile& file : loopbackBootFiles()) {
        EXPECT_FALSE(fs::exists(etcFile(file))) << etcFile(file);
    }
}

TEST_F(LoopbackSetupKernelTest, ARefusingRuleLoadsNothingAndSaysSo) {
    writeRule("NO");
    PolkitMachine polkit;
    ASSERT_TRUE(polkit.ready()) << "polkitd did not come onto the system bus";

    std::string report = setUpAsUser("keep");
    EXPECT_NE(report.find("outcome: NotAuthorized"), std::string::npos) << report;
    EXPECT_NE(report.find("message: 没有获得授权，虚拟摄像头设备没有创建"), std::string::npos)
        << report;
    EXPECT_NE(report.find("after: module=installed row=1 button=1"), std::string::npos)
        << "the button stays for another try: " << report;
    EXPECT_FALSE(fs::exists("/sys/module/v4l2loopback"));
    for (const LoopbackBootFile& file : loopbackBootFiles()) {
        EXPECT_FALSE(fs::exists(etcFile(file))) << etcFile(file);
    }
}

TEST_F(LoopbackSetupKernelTest, WithoutARuleOrAnAgentToAskNothingIsLoaded) {
    PolkitMachine polkit;
    ASSERT_TRUE(polkit.ready()) << "polkitd did not come onto the system bus";

    std::string report = setUpAsUser("once");
    EXPECT_NE(report.find("outcome: NoAgent"), std::string::npos) << report;
    EXPECT_NE(report.find("message: 没有可用的身份验证程序（polkit 代理），虚拟摄像头设备没有创建"),
              std::string::npos)
        << report;
    EXPECT_FALSE(fs::exists("/sys/module/v4l2loopback"));
}
