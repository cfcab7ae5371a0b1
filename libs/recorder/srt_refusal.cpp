#include "libs/recorder/srt_refusal.h"

#include <netdb.h>
#include <srt/srt.h>

#include "base/debug_log.h"

namespace {
// The listener's address, resolved as srtsink does (IPv4 or IPv6, UDP).
addrinfo* resolve(const LiveTarget& target) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(target.host.c_str(), std::to_string(target.port).c_str(), &hints, &found) !=
        0) {
        return nullptr;
    }
    return found;
}

// A blocking caller that sends, with the passphrase and a short time limit.
SRTSOCKET makeCaller(const std::string& passphrase) {
    SRTSOCKET caller = srt_create_socket();
    if (caller == SRT_INVALID_SOCK) {
        return caller;
    }
    const int yes = 1;
    const int limit = kAskLimitMs;
    srt_setsockopt(caller, 0, SRTO_SENDER, &yes, sizeof yes);
    srt_setsockopt(caller, 0, SRTO_CONNTIMEO, &limit, sizeof limit);
    srt_setsockopt(caller, 0, SRTO_PASSPHRASE, passphrase.c_str(),
                   static_cast<int>(passphrase.size()));
    return caller;
}
}  // namespace

LiveStopReason askSrtListener(const LiveTarget& target, const std::string& passphrase) {
    addrinfo* address = resolve(target);
    if (address == nullptr) {
        return LiveStopReason::ConnectionRefused;
    }
    srt_startup();
    SRTSOCKET caller = makeCaller(passphrase);
    int refusal = SRT_REJ_UNKNOWN;  // stays so when the listener takes the caller
    if (caller != SRT_INVALID_SOCK) {
        if (srt_connect(caller, address->ai_addr, static_cast<int>(address->ai_addrlen)) ==
            SRT_ERROR) {
            refusal = srt_getrejectreason(caller);
        }
        srt_close(caller);
    }
    srt_cleanup();
    ::freeaddrinfo(address);
    debugLog("LiveStream, the SRT listener at %s: %s", target.shown().c_str(),
             refusal == SRT_REJ_UNKNOWN ? "took the passphrase" : srt_rejectreason_str(refusal));
    return refusal == SRT_REJ_BADSECRET || refusal == SRT_REJ_UNSECURE
               ? LiveStopReason::KeyRefused
               : LiveStopReason::ConnectionRefused;
}
