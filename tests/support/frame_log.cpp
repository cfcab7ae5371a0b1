#include "tests/support/frame_log.h"

#include <climits>

namespace {
struct NamedColour {
    const char* name;
    int r, g, b;
};
constexpr NamedColour kColours[] = {
    {"red", 255, 0, 0},      {"green", 0, 128, 0},     {"blue", 0, 0, 255},
    {"yellow", 255, 255, 0}, {"white", 255, 255, 255}, {"black", 0, 0, 0},
    {"grey", 192, 192, 192}, {"magenta", 255, 0, 255}, {"cyan", 0, 255, 255},
};
}  // namespace

std::string nearestColour(const unsigned char* bgrx) {
    int best = INT_MAX;
    const char* name = "?";
    for (const auto& colour : kColours) {
        int db = bgrx[0] - colour.b, dg = bgrx[1] - colour.g, dr = bgrx[2] - colour.r;
        int distance = db * db + dg * dg + dr * dr;
        if (distance < best) {
            best = distance;
            name = colour.name;
        }
    }
    return name;
}

void FrameLog::OnSimplyCallBack(int msg, unsigned char* data, long size) {
    Entry entry{"", "", msg == MSG_STREAM_END, size, std::chrono::steady_clock::now()};
    if (msg == MSG_FRAME && data != nullptr && size == 640 * 480 * 4) {
        entry.body = nearestColour(data + (240 * 640 + 320) * 4);
        entry.top = nearestColour(data + (470 * 640 + 320) * 4);  // row 9 from the top
    } else if (msg != MSG_STREAM_END) {
        return;
    }
    std::lock_guard<std::mutex> guard(lock_);
    entries_.push_back(entry);
    changed_.notify_all();
}

std::vector<FrameLog::Entry> FrameLog::entries() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_;
}

size_t FrameLog::frames() const {
    std::lock_guard<std::mutex> guard(lock_);
    size_t count = 0;
    for (const auto& entry : entries_) {
        count += entry.streamEnd ? 0 : 1;
    }
    return count;
}

size_t FrameLog::streamEnds() const {
    std::lock_guard<std::mutex> guard(lock_);
    size_t count = 0;
    for (const auto& entry : entries_) {
        count += entry.streamEnd ? 1 : 0;
    }
    return count;
}

std::vector<std::string> FrameLog::story() const {
    std::vector<std::string> story;
    for (const auto& entry : entries()) {
        std::string word = entry.streamEnd ? "END" : entry.body;
        if (story.empty() || story.back() != word) {
            story.push_back(word);
        }
    }
    return story;
}

bool FrameLog::waitFor(const std::function<bool(const FrameLog&)>& condition,
                       std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition(*this)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // Short waits: the condition reads the log under its own lock.
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, std::chrono::milliseconds(20));
    }
    return true;
}
