#include "tests/app/private_session_bus.h"

#include <cstdlib>
#include <fstream>

namespace {
using namespace std::chrono_literals;

// No service directory: nothing is started on demand.
void writeConfig(const std::string& path, const std::string& socket) {
    std::ofstream(path) << "<busconfig><type>session</type><listen>unix:path=" << socket
                        << "</listen><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                           "</policy></busconfig>";
}
}  // namespace

PrivateSessionBus::PrivateSessionBus(const std::string& socket) {
    if (const char* value = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        previous_ = value;
    }
    const std::string config = socket + ".conf";
    writeConfig(config, socket);
    if (!daemon_.spawn("/usr/bin/dbus-daemon",
                       {"--config-file=" + config, "--nofork", "--print-address=1"}) ||
        !daemon_.readLine(&address_, 20s)) {
        address_.clear();
        return;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

PrivateSessionBus::~PrivateSessionBus() {
    previous_ ? setenv("DBUS_SESSION_BUS_ADDRESS", previous_->c_str(), 1)
              : unsetenv("DBUS_SESSION_BUS_ADDRESS");
    // ChildProcess ends the daemon as it goes.
}
