#pragma once

#include <map>
#include <mutex>
#include <string>

#include "tests/support/loopback_http_server.h"

// The HTTP end of an RTMP server's publish hook (nginx-rtmp's on_publish):
// answers 200 when a stream is published under the accepted key and 403 for
// any other, and counts every attempt by key. Listens on 127.0.0.1, one
// connection at a time, each closed after its answer.
class PublishGate {
public:
    explicit PublishGate(std::string acceptedKey);
    ~PublishGate();
    PublishGate(const PublishGate&) = delete;
    PublishGate& operator=(const PublishGate&) = delete;

    // False when no port could be had.
    bool listening() const { return server_.listening(); }
    // Where the hook posts: http://127.0.0.1:<port>/publish.
    std::string url() const;
    // How many times a stream was published under `key` so far.
    int attempts(const std::string& key) const;

private:
    void answer(int connection, const std::string& request);

    std::string acceptedKey_;
    mutable std::mutex lock_;  // guards attempts_ between the serving thread and the test
    std::map<std::string, int> attempts_;
    LoopbackHttpServer server_;  // last: its thread ends before the rest goes
};
