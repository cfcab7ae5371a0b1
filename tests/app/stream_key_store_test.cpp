#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "app/stream_key_store.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_media.h"

// Stream keys kept in a real secret service (gnome-keyring on a private
// session bus) or, where none answers, in a file only its owner may read.
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Servers as people paste them, and strings no line- or '='-based format
// would survive.
std::vector<std::string> oddServers() {
    return {"rtmp://live.example.com/app",
            "srt://127.0.0.1:9000?streamid=#!::r=live/a,m=publish&x=1",
            "rtmps://host:443/path/with spaces/=/?q=\"quoted\"",
            "two\nlines\r\nand a tab\t",
            "直播服务器 rtmp://例子.中国/直播",
            "=",
            std::string(20000, 's') + "/end"};
}

// Every key carries a mark the file search looks for.
std::string keyFor(size_t index, const std::string& round) {
    return "KEYMARK-" + round + "-" + std::to_string(index) + "-秘钥=\"x\"";
}

mode_t modeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0;
}

bool logHolds(const LogCapture& log, const std::string& needle) {
    for (const auto& line : log.lines()) {
        if (line.find(needle) != std::string::npos) {
            return true;
        }
    }
    return false;
}

QString q(const std::string& text) { return QString::fromStdString(text); }

// A home of the test's own, its variables put back after.
class KeyHome : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR",
                                 "DBUS_SESSION_BUS_ADDRESS", "DISPLAY"}) {
            const char* value = std::getenv(name);
            saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
        setenv("HOME", home_.file("").c_str(), 1);
        // Not made yet, as on a fresh account.
        setenv("XDG_CONFIG_HOME", home_.file("config").c_str(), 1);
        setenv("XDG_DATA_HOME", home_.file("data").c_str(), 1);
        ::mkdir(home_.file("run").c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", home_.file("run").c_str(), 1);
        // Nothing listens there.
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + home_.file("run/no-bus")).c_str(), 1);
        unsetenv("DISPLAY");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        }
    }

    std::string keyFile() const { return home_.file("config/LumoraBox/stream_keys"); }

    // A session bus of the test's own that starts no service by itself, so
    // only what the test runs owns a name on it.
    void startBus() {
        std::string config = home_.file("bus.conf");
        std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path="
                              << home_.file("run/bus")
                              << "</listen><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                 "</policy></busconfig>";
        ASSERT_TRUE(bus_.spawn("/usr/bin/dbus-daemon",
                               {"--config-file=" + config, "--nofork", "--print-address=1"}));
        std::string address;
        ASSERT_TRUE(bus_.readLine(&address, 20s)) << "dbus-daemon did not start";
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }

    // gnome-keyring's secret service, its keyrings under the test's data
    // folder; the login keyring is made (or opened) with `password`.
    void startKeyring(ChildProcess& keyring) {
        ASSERT_TRUE(keyring.spawn("/bin/sh", {"-c",
                                              "exec gnome-keyring-daemon --foreground --unlock "
                                              "--components=secrets 2>/dev/null <<EOF\n"
                                              "the keyring's password\nEOF"}));
        ASSERT_TRUE(eventually([] { return secretServiceOwned(); }, 20s))
            << "gnome-keyring-daemon did not take org.freedesktop.secrets";
    }

    static bool secretServiceOwned() {
        return commandOutput(
                   "timeout 5 dbus-send --session --print-reply "
                   "--dest=org.freedesktop.DBus /org/freedesktop/DBus "
                   "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets "
                   "2>/dev/null")
                   .find("boolean true") != std::string::npos;
    }

    static std::string secretToolLookup(const std::string& server) {
        return commandOutput(
            "timeout 10 secret-tool lookup xdg:schema org.lumora.StreamKey "
            "server '" +
            server + "' 2>/dev/null");
    }

    ScratchDir home_;
    ChildProcess bus_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
}  // namespace

TEST_F(KeyHome, WithoutASecretServiceKeysLiveInAFileOnlyItsOwnerReads) {
    LogCapture log;
    const auto servers = oddServers();
    StreamKeyStore store;
    ASSERT_EQ(store.place(), StreamKeyStore::Place::PrivateFile);
    EXPECT_EQ(StreamKeyStore::privateFilePath().toStdString(), keyFile());
    EXPECT_TRUE(store.find(q(servers[0])).isEmpty()) << "nothing stored yet";

    for (size_t i = 0; i < servers.size(); ++i) {
        ASSERT_TRUE(store.store(q(servers[i]), q(keyFor(i, "first")))) << i;
    }
    // Before anything reads it (reading makes a file private again).
    EXPECT_EQ(modeOf(keyFile()), 0600u);
    EXPECT_EQ(modeOf(home_.file("config/LumoraBox")), 0700u) << "the folder it made";
    for (size_t i = 0; i < servers.size(); ++i) {
        EXPECT_EQ(store.find(q(servers[i])).toStdString(), keyFor(i, "first")) << i;
    }

    // A write killed before its rename left its temporary file; the next
    // write takes it away, and nothing that only looks like one.
    std::string leftOver = keyFile() + ".k3Y9zQ";
    std::string notOne = keyFile() + ".notes";
    std::ofstream(leftOver) << R"({"rtmp://a/b":"KEYMARK-left"})";
    std::ofstream(notOne) << "a person's own file";
    ::chmod(leftOver.c_str(), 0600);

    // Replaced and forgotten, the others untouched.
    ASSERT_TRUE(store.store(q(servers[1]), q(keyFor(1, "second"))));
    EXPECT_FALSE(fs::exists(leftOver));
    EXPECT_TRUE(fs::exists(notOne));
    fs::remove(notOne);
    ASSERT_TRUE(store.store(q(servers[3]), QString()));
    ASSERT_TRUE(store.store(q("never stored"), QString())) << "forgetting nothing is no failure";

    // A new run finds what the last one kept.
    StreamKeyStore nextRun;
    EXPECT_EQ(nextRun.place(), StreamKeyStore::Place::PrivateFile);
    for (size_t i = 0; i < servers.size(); ++i) {
        std::string wanted = i == 1 ? keyFor(1, "second") : i == 3 ? "" : keyFor(i, "first");
        EXPECT_EQ(nextRun.find(q(servers[i])).toStdString(), wanted) << i;
    }
    EXPECT_EQ(modeOf(keyFile()), 0600u);
    EXPECT_TRUE(filesHolding(home_.file(""), "KEYMARK", keyFile()).empty())
        << "a key outside the key file, e.g. "
        << filesHolding(home_.file(""), "KEYMARK", keyFile())[0];
    EXPECT_FALSE(logHolds(log, "KEYMARK")) << "a key in the log";

    // A write that fails half-way (the file size limit) leaves the old file
    // whole and no temporary file behind.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit tight = previous;
    tight.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    bool stored = store.store(q(servers[0]), q(std::string(10000, 'k') + "KEYMARK-big"));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(stored);
    EXPECT_EQ(nextRun.find(q(servers[0])).toStdString(), keyFor(0, "first"));
    EXPECT_EQ(nextRun.find(q(servers[1])).toStdString(), keyFor(1, "second"));
    int filesInFolder = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(home_.file("config/LumoraBox"))) {
        ++filesInFolder;
    }
    EXPECT_EQ(filesInFolder, 1) << "no temporary file left";
    EXPECT_FALSE(logHolds(log, "KEYMARK")) << "a key in the log";
}

TEST_F(KeyHome, AKeyFileOthersCouldReadIsMadePrivateAndAGarbledOneIsKept) {
    fs::create_directories(home_.file("config/LumoraBox"));
    std::ofstream(keyFile()) << R"({"rtmp://a/b":"KEYMARK-old"})";
    ::chmod(keyFile().c_str(), 0644);
    StreamKeyStore store;
    EXPECT_EQ(store.find("rtmp://a/b").toStdString(), "KEYMARK-old");
    EXPECT_EQ(modeOf(keyFile()), 0600u);

    // Not a key list: kept beside under another name, not written over.
    std::ofstream(keyFile()) << "not a key list KEYMARK-garbled";
    EXPECT_TRUE(store.find("rtmp://a/b").isEmpty());
    ASSERT_TRUE(store.store("rtmp://a/b", "KEYMARK-new"));
    EXPECT_EQ(store.find("rtmp://a/b").toStdString(), "KEYMARK-new");
    std::vector<std::string> kept = filesHolding(home_.file("config"), "KEYMARK-garbled");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_NE(kept[0], keyFile());
}

// A bus that answers without a secret service, and one that takes the
// connection and never answers: both end in the file, and the second
// within the store's own bound (the deadline here only catches a hang).
TEST_F(KeyHome, ABusWithoutASecretServiceOrOneThatNeverAnswersMeansTheFile) {
    startBus();
    EXPECT_EQ(StreamKeyStore().place(), StreamKeyStore::Place::PrivateFile);

    std::string silent = home_.file("run/silent");
    int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    std::snprintf(where.sun_path, sizeof where.sun_path, "%s", silent.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + silent).c_str(), 1);
    auto deciding = std::async(std::launch::async, [] { return StreamKeyStore().place(); });
    std::future_status decided = deciding.wait_for(60s);
    // Closing the listener drops the waiting connection, which frees a hung
    // store too, so the test ends either way.
    ::close(listener);
    ASSERT_EQ(decided, std::future_status::ready) << "hangs on a silent bus";
    EXPECT_EQ(deciding.get(), StreamKeyStore::Place::PrivateFile);
}

TEST_F(KeyHome, WithASecretServiceKeysGoToTheKeyringAndNowhereElse) {
    // A key kept in the file while no secret service ran.
    ASSERT_TRUE(StreamKeyStore().store("rtmp://from/before", "KEYMARK-from-file"));

    LogCapture log;
    startBus();
    ChildProcess keyring;
    startKeyring(keyring);
    const auto servers = oddServers();
    StreamKeyStore store;
    ASSERT_EQ(store.place(), StreamKeyStore::Place::SecretService);

    for (size_t i = 0; i < servers.size(); ++i) {
        ASSERT_TRUE(store.store(q(servers[i]), q(keyFor(i, "first")))) << i;
    }
    ASSERT_TRUE(store.store(q(servers[1]), q(keyFor(1, "second"))));
    ASSERT_TRUE(store.store(q(servers[3]), QString()));
    StreamKeyStore nextRun;
    ASSERT_EQ(nextRun.place(), StreamKeyStore::Place::SecretService);
    for (size_t i = 0; i < servers.size(); ++i) {
        std::string wanted = i == 1 ? keyFor(1, "second") : i == 3 ? "" : keyFor(i, "first");
        EXPECT_EQ(nextRun.find(q(servers[i])).toStdString(), wanted) << i;
    }
    // Another program reads it under our schema and server.
    EXPECT_EQ(secretToolLookup(servers[0]), keyFor(0, "first"));
    EXPECT_NE(commandOutput("timeout 10 secret-tool search xdg:schema org.lumora.StreamKey server "
                            "'rtmp://live.example.com/app' 2>&1")
                  .find("label = Lumora stream key (rtmp://live.example.com/app)"),
              std::string::npos);

    // The key from the file is still found, and moves out of the file when
    // stored again.
    EXPECT_EQ(store.find("rtmp://from/before").toStdString(), "KEYMARK-from-file");
    ASSERT_TRUE(store.store("rtmp://from/before", "KEYMARK-from-file"));
    EXPECT_EQ(secretToolLookup("rtmp://from/before"), "KEYMARK-from-file");

    // Only the keyring's encrypted file holds them.
    EXPECT_TRUE(fs::exists(home_.file("data/keyrings/login.keyring")));
    EXPECT_TRUE(filesHolding(home_.file(""), "KEYMARK").empty())
        << "a key in plain text, e.g. " << filesHolding(home_.file(""), "KEYMARK")[0];

    // A locked keyring that nobody can unlock here (no prompt runs) refuses
    // a new key; the old one stays, as a new start of the keyring daemon
    // shows.
    commandOutput(
        "timeout 10 dbus-send --session --print-reply --dest=org.freedesktop.secrets "
        "/org/freedesktop/secrets org.freedesktop.Secret.Service.Lock "
        "array:objpath:/org/freedesktop/secrets/collection/login");
    EXPECT_FALSE(store.store(q(servers[0]), "KEYMARK-refused"));
    EXPECT_FALSE(fs::exists(keyFile()) &&
                 contentsOf(keyFile()).find("KEYMARK-refused") != std::string::npos)
        << "a refused key does not go to the file instead";
    keyring.signal(SIGTERM);
    keyring.wait();
    ASSERT_TRUE(eventually([] { return !secretServiceOwned(); }, 20s));
    ChildProcess again;
    startKeyring(again);
    EXPECT_EQ(secretToolLookup(servers[0]), keyFor(0, "first"));
    // This run goes on with the new daemon: what it holds is found, and a
    // key stored now is there for others.
    EXPECT_EQ(store.find(q(servers[0])).toStdString(), keyFor(0, "first"));
    ASSERT_TRUE(store.store("rtmp://after/restart", "KEYMARK-after-restart"));
    EXPECT_EQ(secretToolLookup("rtmp://after/restart"), "KEYMARK-after-restart");
    EXPECT_FALSE(logHolds(log, "KEYMARK")) << "a key in the log";
    again.signal(SIGTERM);
    again.wait();

    // The program outlives its session bus (GLib's shared connection would
    // end it as the bus goes): the keyring is then a refusal, no more.
    int argc = 1;
    char name[] = "stream_key_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    bus_.signal(SIGTERM);
    bus_.wait();
    EXPECT_TRUE(eventually([&] {
        QCoreApplication::processEvents();
        return !store.store("rtmp://after/the/bus", "KEYMARK-after");
    }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(store.find("rtmp://after/the/bus").isEmpty());
}
