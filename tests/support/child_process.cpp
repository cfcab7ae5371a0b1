#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace {
bool waitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return false;
    }
    pollfd entry{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}
}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && wait(std::chrono::milliseconds(0)) == -1) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (readFd_ >= 0) {
        ::close(readFd_);
    }
}

bool ChildProcess::fork(const std::function<int(int)>& body) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(fds[0]);
        ::_exit(body(fds[1]));
    }
    ::close(fds[1]);
    readFd_ = fds[0];
    return pid_ > 0;
}

bool ChildProcess::spawn(const std::string& program, const std::vector<std::string>& arguments) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    int result = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    readFd_ = fds[0];
    return result == 0;
}

bool ChildProcess::readExactly(void* buffer, size_t size, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto* out = static_cast<char*>(buffer);
    size_t fromPending = std::min(size, pending_.size());
    std::memcpy(out, pending_.data(), fromPending);
    pending_.erase(0, fromPending);
    size_t done = fromPending;
    while (done < size) {
        if (!waitReadable(readFd_, deadline)) {
            return false;
        }
        ssize_t got = ::read(readFd_, out + done, size - done);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool ChildProcess::hasOutput() {
    return !pending_.empty() ||
           waitReadable(readFd_, std::chrono::steady_clock::now() + std::chrono::milliseconds(1));
}

bool ChildProcess::readLine(std::string* line, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            *line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        if (!waitReadable(readFd_, deadline)) {
            return false;
        }
        char chunk[4096];
        ssize_t got = ::read(readFd_, chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        pending_.append(chunk, static_cast<size_t>(got));
    }
}

void ChildProcess::signal(int signalNumber) {
    if (pid_ > 0) {
        ::kill(pid_, signalNumber);
    }
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written <= 0) {
            return;
        }
        done += static_cast<size_t>(written);
    }
}

namespace {
// `text` as one word of the shell, whatever it holds.
std::string shellWord(const std::string& text) {
    std::string word = "'";
    for (char c : text) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}
}  // namespace

std::string commandOutput(const std::string& command, std::chrono::seconds limit) {
    std::string output;
    const std::string bounded = "timeout -k 5 " + std::to_string(limit.count()) + " sh -c " +
                                shellWord(command) + " </dev/null";
    FILE* pipe = popen(bounded.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output.append(chunk, got);
    }
    pclose(pipe);
    return output;
}

std::string programBeside(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}
