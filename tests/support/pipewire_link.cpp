#include "tests/support/pipewire_link.h"

#include <cstdlib>
#include <thread>

#include "tests/support/child_process.h"

bool linkPipeWirePorts(const std::string& output, const std::string& input,
                       std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (commandOutput("pw-link -o 2>/dev/null").find(output) != std::string::npos &&
            commandOutput("pw-link -i 2>/dev/null").find(input) != std::string::npos) {
            // pw-link may report a failure for a link it did make; the list decides.
            int made =
                std::system(("pw-link '" + output + "' '" + input + "' >/dev/null 2>&1").c_str());
            return made == 0 ||
                   commandOutput("pw-link -l 2>/dev/null").find(input) != std::string::npos;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
