#include "bench/thread_times.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

bool readProcStat(const std::string& path, std::string* name, double* cpuSeconds) {
    std::ifstream stat(path);
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');  // the name may hold spaces and parentheses
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    *name = text.substr(open + 1, close - open - 1);
    unsigned long long utime = 0, stime = 0;
    // After ") ": state is field 3; utime and stime are fields 14 and 15.
    if (std::sscanf(text.c_str() + close + 2,
                    "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) {
        return false;
    }
    *cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return true;
}

std::vector<ThreadTimes::Reading> ThreadTimes::read() {
    std::vector<Reading> readings;
    DIR* folder = ::opendir("/proc/self/task");
    if (folder == nullptr) {
        return readings;
    }
    while (dirent* entry = ::readdir(folder)) {
        char* end = nullptr;
        const long tid = std::strtol(entry->d_name, &end, 10);
        Reading reading;
        reading.tid = tid;
        if (end != entry->d_name && *end == '\0' &&
            readProcStat(std::string("/proc/self/task/") + entry->d_name + "/stat", &reading.name,
                         &reading.seconds)) {
            readings.push_back(reading);
        }
    }
    ::closedir(folder);
    return readings;
}

void ThreadTimes::start() { before_ = read(); }

std::vector<ThreadTimes::Share> ThreadTimes::since(double wallSeconds, double least) const {
    std::vector<Share> shares;
    if (wallSeconds <= 0) {
        return shares;
    }
    for (const Reading& now : read()) {
        double seconds = now.seconds;
        for (const Reading& then : before_) {
            if (then.tid == now.tid) {
                seconds -= then.seconds;
            }
        }
        auto share = std::find_if(shares.begin(), shares.end(),
                                  [&](const Share& s) { return s.name == now.name; });
        if (share == shares.end()) {
            shares.push_back({now.name, 0, 0});
            share = shares.end() - 1;
        }
        ++share->threads;
        share->coreFraction += seconds / wallSeconds;
    }
    std::sort(shares.begin(), shares.end(),
              [](const Share& a, const Share& b) { return a.coreFraction > b.coreFraction; });
    shares.erase(std::remove_if(shares.begin(), shares.end(),
                                [least](const Share& s) { return s.coreFraction < least; }),
                 shares.end());
    return shares;
}
