#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// The 18-byte PCM wave format record.
#pragma pack(push, 2)
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18);

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr int WAVE_DATA_MESSAGE = 6;  // the message a sink gets with each filled buffer

// Receives each filled capture buffer on the audio thread.
class WaveAudioSink {
public:
    virtual void OnWaveData(int message, const uint8_t* data, int size) = 0;

protected:
    ~WaveAudioSink() = default;
};

// Captures sound from a PulseAudio source (the desktop's microphone). Three
// buffers of 4,096 bytes are filled in turn and handed to the sink, each once,
// and reused while capturing. Device id -1 is the default source; a name is
// matched against the sources' descriptions.
//
// Threads: every call comes from one control thread; the sink is called on
// PulseAudio's main loop thread (the audio thread).
class WaveAudioIn {
public:
    static constexpr int kBufferSize = 4096;
    static constexpr int kBufferCount = 3;

    WaveAudioIn();  // PCM, 1 channel, 8,000 samples per second, 8 bits
    WaveAudioIn(int channels, int samplesPerSec, int bitsPerSample);
    explicit WaveAudioIn(const WaveFormat& format);
    virtual ~WaveAudioIn();
    WaveAudioIn(const WaveAudioIn&) = delete;
    WaveAudioIn& operator=(const WaveAudioIn&) = delete;

    // Only while closed; false (and no change) while open.
    bool SetWaveFormat(int channels, int samplesPerSec, int bitsPerSample);
    bool SetWaveFormat(const WaveFormat& format);
    // Only while open.
    bool GetWaveFormat(WaveFormat* format) const;
    // type 1 or 2 with a pointer: stored; anything else refused.
    bool SetCallback(void* pointer, int type);
    int GetCallbackType() const { return callbackType_; }
    bool IsOpen() const { return context_ != nullptr; }
    bool IsStopAddBuffer() const { return stopAdding_.load(); }
    void SetSink(WaveAudioSink* sink) { sink_ = sink; }

    bool Open(int deviceId = -1);
    bool Open(const std::string& deviceName);
    bool Start();
    bool Pause();
    bool Mute(bool mute);
    bool Stop();
    bool Close();

private:
    bool connect();
    bool listSources(std::vector<std::pair<std::string, std::string>>* sources);
    // Opens source number deviceId (-1: the default), or the one described so.
    bool openSource(int deviceId, const std::string& description);
    bool createStream();
    void onReadable();
    void disconnectStream();
    // Under the main loop's lock: drops the stream, whatever its state.
    void dropStreamLocked();
    static void onStreamReadable(pa_stream* stream, size_t bytes, void* self);

    WaveAudioSink* sink_ = nullptr;
    void* callback_ = nullptr;
    int callbackType_ = 0;
    int deviceId_ = -1;
    std::string sourceName_;
    WaveFormat format_{};
    std::atomic<bool> stopAdding_{true};
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    // The three buffers, filled in turn on the audio thread.
    std::vector<uint8_t> buffers_[kBufferCount];
    int current_ = 0;
    size_t filled_ = 0;
};
