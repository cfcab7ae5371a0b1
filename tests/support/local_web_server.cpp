#include "tests/support/local_web_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {
constexpr int kPollMs = 100;
constexpr size_t kMaxRequest = 4 << 20;

bool sendAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads until the headers and `Content-Length` bytes of body are in; the
// whole request, or empty when the peer went away or took too long.
std::string readRequest(int fd) {
    std::string request;
    char chunk[16384];
    for (;;) {
        size_t headerEnd = request.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
            size_t length = 0;
            size_t at = request.find("Content-Length:");
            if (at == std::string::npos) {
                at = request.find("content-length:");
            }
            if (at != std::string::npos && at < headerEnd) {
                length = std::strtoul(request.c_str() + at + 15, nullptr, 10);
            }
            if (request.size() >= headerEnd + 4 + length) {
                return request;
            }
        }
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 5000) <= 0 || request.size() > kMaxRequest) {
            return {};
        }
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return {};
        }
        request.append(chunk, static_cast<size_t>(n));
    }
}
}  // namespace

LocalWebServer::LocalWebServer(std::string page) : page_(std::move(page)) {
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

LocalWebServer::~LocalWebServer() {
    if (listenFd_ >= 0) {
        stop_.store(true);
        thread_.join();
        ::close(listenFd_);
    }
}

std::string LocalWebServer::url(const std::string& query) const {
    std::string address = "http://127.0.0.1:" + std::to_string(port_) + "/camera.html";
    return query.empty() ? address : address + "?" + query;
}

std::vector<LocalWebServer::Post> LocalWebServer::posts() const {
    std::lock_guard<std::mutex> guard(lock_);
    return posts_;
}

bool LocalWebServer::waitFor(const std::function<bool(const std::vector<Post>&)>& condition,
                             std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    return posted_.wait_for(guard, timeout, [&] { return condition(posts_); });
}

// Until the destructor asks it to stop; it looks every kPollMs.
void LocalWebServer::serve() {
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
        answer(connection);
        ::close(connection);
    }
}

void LocalWebServer::answer(int connection) {
    std::string request = readRequest(connection);
    if (request.empty()) {
        return;
    }
    size_t pathStart = request.find(' ') + 1;
    std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    if (request.rfind("POST ", 0) == 0) {
        std::string body = request.substr(request.find("\r\n\r\n") + 4);
        {
            std::lock_guard<std::mutex> guard(lock_);
            posts_.push_back({path, std::move(body), std::chrono::system_clock::now()});
        }
        posted_.notify_all();
        sendAll(connection, "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
        return;
    }
    if (path.rfind("/camera.html", 0) != 0) {
        sendAll(connection,
                "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
    }
    sendAll(connection,
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
            "Cache-Control: no-store\r\nContent-Length: " +
                std::to_string(page_.size()) + "\r\nConnection: close\r\n\r\n" + page_);
}
