#pragma once

#include <string>
#include <vector>

// What a desktop needs beside PipeWire before programs, browsers above all,
// can use a PipeWire camera. Each probe answers within about two seconds.

// Whether a session manager (WirePlumber, or the older media session) is a
// client of the PipeWire daemon of this session: without one nothing links
// a program to the camera.
bool pipeWireSessionManagerRuns();

// Whether the session bus offers xdg-desktop-portal's Camera portal, through
// which browsers reach PipeWire cameras.
bool cameraPortalAnswers();

// The browser profiles under `home` that do not take PipeWire cameras, as
// "Firefox (profile NAME)" or "Chromium"; profiles that take them and
// browsers never started are left out.
std::vector<std::string> browsersWithoutPipeWireCamera(const std::string& home);
