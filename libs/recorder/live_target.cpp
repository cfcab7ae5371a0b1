#include "libs/recorder/live_target.h"

#include <cctype>

namespace {
struct Scheme {
    const char* prefix;
    LiveTarget::Kind kind;
};
constexpr Scheme kSchemes[] = {{"rtmp://", LiveTarget::Kind::Rtmp},
                               {"rtmps://", LiveTarget::Kind::Rtmps},
                               {"srt://", LiveTarget::Kind::Srt}};

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// "host", "host:port" or "[v6 address]:port" into host and port; false when
// the port is not a number from 1 to 65535 or the host is empty.
bool splitAuthority(const std::string& authority, std::string* host, int* port) {
    size_t colon = authority.rfind(':');
    size_t bracket = authority.rfind(']');
    if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket)) {
        *host = authority;
        *port = 0;
    } else {
        *host = authority.substr(0, colon);
        std::string digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        *port = std::stoi(digits);
        if (*port < 1 || *port > 65535) {
            return false;
        }
    }
    if (host->size() >= 2 && host->front() == '[' && host->back() == ']') {
        *host = host->substr(1, host->size() - 2);
    }
    return !host->empty() && host->find_first_of(" /?#@") == std::string::npos;
}

// The SRT options without "passphrase=…": the passphrase is a secret and goes
// to the sink on its own.
std::string withoutPassphrase(const std::string& query) {
    std::string kept;
    size_t at = 0;
    while (at <= query.size()) {
        size_t end = query.find('&', at);
        if (end == std::string::npos) {
            end = query.size();
        }
        std::string option = query.substr(at, end - at);
        if (!option.empty() && option.rfind("passphrase=", 0) != 0) {
            kept += (kept.empty() ? "" : "&") + option;
        }
        at = end + 1;
    }
    return kept;
}
}  // namespace

std::optional<LiveTarget> parseLiveTarget(const std::string& given) {
    std::string address = given;
    while (!address.empty() && std::isspace(static_cast<unsigned char>(address.back()))) {
        address.pop_back();
    }
    while (!address.empty() && std::isspace(static_cast<unsigned char>(address.front()))) {
        address.erase(0, 1);
    }
    const Scheme* scheme = nullptr;
    for (const Scheme& candidate : kSchemes) {
        if (startsWithNoCase(address, candidate.prefix)) {
            scheme = &candidate;
        }
    }
    if (scheme == nullptr) {
        return std::nullopt;
    }
    LiveTarget target;
    target.kind = scheme->kind;
    const size_t authorityStart = std::string(scheme->prefix).size();
    size_t authorityEnd = address.find_first_of("/?", authorityStart);
    if (authorityEnd == std::string::npos) {
        authorityEnd = address.size();
    }
    if (!splitAuthority(address.substr(authorityStart, authorityEnd - authorityStart), &target.host,
                        &target.port)) {
        return std::nullopt;
    }
    std::string rest = address.substr(authorityEnd);
    if (target.kind == LiveTarget::Kind::Srt) {
        // A caller must know the listener's port; options may follow.
        if (target.port == 0 || (!rest.empty() && rest[0] != '?')) {
            return std::nullopt;
        }
        std::string options = rest.empty() ? std::string() : withoutPassphrase(rest.substr(1));
        target.address = address.substr(0, authorityEnd) + (options.empty() ? "" : "?" + options);
        return target;
    }
    while (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    // RTMP needs an application: rtmp://host/live, the key follows it.
    if (rest.size() < 2 || rest[0] != '/' || rest.find('?') != std::string::npos) {
        return std::nullopt;
    }
    target.address = address.substr(0, authorityEnd) + rest;
    return target;
}

int LiveTarget::serverPort() const {
    if (port != 0) {
        return port;
    }
    return kind == Kind::Rtmps ? 443 : 1935;  // an SRT address always names its port
}

std::string LiveTarget::sinkLocation(const std::string& key) const {
    if (kind != Kind::Srt) {
        return address + "/" + key;
    }
    std::string mode =
        address.find("mode=") == std::string::npos
            ? (address.find('?') == std::string::npos ? "?" : "&") + std::string("mode=caller")
            : std::string();
    return address + mode;
}

std::string withoutKey(std::string text, const std::string& key) {
    if (key.empty()) {
        return text;
    }
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 3)) {
        text.replace(at, key.size(), "***");
    }
    return text;
}
