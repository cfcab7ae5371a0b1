#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A program of ours that runs beside the application for as long as it runs
// (lumora-vcam feeding the camera device). Ended politely, then firmly.
class HelperProcess {
public:
    HelperProcess() = default;
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Starts `program` with `arguments`; false when it could not be started.
    bool start(const std::string& program, const std::vector<std::string>& arguments);
    // Sends SIGTERM, waits up to two seconds, then SIGKILL. Nothing when not running.
    void stop();
    // Whether it still runs; an ended helper is reaped here (no zombie stays).
    bool isRunning();
    // The last start could not run the program, or the helper it ran ended
    // by itself with a failure: killed by a signal or a non-zero exit. Not
    // when it finished well or was stopped by us.
    bool failed() const { return failed_; }

private:
    pid_t pid_ = -1;
    bool failed_ = false;
};

// The folder that holds this executable, where our other programs sit.
std::string executableDirectory();
