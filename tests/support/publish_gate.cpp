#include "tests/support/publish_gate.h"

namespace {
// nginx-rtmp's hook posts a short form.
constexpr size_t kMaxRequest = 64 << 10;

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
}  // namespace

PublishGate::PublishGate(std::string acceptedKey)
    : acceptedKey_(std::move(acceptedKey)),
      server_(kMaxRequest,
              [this](int connection, const std::string& request) { answer(connection, request); }) {
}

PublishGate::~PublishGate() = default;

std::string PublishGate::url() const {
    return "http://127.0.0.1:" + std::to_string(server_.port()) + "/publish";
}

int PublishGate::attempts(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = attempts_.find(key);
    return found == attempts_.end() ? 0 : found->second;
}

void PublishGate::answer(int connection, const std::string& request) {
    std::string body = request.substr(request.find("\r\n\r\n") + 4);
    std::string key = formValue(body, "name");
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++attempts_[key];
    }
    const bool accepted = formValue(body, "call") == "publish" && key == acceptedKey_;
    LoopbackHttpServer::sendAll(
        connection, accepted ? "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                             : "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n"
                               "Connection: close\r\n\r\n");
}
