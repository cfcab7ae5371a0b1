// The watcher is fed real udev netlink messages: the test makes a network
// namespace of its own (inside a user namespace, so no privilege is needed)
// and broadcasts there what udev broadcasts when a camera comes and goes.

#include <endian.h>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstring>
#include <fstream>

#include "sources/camera_hotplug_watcher.h"
#include "tests/support/child_process.h"

namespace {
constexpr unsigned kUdevGroup = 2;

// MurmurHash2, as libudev hashes the subsystem for its socket filter.
uint32_t murmurHash2(const std::string& text) {
    const uint32_t m = 0x5bd1e995;
    uint32_t h = static_cast<uint32_t>(text.size());
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    size_t length = text.size();
    while (length >= 4) {
        uint32_t k;
        std::memcpy(&k, data, 4);
        k *= m;
        k ^= k >> 24;
        k *= m;
        h = h * m ^ k;
        data += 4;
        length -= 4;
    }
    switch (length) {
        case 3:
            h ^= data[2] << 16;
            [[fallthrough]];
        case 2:
            h ^= data[1] << 8;
            [[fallthrough]];
        case 1:
            h ^= data[0];
            h *= m;
    }
    h ^= h >> 13;
    h *= m;
    h ^= h >> 15;
    return h;
}

// udev's message: a "libudev" header, then NUL-separated properties.
bool broadcastUdevEvent(const std::string& action, const std::string& node, int sequence) {
    std::string properties =
        "ACTION=" + action + '\0' + "DEVPATH=/devices/virtual/video4linux/video9" + '\0' +
        "SUBSYSTEM=video4linux" + '\0' + "DEVNAME=" + node + '\0' + "MAJOR=81" + '\0' + "MINOR=9" +
        '\0' + "SEQNUM=" + std::to_string(sequence) + '\0';
    struct {
        char prefix[8];
        uint32_t magic, headerSize, propertiesOffset, propertiesLength;
        uint32_t subsystemHash, devtypeHash, tagBloomHigh, tagBloomLow;
    } header{};
    std::memcpy(header.prefix, "libudev", 8);
    header.magic = htobe32(0xfeedcafe);
    header.headerSize = sizeof header;
    header.propertiesOffset = sizeof header;
    header.propertiesLength = static_cast<uint32_t>(properties.size());
    header.subsystemHash = htobe32(murmurHash2("video4linux"));
    std::string message(reinterpret_cast<const char*>(&header), sizeof header);
    message += properties;

    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    sockaddr_nl destination{};
    destination.nl_family = AF_NETLINK;
    destination.nl_groups = kUdevGroup;
    bool sent = fd >= 0 && sendto(fd, message.data(), message.size(), 0,
                                  reinterpret_cast<sockaddr*>(&destination),
                                  sizeof destination) == static_cast<ssize_t>(message.size());
    if (fd >= 0) {
        close(fd);
    }
    return sent;
}

// A namespace where this process is root of its own network.
bool enterPrivateNetwork() {
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0) {
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
        return true;
    }
    return unshare(CLONE_NEWNET) == 0;
}
}  // namespace

TEST(CameraHotplugWatcherTest, ArrivalAndRemovalEachGiveOneSignal) {
    ChildProcess child;
    ASSERT_TRUE(child.fork([](int out) -> int {
        if (!enterPrivateNetwork()) {
            writeAll(out, "no namespace\n");
            return 1;
        }
        int argc = 1;
        char name[] = "sources_tests";
        char* argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        CameraHotplugWatcher watcher;
        std::string heard;
        QObject::connect(&watcher, &CameraHotplugWatcher::sig_cameraArrived,
                         [&](const QString& path) { heard += "add " + path.toStdString() + ";"; });
        QObject::connect(&watcher, &CameraHotplugWatcher::sig_cameraRemoved,
                         [&](const QString& path) {
                             heard += "remove " + path.toStdString() + ";";
                             app.quit();
                         });
        QTimer::singleShot(0, [] {
            broadcastUdevEvent("add", "/dev/video9", 1);
            broadcastUdevEvent("change", "/dev/video9", 2);
            broadcastUdevEvent("remove", "/dev/video9", 3);
        });
        QTimer::singleShot(5000, &app, &QCoreApplication::quit);
        app.exec();
        writeAll(out, std::string(watcher.isWatching() ? "watching " : "blind ") + heard + "\n");
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(child.readLine(&line));
    EXPECT_EQ(line, "watching add /dev/video9;remove /dev/video9;");
    EXPECT_EQ(child.wait(), 0);
}
