#include "tests/support/publish_gate.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {
constexpr int kPollMs = 50;
constexpr size_t kMaxRequest = 64 << 10;

// The request's headers and its Content-Length bytes of body; empty when
// the peer went away or took more than 5 s.
std::string readRequest(int fd) {
    std::string request;
    char chunk[4096];
    for (;;) {
        size_t headerEnd = request.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
            size_t length = 0;
            for (const char* name : {"Content-Length:", "content-length:"}) {
                size_t at = request.find(name);
                if (at != std::string::npos && at < headerEnd) {
                    length = std::strtoul(request.c_str() + at + 15, nullptr, 10);
                }
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

// The value of `name` in a form body (name=value&...), undecoded: the test's
// keys are plain letters and digits.
std::string formValue(const std::string& body, const std::string& name) {
    size_t at = 0;
    while (at < body.size()) {
        size_t end = body.find('&', at);
        if (end == std::string::npos) {
            end = body.size();
        }
        if (body.compare(at, name.size() + 1, name + "=") == 0) {
            return body.substr(at + name.size() + 1, end - at - name.size() - 1);
        }
        at = end + 1;
    }
    return {};
}

void sendAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<size_t>(n);
    }
}
}  // namespace

PublishGate::PublishGate(std::string acceptedKey) : acceptedKey_(std::move(acceptedKey)) {
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

PublishGate::~PublishGate() {
    if (listenFd_ >= 0) {
        stop_.store(true);
        thread_.join();
        ::close(listenFd_);
    }
}

std::string PublishGate::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/publish";
}

int PublishGate::attempts(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = attempts_.find(key);
    return found == attempts_.end() ? 0 : found->second;
}

// Until the destructor asks it to stop; it looks every kPollMs.
void PublishGate::serve() {
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

void PublishGate::answer(int connection) {
    std::string request = readRequest(connection);
    if (request.empty()) {
        return;
    }
    std::string body = request.substr(request.find("\r\n\r\n") + 4);
    std::string key = formValue(body, "name");
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++attempts_[key];
    }
    const bool accepted = formValue(body, "call") == "publish" && key == acceptedKey_;
    sendAll(connection, accepted
                            ? "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                            : "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n"
                              "Connection: close\r\n\r\n");
}
