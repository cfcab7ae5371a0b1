#include "base/play_list.h"

#include <algorithm>

PlayList::PlayList() : random_(std::random_device{}()) {}

void PlayList::add(const std::string& path) {
    if (indexOf(path) < 0) {
        files_.push_back(path);
        round_.push_back(path);
    }
}

void PlayList::remove(const std::string& path) {
    std::erase(files_, path);
    std::erase(round_, path);
    // The current file may go on playing; the next one is found from the list.
}

void PlayList::clear() {
    files_.clear();
    round_.clear();
    current_.clear();
}

bool PlayList::setCurrent(const std::string& path) {
    if (indexOf(path) < 0) {
        return false;
    }
    current_ = path;
    std::erase(round_, path);
    return true;
}

void PlayList::setMode(int mode) {
    mode_ = mode == kInOrder ? kInOrder : kRandom;
    newRound();
}

const std::string& PlayList::advance() {
    if (files_.empty()) {
        current_.clear();
        return current_;
    }
    if (mode_ == kInOrder) {
        int index = indexOf(current_);
        if (index < 0 && !current_.empty()) {
            // The current file was removed: nothing tells where it stood, so
            // start over from the first.
            current_ = files_.front();
        } else {
            current_ = files_[static_cast<size_t>(index + 1) % files_.size()];
        }
        return current_;
    }
    if (round_.empty()) {
        newRound();
    }
    current_ = round_.front();
    round_.erase(round_.begin());
    return current_;
}

int PlayList::indexOf(const std::string& path) const {
    auto found = std::find(files_.begin(), files_.end(), path);
    return found == files_.end() ? -1 : static_cast<int>(found - files_.begin());
}

void PlayList::newRound() {
    round_ = files_;
    std::shuffle(round_.begin(), round_.end(), random_);
    if (round_.size() > 1 && round_.front() == current_) {
        std::swap(round_.front(), round_.back());
    }
}
