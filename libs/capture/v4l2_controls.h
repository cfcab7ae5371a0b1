#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One user-adjustable control of a V4L2 device (brightness, exposure ...).
struct V4l2Control {
    enum class Kind { Integer, Boolean, Menu, Section };
    uint32_t id = 0;
    Kind kind = Kind::Integer;
    std::string name;
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    int32_t defaultValue = 0;
    int32_t value = 0;
    bool readOnly = false;
    std::vector<std::pair<int32_t, std::string>> menu;  // value, label
};

// The controls of one V4L2 device, read with VIDIOC_QUERY_EXT_CTRL and set
// with VIDIOC_S_CTRL. The device stays open while the object lives; opening a
// device that is capturing elsewhere is fine.
class V4l2ControlSet {
public:
    V4l2ControlSet() = default;
    ~V4l2ControlSet();
    V4l2ControlSet(const V4l2ControlSet&) = delete;
    V4l2ControlSet& operator=(const V4l2ControlSet&) = delete;

    // False with an errno-based reason when the device cannot be opened.
    bool open(const std::string& path, std::string* error);
    const std::vector<V4l2Control>& controls() const { return controls_; }
    // Sets a control; false when the driver refused (the value stays as it was).
    bool set(uint32_t id, int32_t value);

private:
    void readControls();

    int fd_ = -1;
    std::vector<V4l2Control> controls_;
};
