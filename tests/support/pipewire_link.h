#pragma once

#include <chrono>
#include <string>

// Links an output port to an input port of the PipeWire daemon the
// environment names, as a session manager would, once both exist
// ("node:port", as pw-link names them). False when they did not appear
// within `patience` or the link failed.
bool linkPipeWirePorts(const std::string& output, const std::string& input,
                       std::chrono::milliseconds patience = std::chrono::seconds(10));
