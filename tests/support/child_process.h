#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// A real second process for cross-process tests, with a pipe from its
// standard output (or from a forked function's writes) to the test.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Forks; the child runs `body` with the write end of the pipe, then exits
    // with its result.
    bool fork(const std::function<int(int writeFd)>& body);
    // Starts a program with its standard output on the pipe.
    bool spawn(const std::string& program, const std::vector<std::string>& arguments);

    // Reads exactly `size` bytes; false on end of stream or time-out.
    bool readExactly(void* buffer, size_t size,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads one line (without the line feed); false on end of stream or time-out.
    bool readLine(std::string* line, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Whether something the child wrote (or its end) can be read without waiting.
    bool hasOutput();

    void signal(int signalNumber);
    // Waits for the child to end; its exit code, 128 + signal when killed, or
    // -1 on time-out.
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int readFd_ = -1;
    std::string pending_;
};

// Writes a whole text to a descriptor (for forked children reporting back).
void writeAll(int fd, const std::string& text);

// The path of a program built beside this test program (lumora-vcam, ...).
std::string programBeside(const std::string& name);

// Runs a shell command, with nothing on its standard input, and returns all
// it wrote on standard output. A command still running after `limit` is
// ended (TERM, then KILL 5 s later), so that a hung child fails its test with
// what it said instead of holding the test up to its bound.
std::string commandOutput(const std::string& command,
                          std::chrono::seconds limit = std::chrono::seconds(120));
