#pragma once

#include <optional>
#include <string>

// Where a live stream goes, read from the server address a person pastes:
// rtmp://host[:port]/app[/more], rtmps://… or srt://host:port[?options].
// The stream key is kept apart: it is a secret, so the address shown in logs
// and messages never holds it (see shown()).
struct LiveTarget {
    enum class Kind { Rtmp, Rtmps, Srt };

    Kind kind = Kind::Rtmp;
    std::string host;
    int port = 0;  // 0: the scheme's own (1935 for RTMP, 443 for RTMPS)
    // The address as given, without a trailing "/" and for SRT without any
    // "passphrase=" option.
    std::string address;

    // The address for a log line or a message: without the key.
    const std::string& shown() const { return address; }
    // The server's port: the address's, or the scheme's own.
    int serverPort() const;
    // What the sink is pointed at: for RTMP the address and "/" + key, for
    // SRT the address in caller mode (its key goes in as the passphrase).
    std::string sinkLocation(const std::string& key) const;
};

// The target of `address`; empty when it is no address a stream can go to
// (another scheme, no host, no application for RTMP, no port for SRT).
std::optional<LiveTarget> parseLiveTarget(const std::string& address);

// `text` with every occurrence of `key` written as "***", for lines that
// might quote what they were given.
std::string withoutKey(std::string text, const std::string& key);
