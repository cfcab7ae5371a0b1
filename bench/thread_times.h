#pragma once

#include <string>
#include <vector>

// The name and the user + system processor time, in seconds, in a
// /proc/.../stat file, a process's or a thread's; false when it cannot be
// read (the process or thread ended).
bool readProcStat(const std::string& path, std::string* name, double* cpuSeconds);

// Processor time of this process's threads, by thread name, between two
// readings of /proc/self/task: where a job's core goes. A thread that ended
// between the readings is not seen; one that began counts from its start.
class ThreadTimes {
public:
    // Notes every thread's time so far.
    void start();
    // The threads' time since start(), summed by name, as a fraction of one
    // core over `wallSeconds`, the largest first; names taking less than
    // `least` are left out.
    struct Share {
        std::string name;
        int threads = 0;
        double coreFraction = 0;
    };
    std::vector<Share> since(double wallSeconds, double least = 0.001) const;

private:
    struct Reading {
        long tid = 0;
        std::string name;
        double seconds = 0;
    };
    static std::vector<Reading> read();

    std::vector<Reading> before_;
};
