#pragma once

#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/publish_gate.h"
#include "tests/support/test_media.h"

// A real RTMP server for tests: nginx with Debian's nginx-rtmp module, run as
// the test's own process (no root, no system service) in a scratch prefix on
// a free port of 127.0.0.1. Its application "live" takes streams published
// under the accepted key (its publish hook asks a PublishGate of the test)
// and records each to <key>.flv, which a test reads back once the stream
// ended.
class RtmpServer {
public:
    explicit RtmpServer(std::string acceptedKey);
    ~RtmpServer();
    RtmpServer(const RtmpServer&) = delete;
    RtmpServer& operator=(const RtmpServer&) = delete;

    // Starts nginx and waits (at most 10 s) until it takes connections. The
    // first start takes a free port; a start after stop() or kill() the
    // same one. False, with the reason in *problem, when it did not come up.
    bool start(std::string* problem);
    // Asks nginx to finish (SIGQUIT: streams end, recordings are closed) and
    // waits for it, at most 10 s, then kills it; true when it ended on its own.
    bool stop();
    // Kills nginx at once: a server that goes away mid-stream.
    void kill();
    // Stops nginx where it is (SIGSTOP): its connections stay open, but it
    // reads nothing more, so a sender's bytes pile up in the kernel until it
    // can send no more. resume() lets it go on (SIGCONT).
    void pause();
    void resume();
    bool running() const { return nginx_ != nullptr; }

    // rtmp://127.0.0.1:<port>/live, where streams are published.
    std::string address() const;
    int port() const { return port_; }
    // Where the stream published under `key` is recorded.
    std::string recordingOf(const std::string& key) const;
    // How many times a stream was published under `key`.
    int publishAttempts(const std::string& key) const { return gate_.attempts(key); }
    // nginx's own log so far, for a failing test's message.
    std::string log() const;

    // Where Debian installs the module.
    static constexpr const char* kModule = "/usr/lib/nginx/modules/ngx_rtmp_module.so";

private:
    bool writeConfig(std::string* problem) const;
    bool waitUntilListening();

    PublishGate gate_;
    ScratchDir prefix_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> nginx_;
};

// A port of 127.0.0.1 where nothing listens (it was free a moment ago).
int unusedLocalPort();
