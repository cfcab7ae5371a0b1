#include "tests/support/local_web_server.h"

namespace {
// Pages post their reports, pictures' numbers among them.
constexpr size_t kMaxRequest = 4 << 20;
}  // namespace

LocalWebServer::LocalWebServer(std::string page)
    : page_(std::move(page)),
      server_(kMaxRequest,
              [this](int connection, const std::string& request) { answer(connection, request); }) {
}

LocalWebServer::~LocalWebServer() = default;

std::string LocalWebServer::url(const std::string& query) const {
    std::string address = "http://127.0.0.1:" + std::to_string(server_.port()) + "/camera.html";
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

void LocalWebServer::answer(int connection, const std::string& request) {
    size_t pathStart = request.find(' ') + 1;
    std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    if (request.rfind("POST ", 0) == 0) {
        std::string body = request.substr(request.find("\r\n\r\n") + 4);
        {
            std::lock_guard<std::mutex> guard(lock_);
            posts_.push_back({path, std::move(body), std::chrono::system_clock::now()});
        }
        posted_.notify_all();
        LoopbackHttpServer::sendAll(connection,
                                    "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
        return;
    }
    if (path.rfind("/camera.html", 0) != 0) {
        LoopbackHttpServer::sendAll(
            connection, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
    }
    LoopbackHttpServer::sendAll(connection,
                                "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                                "Cache-Control: no-store\r\nContent-Length: " +
                                    std::to_string(page_.size()) + "\r\nConnection: close\r\n\r\n" +
                                    page_);
}
