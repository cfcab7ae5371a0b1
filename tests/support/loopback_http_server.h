#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

// What the small HTTP servers of the tests share: a listening socket on a
// free port of 127.0.0.1, a thread that takes one connection at a time, reads
// its whole request and hands it to the owner's answer, then closes it.
//
// The owner keeps this as its last member, so that the serving thread has
// ended (this is destroyed first) before anything the answer uses goes.
class LoopbackHttpServer {
public:
    // Called on the serving thread with the connection and its request (the
    // headers and Content-Length bytes of body).
    using Answer = std::function<void(int connection, const std::string& request)>;

    // Listens at once; a request longer than `maxRequest` is dropped.
    LoopbackHttpServer(size_t maxRequest, Answer answer);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // False when no port could be had.
    bool listening() const { return listenFd_ >= 0; }
    int port() const { return port_; }

    // Sends all of `text`; false when the peer went away.
    static bool sendAll(int connection, const std::string& text);

private:
    void serve();
    std::string readRequest(int connection) const;

    size_t maxRequest_;
    Answer answer_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
