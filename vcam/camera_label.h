#pragma once

// The camera's name wherever consumers see it: the loopback device's card
// label, the PipeWire node's description and the paused card's title.
inline constexpr const char* kCameraLabel = "Lumora直播伴侣";
