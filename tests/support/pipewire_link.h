#pragma once

#include <chrono>
#include <string>

// Sees an output port linked to an input port of the PipeWire daemon the
// environment names ("node:port", as pw-link names them). Where a session
// manager runs, it makes the link and this only waits for it; elsewhere the
// test links them itself, as a session manager would, once both exist.
// False when the link did not come within `patience`.
bool linkPipeWirePorts(const std::string& output, const std::string& input,
                       std::chrono::milliseconds patience = std::chrono::seconds(10));

// Waits until the daemon lists the output port ("node:port"). A consumer that
// names its target before the target's node exists is refused by a session
// manager ("no node available") and never linked, so a test starts its
// consumer only once the camera's node is there, as a browser lists cameras
// before it opens one. False when the port did not come within `patience`.
bool awaitPipeWireOutput(const std::string& output,
                         std::chrono::milliseconds patience = std::chrono::seconds(10));
