#include "tests/support/pipewire_link.h"

#include <cstdlib>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/eventually.h"

namespace {
bool linked(const std::string& output, const std::string& input) {
    std::string links = commandOutput("pw-link -l 2>/dev/null");
    size_t from = links.find(output + "\n");
    return from != std::string::npos && links.find("|-> " + input, from) != std::string::npos;
}

bool listed(const std::string& output) {
    return commandOutput("pw-link -o 2>/dev/null").find(output + "\n") != std::string::npos;
}

bool sessionManagerRuns() {
    return commandOutput("pw-cli ls Client 2>/dev/null").find("\"WirePlumber\"") !=
           std::string::npos;
}
}  // namespace

bool linkPipeWirePorts(const std::string& output, const std::string& input,
                       std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    bool managed = sessionManagerRuns();
    while (std::chrono::steady_clock::now() < deadline) {
        if (linked(output, input)) {
            return true;
        }
        // Linking beside a session manager races it ("File exists").
        if (!managed && listed(output) &&
            commandOutput("pw-link -i 2>/dev/null").find(input) != std::string::npos) {
            // pw-link may report a failure for a link it did make; the list decides.
            std::system(("pw-link '" + output + "' '" + input + "' >/dev/null 2>&1").c_str());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool awaitPipeWireOutput(const std::string& output, std::chrono::milliseconds patience) {
    return eventually([&] { return listed(output); }, patience);
}
