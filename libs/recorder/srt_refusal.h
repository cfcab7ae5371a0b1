#pragma once

#include <string>

#include "libs/recorder/live_state.h"
#include "libs/recorder/live_target.h"

// Why an SRT listener did not take a caller that offered a passphrase.
//
// srtsink (GStreamer 1.22) connects in the background and reports any
// refusal only as "Connection does not exist" at its first write: a listener
// that refuses the passphrase looks like no listener at all. After such a
// failure the stream asks the listener itself, once, as a caller with the
// same passphrase, and reads SRT's own reason for the refusal.
//
// KeyRefused when the listener turned the passphrase down (a wrong one, or
// one it does not want); ConnectionRefused when nobody answered or the
// listener refused for another reason. Blocks the calling thread for at most
// kAskLimitMs. A listener that takes this caller gets it closed at once.
LiveStopReason askSrtListener(const LiveTarget& target, const std::string& passphrase);

// How long askSrtListener waits for an answer.
constexpr int kAskLimitMs = 2000;
