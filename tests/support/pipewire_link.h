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
