#pragma once

#include <string>

// The names of the channel's two objects. They are the same on every desktop,
// so a reader finds the writer without being told anything.
inline constexpr const char* kVCamBlockName = "FileMapKvtRpmCmdca5eab82";
inline constexpr const char* kVCamMutexName = "MutexKvtRpmca5eab82";
inline constexpr const char* kVCamBufferNamePrefix = "FileMapKvtRpmca5eab82";

// Where a channel object of this name lives for the current user: a file in
// $XDG_RUNTIME_DIR (a per-user tmpfs) or, without one, in /dev/shm with
// "-<uid>" appended.
std::string channelObjectPath(const std::string& name);

// True when an open file may be used as a channel object: a regular file owned
// by this user with mode 0600 exactly. Anything else could be read or written
// by someone else and is never used.
bool isPrivateChannelFile(int fd);
