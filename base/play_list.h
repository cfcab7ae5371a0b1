#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

// The files of a player and which one plays. In order mode the list repeats
// from the start after its last file; in random mode every file plays once in
// a shuffled round before any plays again, and a new round never starts with
// the file that just ended.
class PlayList {
public:
    static constexpr int kRandom = 0;
    static constexpr int kInOrder = 1;

    PlayList();

    void add(const std::string& path);  // a path already listed is not added twice
    void remove(const std::string& path);
    void clear();
    // False when the path is not listed.
    bool setCurrent(const std::string& path);
    // The playing file; empty when none was chosen or the list is empty.
    const std::string& current() const { return current_; }
    void setMode(int mode);
    int mode() const { return mode_; }
    // Moves to the file after the current one and returns it (empty when the
    // list is empty). With no current file it picks the first of a round.
    const std::string& advance();

    size_t size() const { return files_.size(); }
    bool empty() const { return files_.empty(); }
    const std::vector<std::string>& files() const { return files_; }

private:
    int indexOf(const std::string& path) const;
    void newRound();

    std::vector<std::string> files_;
    std::string current_;
    int mode_ = kRandom;
    std::vector<std::string> round_;  // random mode: files still to play this round
    std::mt19937 random_;
};
