#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/loopback_http_server.h"

// A small HTTP server on 127.0.0.1 for pages that browsers open in tests: it
// serves one page and keeps every body posted to it, so a page reports what
// it saw. One connection at a time, each closed after its answer.
class LocalWebServer {
public:
    struct Post {
        std::string path;  // "/events", ...
        std::string body;
        std::chrono::system_clock::time_point when;
    };

    // Serves `page` (UTF-8 HTML) at every GET.
    explicit LocalWebServer(std::string page);
    ~LocalWebServer();
    LocalWebServer(const LocalWebServer&) = delete;
    LocalWebServer& operator=(const LocalWebServer&) = delete;

    // False when no port could be had.
    bool listening() const { return server_.listening(); }
    // The page's address, with `query` after "?" when given.
    std::string url(const std::string& query = {}) const;

    // Every post so far.
    std::vector<Post> posts() const;
    // Waits until `condition` holds over the posts; false at the deadline.
    bool waitFor(const std::function<bool(const std::vector<Post>&)>& condition,
                 std::chrono::milliseconds timeout);

private:
    void answer(int connection, const std::string& request);

    std::string page_;
    mutable std::mutex lock_;  // guards posts_ between the serving thread and the test
    std::condition_variable posted_;
    std::vector<Post> posts_;
    LoopbackHttpServer server_;  // last: its thread ends before the rest goes
};
