#include "tests/support/media_probe.h"

#include <cstdio>
#include <sstream>

#include "tests/support/child_process.h"

namespace {
std::string quoted(const std::string& path) { return "'" + path + "'"; }
}  // namespace

std::vector<ProbedStream> probeStreams(const std::string& path) {
    std::string text = commandOutput(
        "ffprobe -v error -show_entries "
        "stream=codec_type,codec_name,width,height,sample_rate,channels,start_time "
        "-of default=noprint_wrappers=1 " +
        quoted(path));
    std::vector<ProbedStream> streams;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "codec_name") {
            streams.emplace_back();
            streams.back().codec = value;
            continue;
        }
        if (streams.empty() || value == "N/A") {
            continue;
        }
        ProbedStream& stream = streams.back();
        if (key == "codec_type") {
            stream.type = value;
        } else if (key == "width") {
            stream.width = std::stoi(value);
        } else if (key == "height") {
            stream.height = std::stoi(value);
        } else if (key == "sample_rate") {
            stream.sampleRate = std::stoi(value);
        } else if (key == "channels") {
            stream.channels = std::stoi(value);
        } else if (key == "start_time") {
            stream.startTime = std::stod(value);
        }
    }
    return streams;
}

int countVideoFrames(const std::string& path) {
    std::string text = commandOutput(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames -of csv=p=0 " +
        quoted(path));
    try {
        return std::stoi(text);
    } catch (...) {
        return -1;
    }
}

std::vector<int16_t> decodeSoundMono(const std::string& path) {
    std::string bytes = commandOutput("ffmpeg -v error -i " + quoted(path) +
                                      " -map 0:a:0 -f s16le -ac 1 -ar 44100 -");
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                          static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    }
    return samples;
}

std::vector<uint8_t> decodeFrameRgb(const std::string& path, double seconds) {
    std::string bytes =
        commandOutput("ffmpeg -v error -ss " + std::to_string(seconds) + " -i " + quoted(path) +
                      " -map 0:v:0 -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

double toneFrequency(const std::vector<int16_t>& samples, int sampleRate) {
    size_t crossings = 0, first = 0, last = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            if (crossings == 0) {
                first = i;
            }
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) {
        return 0;
    }
    return (crossings - 1) * static_cast<double>(sampleRate) / static_cast<double>(last - first);
}

namespace {
// One time a line, as ffprobe prints pts_time; "N/A" lines are left out.
std::vector<double> timesFrom(const std::string& text) {
    std::vector<double> times;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        try {
            times.push_back(std::stod(line));
        } catch (...) {
            // "N/A": a packet or frame without a time is left out
        }
    }
    return times;
}
}  // namespace

std::vector<double> packetTimes(const std::string& path, const std::string& stream) {
    return timesFrom(commandOutput("ffprobe -v error -select_streams " + stream +
                                   ":0 -show_entries packet=pts_time -of csv=p=0 " + quoted(path)));
}

std::vector<double> keyFrameTimes(const std::string& path) {
    return timesFrom(
        commandOutput("ffprobe -v error -select_streams v:0 -skip_frame nokey "
                      "-show_entries frame=pts_time -of csv=p=0 " +
                      quoted(path)));
}

std::string statedFrameRate(const std::string& path) {
    std::string text = commandOutput(
        "ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 " +
        quoted(path));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}
