#include "tests/support/frame_number_log.h"

#include <set>

#include "base/output_mode.h"
#include "tests/support/frame_number_band.h"

void FrameNumberLog::OnSimplyCallBack(int msg, unsigned char* data, long size) {
    if (msg == MSG_STREAM_END) {
        noteStreamEnd();
        return;
    }
    if (msg != MSG_FRAME || data == nullptr) {
        return;
    }
    for (const OutputMode& mode : {kStandardMode, kHd720Mode, kHd1080Mode}) {
        if (static_cast<uint32_t>(size) == mode.Size32()) {
            noteFrame(data, mode.width, mode.height);
        }
    }
}

void FrameNumberLog::noteFrame(const uint8_t* frame, int width, int height) {
    Entry entry{FrameNumberBand::read(frame, width, height), width, false};
    std::lock_guard<std::mutex> guard(lock_);
    entries_.push_back(entry);
}

void FrameNumberLog::noteStreamEnd() {
    std::lock_guard<std::mutex> guard(lock_);
    entries_.push_back(Entry{std::nullopt, 0, true});
}

std::vector<FrameNumberLog::Entry> FrameNumberLog::entries() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_;
}

size_t FrameNumberLog::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
}

std::optional<FrameNumberLog::Pass> FrameNumberLog::wholePassAfter(size_t from, int width) const {
    std::vector<Entry> all = entries();
    size_t at = from;
    while (at < all.size() && !all[at].streamEnd) {
        ++at;
    }
    std::set<int> numbers;
    Pass pass;
    for (++at; at < all.size(); ++at) {
        const Entry& entry = all[at];
        if (entry.streamEnd) {
            pass.distinct = numbers.size();
            return pass;
        }
        if (entry.width == width && entry.number) {
            numbers.insert(*entry.number);
        } else {
            ++pass.otherFrames;
        }
    }
    return std::nullopt;
}
