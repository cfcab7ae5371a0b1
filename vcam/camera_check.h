#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/language.h"
#include "vcam/picture_mode.h"

// What stands in the way of the virtual camera, for `lumora-vcam --check`
// and the camera panel: each finding with the command that mends it. A
// finding that does not block keeps only some programs (a browser, say)
// from the camera.
struct CameraFinding {
    std::string problem;
    std::string mend;
    bool blocking = true;
};

// Where the check looks; the defaults are the machine's own, tests point
// them elsewhere.
struct CameraCheckPlaces {
    std::string moduleDir = "/sys/module/v4l2loopback";
    // The running kernel's modules, where an unloaded v4l2loopback is
    // found; empty: /lib/modules/<uname -r>.
    std::string modulesDir;
    std::string procDir = "/proc";
    std::vector<std::string> devices;           // devices to look at; empty: those labelled for us
    std::function<std::string()> kernelLog;     // readable kernel messages, may be empty
    std::function<bool()> pipeWireAnswers;      // whether a PipeWire daemon answers
    std::function<bool()> sessionManagerRuns;   // whether WirePlumber links programs to it
    std::function<bool()> cameraPortalAnswers;  // whether browsers can reach its cameras
    std::function<std::vector<std::string>()> browsersWithoutPipeWireCamera;
    std::function<std::vector<std::string>()> labelledDevices;   // devices labelled for us
    std::function<std::string(const std::string&)> deviceLabel;  // a device's card label
    // The picture size a device takes now; nothing when it does not say.
    std::function<std::optional<PictureSize>(const std::string&)> deviceSize;
    // What Lumora's channel carries now; nothing when no writer runs.
    std::function<std::optional<PictureMode>()> channelMode;
    // The language of the findings' words; commands stay as they are.
    Language language = Language::English;
};

// What the channel carries now, read from its header; nothing when no
// writer has published a picture.
std::optional<PictureMode> channelModeNow();

// The machine's own places and probes, in the language of programLanguage().
CameraCheckPlaces machineCheckPlaces();

// Every finding; none blocking when some road to a camera is open. Probes
// left empty find nothing.
std::vector<CameraFinding> checkVirtualCamera(const CameraCheckPlaces& places);

// One finding a line, "problem: mend" ("problem：mend" in Chinese).
std::string describeFindings(const std::vector<CameraFinding>& findings,
                             Language language = Language::English);
bool anyBlocking(const std::vector<CameraFinding>& findings);
