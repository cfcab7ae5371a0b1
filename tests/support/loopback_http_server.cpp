#include "tests/support/loopback_http_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {
// The serving thread looks for a stop this often.
constexpr int kPollMs = 50;
// A peer that sends nothing for this long is dropped.
constexpr int kQuietMs = 5000;

// The Content-Length of a request whose headers end at `headerEnd`; 0 when
// it has none.
size_t bodyLength(const std::string& request, size_t headerEnd) {
    for (const char* name : {"Content-Length:", "content-length:"}) {
        size_t at = request.find(name);
        if (at != std::string::npos && at < headerEnd) {
            return std::strtoul(request.c_str() + at + 15, nullptr, 10);
        }
    }
    return 0;
}
}  // namespace

LoopbackHttpServer::LoopbackHttpServer(size_t maxRequest, Answer answer)
    : maxRequest_(maxRequest), answer_(std::move(answer)) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    listenFd_ = fd;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    if (listenFd_ >= 0) {
        stop_.store(true);
        thread_.join();
        ::close(listenFd_);
    }
}

bool LoopbackHttpServer::sendAll(int connection, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(connection, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Until the destructor asks it to stop.
void LoopbackHttpServer::serve() {
    while (!stop_.load()) {
        pollfd incoming{listenFd_, POLLIN, 0};
        int ready = ::poll(&incoming, 1, kPollMs);
        if (ready < 0 || (incoming.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return;
        }
        if (ready == 0) {
            continue;
        }
        int connection = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            return;
        }
        std::string request = readRequest(connection);
        if (!request.empty()) {
            answer_(connection, request);
        }
        ::close(connection);
    }
}

// The whole request; empty when the peer went away, fell quiet or sent more
// than maxRequest_.
std::string LoopbackHttpServer::readRequest(int connection) const {
    std::string request;
    char chunk[16384];
    for (;;) {
        size_t headerEnd = request.find("\r\n\r\n");
        if (headerEnd != std::string::npos &&
            request.size() >= headerEnd + 4 + bodyLength(request, headerEnd)) {
            return request;
        }
        pollfd readable{connection, POLLIN, 0};
        if (::poll(&readable, 1, kQuietMs) <= 0 || request.size() > maxRequest_) {
            return {};
        }
        ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return {};
        }
        request.append(chunk, static_cast<size_t>(n));
    }
}
