#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
    bool listening() const { return listenFd_ >= 0; }
    // The page's address, with `query` after "?" when given.
    std::string url(const std::string& query = {}) const;

    // Every post so far.
    std::vector<Post> posts() const;
    // Waits until `condition` holds over the posts; false at the deadline.
    bool waitFor(const std::function<bool(const std::vector<Post>&)>& condition,
                 std::chrono::milliseconds timeout);

private:
    void serve();
    void answer(int connection);

    std::string page_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex lock_;  // guards posts_ between the serving thread and the test
    std::condition_variable posted_;
    std::vector<Post> posts_;
};
