#include "tests/support/test_media.h"

#include "tests/support/frame_number_band.h"

#include <fstream>
#include <iterator>
#include <vector>

#include <cstdio>
#include <cstdlib>

namespace {
std::string colourSource(const std::string& colour, double seconds, int fps) {
    char text[256];
    std::snprintf(text, sizeof text, "color=c=%s:s=640x480:r=%d:d=%.3f", colour.c_str(), fps,
                  seconds);
    return text;
}
}  // namespace

bool makeTestVideo(const std::string& path, const TestVideo& video) {
    std::string picture;
    if (video.secondHalf.empty()) {
        picture = "-f lavfi -i " + colourSource(video.body, video.seconds, video.fps);
    } else {
        picture = "-f lavfi -i \"" + colourSource(video.body, video.seconds / 2, video.fps) +
                  "[a];" + colourSource(video.secondHalf, video.seconds / 2, video.fps) +
                  "[b];[a][b]concat=n=2:v=1:a=0\"";
    }
    char sound[160] = "";
    if (video.sound) {
        std::snprintf(sound, sizeof sound,
                      "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=%.3f",
                      video.seconds);
    }
    std::vector<std::string> filters;
    if (!video.topBand.empty()) {
        filters.push_back("drawbox=x=0:y=0:w=640:h=48:color=" + video.topBand + ":t=fill");
    }
    if (video.grain) {
        filters.push_back("noise=alls=12:allf=t");
    }
    std::string chain;
    for (const std::string& filter : filters) {
        chain += (chain.empty() ? "" : ",") + filter;
    }
    if (video.frameNumbers) {
        chain = (chain.empty() ? "null" : chain) + "[body];" +
                FrameNumberBand::overlayFilter(video.fps, video.seconds);
    }
    std::string filterOption = chain.empty() ? "" : " -vf \"" + chain + "\"";
    std::string command = "ffmpeg -loglevel error -y " + picture + " " + sound + filterOption +
                          " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 15 " +
                          (video.sound ? "-c:a aac -shortest " : "") + "-movflags +faststart \"" +
                          path + "\"";
    return std::system(command.c_str()) == 0;
}

#include <filesystem>
#include <stdexcept>

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-media-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> filesHolding(const std::string& folder, const std::string& needle,
                                      const std::string& except) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path() == except) {
            continue;
        }
        if (contentsOf(entry.path()).find(needle) != std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}
