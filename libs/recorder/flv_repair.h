#pragma once

#include <cstdint>
#include <string>

// What repairing an FLV file found.
struct FlvRepairResult {
    bool isFlv = false;           // the file starts with an FLV header
    int64_t bytesCut = 0;         // bytes of an unfinished last tag that were cut off
    int64_t lastTimestampMs = 0;  // time stamp of the last complete tag
    int tags = 0;                 // complete tags kept
};

// Makes an FLV file that a killed recording left behind playable again: the
// tags are walked from the header, and whatever follows the last complete tag
// (a tag cut off in the middle when the writer died) is cut away. A file that
// is already whole is left as it is. The last time stamp tells how long the
// recording is. Not an FLV file, or unreadable: isFlv false, nothing changed.
FlvRepairResult repairFlvTail(const std::string& path);
