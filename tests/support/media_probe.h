#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What ffprobe and ffmpeg say about a media file, for tests.
struct ProbedStream {
    std::string type;  // "video", "audio", ...
    std::string codec;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    double startTime = 0;
};

std::vector<ProbedStream> probeStreams(const std::string& path);
// The presentation times, in seconds, of a stream's packets in file order;
// stream is "a" or "v".
std::vector<double> packetTimes(const std::string& path, const std::string& stream);
// The times of the key frames of a file's first video stream, in seconds.
std::vector<double> keyFrameTimes(const std::string& path);
// The video stream's frame rate as the file states it ("15/1").
std::string statedFrameRate(const std::string& path);
// Decoded video frames (ffprobe -count_frames); -1 when unreadable.
int countVideoFrames(const std::string& path);
// The whole sound track decoded to 44.1 kHz mono 16-bit samples.
std::vector<int16_t> decodeSoundMono(const std::string& path);
// The frame shown at `seconds`, as top-row-first R, G, B bytes (640 x 480).
std::vector<uint8_t> decodeFrameRgb(const std::string& path, double seconds);
// The frequency of a clean tone, from its rising zero crossings, in Hz.
double toneFrequency(const std::vector<int16_t>& samples, int sampleRate);
