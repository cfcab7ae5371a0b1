#include "tests/support/rtmp_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/support/eventually.h"

namespace {
using namespace std::chrono_literals;

bool acceptsConnections(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

std::string nginxProgram() {
    for (const char* candidate : {"/usr/sbin/nginx", "/usr/bin/nginx"}) {
        if (::access(candidate, X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}
}  // namespace

int unusedLocalPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

RtmpServer::RtmpServer(std::string acceptedKey) : gate_(std::move(acceptedKey)) {}

RtmpServer::~RtmpServer() { stop(); }

// One process without workers (master_process off), so that it never
// changes to another user and a signal reaches the process that serves.
bool RtmpServer::writeConfig(std::string* problem) const {
    std::error_code ignored;
    std::filesystem::create_directories(prefix_.file("records"), ignored);
    std::ofstream config(prefix_.file("nginx.conf"));
    config << "load_module " << kModule << ";\n"
           << "master_process off;\n"
           << "pid " << prefix_.file("nginx.pid") << ";\n"
           << "error_log " << prefix_.file("error.log") << " info;\n"
           << "events { worker_connections 64; }\n"
           << "rtmp {\n"
           << "  server {\n"
           << "    listen 127.0.0.1:" << port_ << ";\n"
           << "    application live {\n"
           << "      live on;\n"
           << "      record all;\n"
           << "      record_path " << prefix_.file("records") << ";\n"
           << "      record_unique off;\n"
           << "      on_publish " << gate_.url() << ";\n"
           << "    }\n"
           << "  }\n"
           << "}\n";
    if (!config) {
        *problem = "cannot write " + prefix_.file("nginx.conf");
        return false;
    }
    return true;
}

bool RtmpServer::start(std::string* problem) {
    if (running()) {
        return true;
    }
    const std::string program = nginxProgram();
    if (program.empty() || ::access(kModule, R_OK) != 0) {
        *problem = "nginx or its RTMP module is not installed (nginx-light, libnginx-mod-rtmp)";
        return false;
    }
    if (!gate_.listening()) {
        *problem = "the publish hook has no port";
        return false;
    }
    if (port_ == 0) {
        port_ = unusedLocalPort();
    }
    if (!writeConfig(problem)) {
        return false;
    }
    // -e: nginx's own start-up messages go to the prefix too, never to the
    // system's log folder.
    nginx_ = std::make_unique<ChildProcess>();
    if (!nginx_->spawn(program, {"-p", prefix_.file(""), "-c", prefix_.file("nginx.conf"), "-e",
                                 prefix_.file("error.log"), "-g", "daemon off;"})) {
        nginx_.reset();
        *problem = "cannot start " + program;
        return false;
    }
    if (!waitUntilListening()) {
        *problem = "nginx did not listen on port " + std::to_string(port_) + ":\n" + log();
        stop();
        return false;
    }
    return true;
}

bool RtmpServer::waitUntilListening() {
    return eventually(
               [this] {
                   // A server that ended (a port taken, a bad configuration) never
                   // will listen.
                   return nginx_->wait(0ms) != -1 || acceptsConnections(port_);
               },
               10s) &&
           nginx_->pid() > 0;
}

bool RtmpServer::stop() {
    if (!nginx_) {
        return true;
    }
    bool ended = true;
    if (nginx_->pid() > 0) {
        nginx_->signal(SIGCONT);  // a paused server would not see the request to finish
        nginx_->signal(SIGQUIT);
        ended = nginx_->wait(10s) != -1;
    }
    nginx_.reset();  // kills one that did not end
    return ended;
}

void RtmpServer::kill() {
    if (nginx_ && nginx_->pid() > 0) {
        nginx_->signal(SIGKILL);
        nginx_->wait(10s);
    }
    nginx_.reset();
}

void RtmpServer::pause() {
    if (nginx_ && nginx_->pid() > 0) {
        nginx_->signal(SIGSTOP);
    }
}

void RtmpServer::resume() {
    if (nginx_ && nginx_->pid() > 0) {
        nginx_->signal(SIGCONT);
    }
}

std::string RtmpServer::address() const {
    return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live";
}

std::string RtmpServer::recordingOf(const std::string& key) const {
    return prefix_.file("records/" + key + ".flv");
}

std::string RtmpServer::log() const { return contentsOf(prefix_.file("error.log")); }
