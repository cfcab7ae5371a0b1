#include "tests/support/mutter_compositor.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include "tests/support/eventually.h"

namespace {
using namespace std::chrono_literals;

constexpr const char* kSocketName = "wayland-lumora-mutter";

void end(std::unique_ptr<ChildProcess>& process) {
    if (process == nullptr) {
        return;
    }
    process->signal(SIGTERM);
    if (process->wait(10s) == -1) {
        process->signal(SIGKILL);
        process->wait();
    }
    process.reset();
}
}  // namespace

MutterCompositor::MutterCompositor(int width, int height) : width_(width), height_(height) {
    // mkdtemp made it 0700 already; a runtime folder must never be more open.
    chmod(runtime_.file("").c_str(), 0700);
}

MutterCompositor::~MutterCompositor() { stop(); }

// No service directory: nothing is started on demand, so only mutter and
// what the test runs own names on it.
bool MutterCompositor::startBus(std::string* problem) {
    const std::string config = runtime_.file("bus.conf");
    std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path="
                          << runtime_.file("bus")
                          << "</listen><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                             "</policy></busconfig>";
    bus_ = std::make_unique<ChildProcess>();
    if (!bus_->spawn("/usr/bin/dbus-daemon",
                     {"--config-file=" + config, "--nofork", "--print-address=1"}) ||
        !bus_->readLine(&busAddress_, 20s)) {
        *problem = "the session bus did not start";
        return false;
    }
    return true;
}

std::vector<std::string> MutterCompositor::arguments() const {
    const std::string size = std::to_string(width_) + "x" + std::to_string(height_);
    // The nested window takes its size from the dummy monitor's mode.
    return {"XDG_RUNTIME_DIR=" + runtime_.file(""),
            "DBUS_SESSION_BUS_ADDRESS=" + busAddress_,
            "MUTTER_DEBUG_DUMMY_MODE_SPECS=" + size,
            "mutter",
            "--wayland",
            "--no-x11",
            "--nested",
            std::string("--wayland-display=") + kSocketName};
}

bool MutterCompositor::start(std::string* problem) {
    if (!startBus(problem)) {
        return false;
    }
    // Its output goes to a file: mutter writes as it likes, and a pipe
    // nobody reads would stop it.
    std::vector<std::string> shell{"-c", "exec env \"$@\" >\"$0\" 2>&1",
                                   runtime_.file("mutter.log")};
    for (const std::string& argument : arguments()) {
        shell.push_back(argument);
    }
    mutter_ = std::make_unique<ChildProcess>();
    if (!mutter_->spawn("/bin/sh", shell)) {
        *problem = "cannot start mutter";
        stop();
        return false;
    }
    bool listening = eventually(
        [&] {
            struct stat status {};
            return ::stat(display().c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
        },
        30s);
    if (!listening || mutter_->wait(0ms) != -1) {
        *problem = "mutter did not open its socket:\n" + log();
        stop();
        return false;
    }
    return true;
}

void MutterCompositor::stop() {
    end(mutter_);
    end(bus_);
}

std::string MutterCompositor::display() const { return runtime_.file(kSocketName); }

std::string MutterCompositor::log() const { return contentsOf(runtime_.file("mutter.log")); }
