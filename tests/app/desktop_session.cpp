#include "tests/app/desktop_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace {
using namespace std::chrono_literals;

class PrivateDisplay : public ::testing::Environment {
public:
    void SetUp() override { start(); }
    void TearDown() override { end(); }

    void start() {
        server_ = std::make_unique<ChildProcess>();
        ASSERT_TRUE(server_->spawn("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0",
                                                     "1280x1024x24", "-nolisten", "tcp"}));
        std::string number;
        ASSERT_TRUE(server_->readLine(&number, 20s)) << "Xvfb did not start";
        setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    void end() {
        if (server_ && server_->pid() > 0) {
            server_->signal(SIGTERM);
            server_->wait();
        }
        server_.reset();
    }
    // Whether it still runs, or how it ended.
    std::string state() {
        if (!server_ || server_->pid() <= 0) {
            return "ended";
        }
        const int code = server_->wait(std::chrono::milliseconds(0));
        return code == -1 ? "runs" : "ended with " + std::to_string(code);
    }

private:
    std::unique_ptr<ChildProcess> server_;
};
PrivateDisplay* const g_display =
    static_cast<PrivateDisplay*>(::testing::AddGlobalTestEnvironment(new PrivateDisplay));
}  // namespace

DesktopHome::DesktopHome() {
    setenv("HOME", folder.file("").c_str(), 1);
    setenv("XDG_CONFIG_HOME", folder.file("config").c_str(), 1);
    setenv("XDG_CACHE_HOME", folder.file("cache").c_str(), 1);
    setenv("XDG_STATE_HOME", folder.file("state").c_str(), 1);
    std::string runtime = folder.file("run");
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("LUMORA_FAKE_CAMERAS", "1", 1);
    setenv("LUMORA_CRASH_REPORTER", "", 1);
    // The walks click and read the Chinese window, whatever the machine's locale.
    setenv("LUMORA_LANG", "zh", 1);
    unsetenv("QT_QPA_PLATFORM");
}

std::string DesktopHome::settings() const {
    return contentsOf(folder.file("config/LumoraBox/Lumora.conf"));
}

bool privateDisplayAnswers() {
    // It names the property whether or not the root window has it.
    return commandOutput("xprop -root _NET_SUPPORTING_WM_CHECK 2>&1", 10s)
               .find("_NET_SUPPORTING_WM_CHECK") != std::string::npos;
}

std::string privateDisplayReport() {
    return std::string("DISPLAY=") + getenv("DISPLAY") + ", its Xvfb " + g_display->state() +
           "; the X sockets and locks:\n" +
           commandOutput("ls -la --time-style=full-iso /tmp/.X11-unix/ /tmp/.X*-lock 2>&1", 10s);
}

void restartPrivateDisplay() {
    g_display->end();
    g_display->start();
}

std::unique_ptr<ChildProcess> startLumora() {
    auto lumora = std::make_unique<ChildProcess>();
    EXPECT_TRUE(lumora->spawn("/bin/sh", {"-c", "exec \"$0\" 2>&1", LUMORA_PROGRAM}));
    return lumora;
}

std::string visibleWindow(const std::string& name, std::chrono::seconds limit) {
    ChildProcess search;
    search.spawn("/usr/bin/timeout", {std::to_string(limit.count()), "xdotool", "search", "--sync",
                                      "--onlyvisible", "--name", name});
    std::string id;
    search.readLine(&id, limit + 5s);
    search.wait();
    return id;
}

bool readsLine(ChildProcess& process, const std::string& wanted, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.readLine(&line, 1s))
            continue;
        if (line.find(wanted) != std::string::npos)
            return true;
    }
    return false;
}

void xdotool(const std::vector<std::string>& arguments) {
    ChildProcess tool;
    tool.spawn("/usr/bin/xdotool", arguments);
    tool.wait();
}

void clickAt(const std::string& window, int x, int y, int settleMs) {
    xdotool({"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1"});
    usleep(settleMs * 1000);
}

void screenshot(const std::string& path) {
    ChildProcess grab;
    grab.spawn("/usr/bin/ffmpeg",
               {"-loglevel", "error", "-y", "-f", "x11grab", "-video_size", "1280x1024", "-i",
                getenv("DISPLAY"), "-frames:v", "1", "-vf", "crop=1000:700:0:0", path});
    grab.wait(std::chrono::seconds(20));
}
