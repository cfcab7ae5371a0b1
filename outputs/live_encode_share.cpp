#include "outputs/live_encode_share.h"

#include <mutex>

#include "base/debug_log.h"

namespace {
// The live stream's share, between the controls that start a stream and
// those that start a recording; weak, so it never outlives its holders.
std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

std::weak_ptr<LiveEncodeShare>& liveShare() {
    static std::weak_ptr<LiveEncodeShare> share;
    return share;
}
}  // namespace

namespace {
bool startMicrophone(WaveAudioIn& microphone, const LiveSettings& settings) {
    return microphone.SetWaveFormat(settings.channels, settings.sampleRate, 16) &&
           (microphone.IsOpen() || microphone.Open(-1)) && microphone.Start();
}
}  // namespace

std::shared_ptr<LiveEncodeShare> LiveEncodeShare::open(const LiveSettings& settings) {
    std::shared_ptr<LiveEncodeShare> share(new LiveEncodeShare());
    share->microphone_.SetSink(share.get());
    LiveSettings chosen = settings;
    for (;;) {
        share->encoder_ = std::make_shared<LiveEncoder>();
        std::string problem;
        if (!share->encoder_->start(chosen, &problem)) {
            debugLog("LiveEncodeShare, cannot encode: %s", problem.c_str());
            return nullptr;
        }
        if (!chosen.sound || startMicrophone(share->microphone_, chosen)) {
            return share;
        }
        // A desktop without a microphone can still go live: pictures only.
        // The encoders are made anew without sound, so that no muxer waits
        // for sound that never comes.
        debugLog("LiveEncodeShare, no microphone: the stream goes without sound");
        share->microphone_.Close();
        share->encoder_->finish();
        chosen.sound = false;
    }
}

LiveEncodeShare::~LiveEncodeShare() {
    // The sound stops first, so nothing reaches the encoder while it ends.
    microphone_.Stop();
    microphone_.Close();
    if (encoder_) {
        encoder_->finish();
    }
}

std::shared_ptr<LiveEncodeShare> LiveEncodeShare::current(int width, int height, int frameRate) {
    std::lock_guard<std::mutex> guard(registryLock());
    std::shared_ptr<LiveEncodeShare> share = liveShare().lock();
    if (!share) {
        return nullptr;
    }
    const LiveSettings& settings = share->encoder_->settings();
    const bool same =
        settings.width == width && settings.height == height && settings.frameRate == frameRate;
    return same ? share : nullptr;
}

void LiveEncodeShare::publish(const std::shared_ptr<LiveEncodeShare>& share) {
    std::lock_guard<std::mutex> guard(registryLock());
    liveShare() = share;
}

void LiveEncodeShare::withdraw(const LiveEncodeShare* share) {
    std::lock_guard<std::mutex> guard(registryLock());
    if (liveShare().lock().get() == share) {
        liveShare().reset();
    }
}

void LiveEncodeShare::feed(const void* feeder, const uint8_t* bottomUpBgr, size_t size) {
    const void* taking = feeder_.load();
    if (taking == nullptr && feeder_.compare_exchange_strong(taking, feeder)) {
        taking = feeder;
    }
    if (taking == feeder) {
        encoder_->handPicture(bottomUpBgr, size);
    }
}

void LiveEncodeShare::release(const void* feeder) {
    const void* expected = feeder;
    feeder_.compare_exchange_strong(expected, nullptr);
}

void LiveEncodeShare::OnWaveData(int, const uint8_t* data, int size) {
    encoder_->pushSound(data, size);
}
