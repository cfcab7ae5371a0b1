#pragma once

// Message codes that the capture and picture libraries send to a receiver.
constexpr int MSG_FRAME = 0x8001;       // data points to one 32-bit frame of size bytes
constexpr int MSG_STREAM_END = 0x8005;  // the file player reached the end of its stream

// The libraries' frame callback. Called on the library's own delivery thread;
// `data` is valid only during the call, so a receiver copies what it keeps.
class ISimplyCallBack {
public:
    virtual void OnSimplyCallBack(int msg, unsigned char* data, long size) = 0;

protected:
    ~ISimplyCallBack() = default;
};
