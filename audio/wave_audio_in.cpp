#include "audio/wave_audio_in.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstring>

#include "base/debug_log.h"

namespace {
constexpr auto kConnectLimit = std::chrono::seconds(3);

// Waits, with the main loop locked, until `ready` says yes or no or the limit passes.
template <typename Ready>
bool waitUntil(pa_threaded_mainloop* loop, Ready ready) {
    auto deadline = std::chrono::steady_clock::now() + kConnectLimit;
    for (;;) {
        int state = ready();  // 1 ready, -1 failed, 0 not yet
        if (state != 0) {
            return state > 0;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        pa_threaded_mainloop_unlock(loop);
        struct timespec pause {
            0, 5'000'000
        };
        nanosleep(&pause, nullptr);
        pa_threaded_mainloop_lock(loop);
    }
}

// The server's sources in its order: (name, description).
using SourceList = std::vector<std::pair<std::string, std::string>>;

struct SourceListing {
    SourceList sources;
    bool done = false;
};

void onSourceInfo(pa_context*, const pa_source_info* info, int last, void* data) {
    auto* listing = static_cast<SourceListing*>(data);
    if (last != 0 || info == nullptr) {
        listing->done = true;
        return;
    }
    listing->sources.emplace_back(info->name, info->description ? info->description : "");
}
}  // namespace

WaveAudioIn::WaveAudioIn() { SetWaveFormat(1, 8000, 8); }

WaveAudioIn::WaveAudioIn(int channels, int samplesPerSec, int bitsPerSample) {
    SetWaveFormat(channels, samplesPerSec, bitsPerSample);
}

WaveAudioIn::WaveAudioIn(const WaveFormat& format) { SetWaveFormat(format); }

WaveAudioIn::~WaveAudioIn() { Close(); }

bool WaveAudioIn::SetWaveFormat(int channels, int samplesPerSec, int bitsPerSample) {
    if (IsOpen()) {
        return false;
    }
    format_.formatTag = WAVE_FORMAT_PCM;
    format_.channels = static_cast<uint16_t>(channels);
    format_.samplesPerSec = static_cast<uint32_t>(samplesPerSec);
    format_.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
    format_.blockAlign = static_cast<uint16_t>((channels * bitsPerSample + 4) / 8);
    format_.avgBytesPerSec = format_.blockAlign * format_.samplesPerSec;
    format_.cbSize = 0;
    return true;
}

bool WaveAudioIn::SetWaveFormat(const WaveFormat& format) {
    if (IsOpen()) {
        return false;
    }
    format_ = format;
    return true;
}

bool WaveAudioIn::GetWaveFormat(WaveFormat* format) const {
    if (!IsOpen() || format == nullptr) {
        return false;
    }
    *format = format_;
    return true;
}

bool WaveAudioIn::SetCallback(void* pointer, int type) {
    if (pointer == nullptr || (type != 1 && type != 2)) {
        return false;
    }
    callback_ = pointer;
    callbackType_ = type;
    return true;
}

bool WaveAudioIn::connect() {
    mainloop_ = pa_threaded_mainloop_new();
    if (mainloop_ == nullptr || pa_threaded_mainloop_start(mainloop_) < 0) {
        return false;
    }
    pa_threaded_mainloop_lock(mainloop_);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Lumora");
    bool ready = context_ != nullptr &&
                 pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                 waitUntil(mainloop_, [this] {
                     pa_context_state_t state = pa_context_get_state(context_);
                     return state == PA_CONTEXT_READY ? 1 : (PA_CONTEXT_IS_GOOD(state) ? 0 : -1);
                 });
    pa_threaded_mainloop_unlock(mainloop_);
    return ready;
}

bool WaveAudioIn::listSources(std::vector<std::pair<std::string, std::string>>* sources) {
    SourceListing listing;
    pa_threaded_mainloop_lock(mainloop_);
    pa_operation* request = pa_context_get_source_info_list(context_, &onSourceInfo, &listing);
    bool listed = request != nullptr && waitUntil(mainloop_, [&] { return listing.done ? 1 : 0; });
    if (request != nullptr) {
        pa_operation_unref(request);
    }
    pa_threaded_mainloop_unlock(mainloop_);
    *sources = std::move(listing.sources);
    return listed;
}

bool WaveAudioIn::openSource(int deviceId, const std::string& description) {
    if (IsOpen()) {
        return true;
    }
    if (!connect()) {
        debugLog("WaveAudioIn, no sound server answers");
        Close();
        return false;
    }
    SourceList sources;
    if ((deviceId >= 0 || !description.empty()) && !listSources(&sources)) {
        Close();
        return false;
    }
    if (!description.empty()) {
        deviceId = -2;  // not found unless a description matches
        for (size_t i = 0; i < sources.size(); ++i) {
            if (sources[i].second == description) {
                deviceId = static_cast<int>(i);
                break;
            }
        }
    }
    bool known = deviceId == -1 || (deviceId >= 0 && deviceId < static_cast<int>(sources.size()));
    if (!known) {
        debugLog("WaveAudioIn, no such sound source");
        Close();
        return false;
    }
    deviceId_ = deviceId;
    sourceName_ = deviceId >= 0 ? sources[static_cast<size_t>(deviceId)].first : std::string();
    for (auto& buffer : buffers_) {
        buffer.assign(kBufferSize, 0);
    }
    current_ = 0;
    filled_ = 0;
    return true;
}

bool WaveAudioIn::Open(int deviceId) { return openSource(deviceId, {}); }

bool WaveAudioIn::Open(const std::string& deviceName) {
    return !deviceName.empty() && openSource(-1, deviceName);
}

bool WaveAudioIn::createStream() {
    pa_sample_spec sampleFormat{};
    sampleFormat.format = format_.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    sampleFormat.rate = format_.samplesPerSec;
    sampleFormat.channels = static_cast<uint8_t>(format_.channels);
    if (format_.formatTag != WAVE_FORMAT_PCM || !pa_sample_spec_valid(&sampleFormat)) {
        return false;
    }
    stream_ = pa_stream_new(context_, "Lumora microphone", &sampleFormat, nullptr);
    if (stream_ == nullptr) {
        return false;
    }
    pa_stream_set_read_callback(stream_, &WaveAudioIn::onStreamReadable, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = kBufferSize;
    const char* source = sourceName_.empty() ? nullptr : sourceName_.c_str();
    if (pa_stream_connect_record(stream_, source, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
        return false;
    }
    return waitUntil(mainloop_, [this] {
        pa_stream_state_t state = pa_stream_get_state(stream_);
        return state == PA_STREAM_READY ? 1 : (PA_STREAM_IS_GOOD(state) ? 0 : -1);
    });
}

bool WaveAudioIn::Start() {
    if (!IsOpen()) {
        return false;
    }
    stopAdding_ = false;
    pa_threaded_mainloop_lock(mainloop_);
    bool ok = true;
    // A stream that failed (its source went away, the server dropped it)
    // never delivers again: it is replaced, never reported as started.
    if (stream_ != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
        dropStreamLocked();
    }
    if (stream_ == nullptr) {
        ok = createStream();
        if (!ok) {
            dropStreamLocked();
        }
    } else if (pa_stream_is_corked(stream_) == 1) {
        pa_operation* resume = pa_stream_cork(stream_, 0, nullptr, nullptr);
        ok = resume != nullptr;
        if (resume != nullptr) {
            pa_operation_unref(resume);
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
    if (!ok) {
        debugLog("WaveAudioIn, the microphone cannot start");
        stopAdding_ = true;
    }
    return ok;
}

bool WaveAudioIn::Pause() {
    if (!IsOpen()) {
        return true;
    }
    pa_threaded_mainloop_lock(mainloop_);
    bool ok = true;
    if (stream_ != nullptr) {
        pa_operation* pause = pa_stream_cork(stream_, 1, nullptr, nullptr);
        ok = pause != nullptr;
        if (pause != nullptr) {
            pa_operation_unref(pause);
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
    return ok;
}

bool WaveAudioIn::Mute(bool mute) { return mute ? Pause() : Start(); }

void WaveAudioIn::disconnectStream() {
    pa_threaded_mainloop_lock(mainloop_);
    dropStreamLocked();
    pa_threaded_mainloop_unlock(mainloop_);
}

void WaveAudioIn::dropStreamLocked() {
    if (stream_ != nullptr) {
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
            pa_stream_disconnect(stream_);
        }
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
}

bool WaveAudioIn::Stop() {
    if (!IsOpen()) {
        return false;
    }
    // Under the main loop's lock no buffer is being delivered, so unlike a
    // device that still owns queued buffers there is nothing to wait for.
    stopAdding_ = true;
    disconnectStream();
    return true;
}

bool WaveAudioIn::Close() {
    stopAdding_ = true;
    if (mainloop_ != nullptr) {
        disconnectStream();
        pa_threaded_mainloop_lock(mainloop_);
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        pa_threaded_mainloop_unlock(mainloop_);
        pa_threaded_mainloop_stop(mainloop_);
        pa_threaded_mainloop_free(mainloop_);
        mainloop_ = nullptr;
    }
    callback_ = nullptr;
    callbackType_ = 0;
    return true;
}

void WaveAudioIn::onStreamReadable(pa_stream*, size_t, void* self) {
    static_cast<WaveAudioIn*>(self)->onReadable();
}

void WaveAudioIn::onReadable() {
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_peek(stream_, &data, &bytes) == 0 && bytes > 0) {
        size_t used = 0;
        while (used < bytes) {
            std::vector<uint8_t>& buffer = buffers_[current_];
            size_t take = std::min(bytes - used, kBufferSize - filled_);
            if (data != nullptr) {
                std::memcpy(buffer.data() + filled_, static_cast<const uint8_t*>(data) + used,
                            take);
            } else {
                std::memset(buffer.data() + filled_, 0, take);  // a hole: silence
            }
            filled_ += take;
            used += take;
            if (filled_ == static_cast<size_t>(kBufferSize)) {
                if (sink_ != nullptr && !stopAdding_) {
                    sink_->OnWaveData(WAVE_DATA_MESSAGE, buffer.data(), kBufferSize);
                }
                // The buffer goes back to the end of the line.
                current_ = (current_ + 1) % kBufferCount;
                filled_ = 0;
            }
        }
        pa_stream_drop(stream_);
    }
}
