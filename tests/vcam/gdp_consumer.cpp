#include "tests/vcam/gdp_consumer.h"

#include <signal.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/vcam/mode_feeder.h"

namespace {
using namespace std::chrono_literals;

// gdppay's packets: a 62-byte header, big-endian, then the payload. A
// buffer's header holds its offset (which pipewiresrc takes from the
// PipeWire buffer's sequence number) at byte 26.
constexpr size_t kHeaderSize = 62;
constexpr size_t kOffsetAt = 26;
constexpr unsigned kBufferPacket = 1;
constexpr unsigned kCapsPacket = 2;

uint64_t bigEndian(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = value << 8 | bytes[i];
    }
    return value;
}
}  // namespace

int capsInt(const std::string& caps, const std::string& field) {
    std::string key = field + "=(int)";
    size_t at = caps.find(key);
    return at == std::string::npos ? -1 : std::stoi(caps.substr(at + key.size()));
}

GdpConsumer::GdpConsumer(std::vector<std::pair<int, int>> sizes) : sizes_(std::move(sizes)) {
    // always-copy: pipewiresrc otherwise hands downstream the node's own
    // buffer memory, which PipeWire takes away when a renegotiation removes
    // the buffers; a picture still being written out then fails with EFAULT
    // ("Bad address") and ends the stream.
    started_ = process_.spawn("/usr/bin/gst-launch-1.0",
                              {"-q", "pipewiresrc", "always-copy=true", "target-object=lumora-vcam",
                               std::string("stream-properties=p,node.name=") + kNodeName, "!",
                               "video/x-raw,format=BGRx", "!", "gdppay", "!", "fdsink", "fd=1"});
    if (started_) {
        reader_ = std::thread([this] { readPackets(); });
    }
}

GdpConsumer::~GdpConsumer() {
    process_.signal(SIGTERM);
    process_.wait();
    if (reader_.joinable()) {
        reader_.join();
    }
}

// Until the stream ends; a stream that stays silent for 20 s counts as ended.
void GdpConsumer::readPackets() {
    std::vector<uint8_t> header(kHeaderSize);
    std::vector<uint8_t> payload;
    while (process_.readExactly(header.data(), header.size(), 20s)) {
        auto type = static_cast<unsigned>(bigEndian(header.data() + 4, 2));
        payload.resize(bigEndian(header.data() + 6, 4));
        if (!process_.readExactly(payload.data(), payload.size(), 20s)) {
            break;
        }
        std::string text(payload.begin(), payload.end());
        if (type == kCapsPacket) {
            noteCaps(text.c_str());
        } else if (type == kBufferPacket) {
            auto [width, height] = sizeOf(payload.size());
            int marker = width > 0 ? markerColumn(payload.data(), width, 4) : -1;
            uint64_t number = bigEndian(header.data() + kOffsetAt, 8);
            std::lock_guard<std::mutex> guard(lock_);
            pictures_.push_back(
                {std::chrono::steady_clock::now(), width, height, payload.size(), marker, number});
        } else if (text.rfind("GstEventStreamStart", 0) == 0) {
            std::lock_guard<std::mutex> guard(lock_);
            ++streamStarts_;
        }
    }
    std::lock_guard<std::mutex> guard(lock_);
    ended_ = true;
}

std::pair<int, int> GdpConsumer::sizeOf(size_t bytes) const {
    if (bytes == static_cast<size_t>(width_) * height_ * 4) {
        return {width_, height_};
    }
    for (auto [width, height] : sizes_) {
        if (bytes == static_cast<size_t>(width) * height * 4) {
            return {width, height};
        }
    }
    return {0, 0};
}

std::string GdpConsumer::pipeWireFormat() {
    QJsonDocument dump =
        QJsonDocument::fromJson(QByteArray::fromStdString(commandOutput("pw-dump")));
    for (const QJsonValue& object : dump.array()) {
        QJsonObject info = object.toObject()["info"].toObject();
        if (info["props"].toObject()["node.name"].toString() != kNodeName) {
            continue;
        }
        QJsonArray formats = info["params"].toObject()["Format"].toArray();
        if (formats.isEmpty()) {
            return {};
        }
        QJsonObject format = formats.first().toObject();
        QJsonObject size = format["size"].toObject();
        QJsonObject rate = format["framerate"].toObject();
        return format["format"].toString().toStdString() + " " +
               std::to_string(size["width"].toInt()) + "x" +
               std::to_string(size["height"].toInt()) + "@" + std::to_string(rate["num"].toInt()) +
               "/" + std::to_string(rate["denom"].toInt());
    }
    return {};
}

void GdpConsumer::noteCaps(const std::string& text) {
    width_ = capsInt(text, "width");
    height_ = capsInt(text, "height");
    std::lock_guard<std::mutex> guard(lock_);
    caps_.push_back({std::chrono::steady_clock::now(), text});
}

std::vector<GdpConsumer::Picture> GdpConsumer::pictures() {
    std::lock_guard<std::mutex> guard(lock_);
    return pictures_;
}

std::vector<GdpConsumer::Caps> GdpConsumer::caps() {
    std::lock_guard<std::mutex> guard(lock_);
    return caps_;
}

int GdpConsumer::streamStarts() {
    std::lock_guard<std::mutex> guard(lock_);
    return streamStarts_;
}

bool GdpConsumer::ended() {
    std::lock_guard<std::mutex> guard(lock_);
    return ended_;
}
