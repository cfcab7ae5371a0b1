#pragma once

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

// What feeds the loopback devices in a kernel test: Lumora's graph writing
// the virtual camera channel and lumora-vcam carrying it to the devices.

// Lumora's graph in a process of its own: the placeholder, marked last by a
// BrowserMarker, written to the virtual camera channel at 15 pictures a
// second until the object goes or it is killed.
class MarkedGraph {
public:
    MarkedGraph();
    bool started() const { return started_; }
    // Ends it with SIGKILL, as a crash would, the channel left as it was.
    void kill();

private:
    ChildProcess process_;
    bool started_ = false;
};

// lumora-vcam with the given arguments, its messages kept in a file; ended
// with SIGTERM when the object goes.
class VCamFeeder {
public:
    explicit VCamFeeder(std::vector<std::string> arguments);
    ~VCamFeeder();
    VCamFeeder(const VCamFeeder&) = delete;
    VCamFeeder& operator=(const VCamFeeder&) = delete;

    bool started() const { return started_; }
    bool running();
    // Sends `signal` and returns how it ended (as ChildProcess::wait does).
    int stop(int signal);
    std::string messages() const { return contentsOf(log_); }

private:
    ScratchDir scratch_;
    std::string log_;
    ChildProcess process_;
    bool started_ = false;
};

// Loads v4l2loopback with two devices labelled as the README says and
// returns them in label order; empty when the module did not load.
std::vector<std::string> loadLabelledLoopback();

// Whether a loopback device gives its readers pictures now (read from sysfs,
// without opening the device).
bool capturing(const std::string& device);
