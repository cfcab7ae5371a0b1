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
    bool isRunning();

private:
    pid_t pid_ = -1;
};

// The folder that holds this executable, where our other programs sit.
std::string executableDirectory();
