#pragma once

#include <optional>
#include <string>

#include "tests/support/child_process.h"

// A session bus of the test's own: a dbus-daemon that starts no service by
// itself, so only what the test runs owns a name on it. While it lives,
// DBUS_SESSION_BUS_ADDRESS points at it, for the programs the test starts.
class PrivateSessionBus {
public:
    // `socket` is the path its socket is made at.
    explicit PrivateSessionBus(const std::string& socket);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Empty when the daemon did not start.
    const std::string& address() const { return address_; }

private:
    ChildProcess daemon_;
    std::string address_;
    std::optional<std::string> previous_;
};
