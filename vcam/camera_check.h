#pragma once

#include <functional>
#include <string>
#include <vector>

// What stands in the way of the virtual camera, for `lumora-vcam --check`
// and the camera panel: each finding with the command that mends it.
struct CameraFinding {
    std::string problem;
    std::string mend;
};

// Where the check looks; the defaults are the machine's own, tests point
// them elsewhere.
struct CameraCheckPlaces {
    std::string moduleDir = "/sys/module/v4l2loopback";
    std::string procDir = "/proc";
    std::vector<std::string> devices;        // devices to look at; empty: those labelled for us
    std::function<std::string()> kernelLog;  // readable kernel messages, may be empty
    std::function<bool()> pipeWireAnswers;   // whether a PipeWire daemon answers
    std::function<std::vector<std::string>()> labelledDevices;   // devices labelled for us
    std::function<std::string(const std::string&)> deviceLabel;  // a device's card label
};

// The machine's own places and probes.
CameraCheckPlaces machineCheckPlaces();

// Every finding; none when some road to a camera is open.
std::vector<CameraFinding> checkVirtualCamera(const CameraCheckPlaces& places);

// One finding a line, "problem: mend".
std::string describeFindings(const std::vector<CameraFinding>& findings);
