#include "libs/recorder/encoded_recording.h"

#include "base/debug_log.h"

namespace {
// How long stopping waits for the disk to take the rest of the file.
constexpr std::chrono::milliseconds kDrainLimit{5000};
// How long stopping waits for the pictures the encoder still holds.
constexpr std::chrono::milliseconds kEncoderCatchUp{1000};
// A disk may stall for a moment: up to 4 MiB of pictures (seconds of them at
// live bit rates) and 256 KiB of sound wait for it before any is left out.
// The writer's room adds one more picture's worth past those bounds.
constexpr uint64_t kMostVideoBytes = 4u << 20;
constexpr uint64_t kMostSoundBytes = 256u << 10;
constexpr uint64_t kWriterRoom = kMostVideoBytes + kMostSoundBytes + (1u << 20);
}  // namespace

EncodedRecording::~EncodedRecording() { stop(); }

bool EncodedRecording::open(const std::string& path, bool sound) {
    auto writer = std::make_unique<FlvFileWriter>(kWriterRoom);
    if (!writer->open(path, sound)) {
        return false;
    }
    writer_ = std::move(writer);
    feed_ = std::make_unique<EncodedFeed>(*writer_, kMostVideoBytes, kMostSoundBytes);
    return true;
}

void EncodedRecording::start(std::shared_ptr<LiveEncoder> encoder) {
    if (!writer_ || !encoder || encoder_) {
        return;
    }
    encoder_ = std::move(encoder);
    encoderLeftOutAtStart_ = encoder_->picturesLeftOut();
    const LiveSettings& settings = encoder_->settings();
    writer_->describe(settings.width, settings.height, settings.frameRate);
    encoder_->attach(feed_.get());
}

void EncodedRecording::stop() {
    uint64_t leftOut = 0;
    if (encoder_) {
        // The pictures handed before the stop are in the file.
        encoder_->waitForPictures(kEncoderCatchUp);
        encoder_->detach(feed_.get());
        leftOut = encoder_->picturesLeftOut() - encoderLeftOutAtStart_;
        encoder_.reset();
    }
    if (!writer_) {
        return;
    }
    if (!writer_->finish(kDrainLimit)) {
        debugLog("EncodedRecording, the recording did not reach the disk whole");
    }
    leftOut += feed_->picturesLeftOut() + writer_->picturesLeftOut();
    if (leftOut > 0) {
        debugLog("EncodedRecording, %llu pictures left out: the encoder or the disk was behind",
                 static_cast<unsigned long long>(leftOut));
    }
    feed_.reset();
    writer_.reset();
}
