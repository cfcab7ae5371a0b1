#include "libs/capture/v4l2_controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
bool kindOf(uint32_t type, V4l2Control::Kind* kind) {
    switch (type) {
        case V4L2_CTRL_TYPE_INTEGER:
            *kind = V4l2Control::Kind::Integer;
            return true;
        case V4L2_CTRL_TYPE_BOOLEAN:
            *kind = V4l2Control::Kind::Boolean;
            return true;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            *kind = V4l2Control::Kind::Menu;
            return true;
        case V4L2_CTRL_TYPE_CTRL_CLASS:
            *kind = V4l2Control::Kind::Section;
            return true;
        default:
            return false;  // buttons, strings, compound controls: not for a settings page
    }
}

void readMenu(int fd, const v4l2_query_ext_ctrl& query, V4l2Control* control) {
    for (int64_t index = query.minimum; index <= query.maximum; ++index) {
        v4l2_querymenu item{};
        item.id = query.id;
        item.index = static_cast<uint32_t>(index);
        if (::ioctl(fd, VIDIOC_QUERYMENU, &item) != 0) {
            continue;  // menus may have holes
        }
        std::string label = query.type == V4L2_CTRL_TYPE_INTEGER_MENU
                                ? std::to_string(item.value)
                                : std::string(reinterpret_cast<const char*>(item.name));
        control->menu.emplace_back(static_cast<int32_t>(index), label);
    }
}
}  // namespace

V4l2ControlSet::~V4l2ControlSet() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool V4l2ControlSet::open(const std::string& path, std::string* error) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    readControls();
    return true;
}

void V4l2ControlSet::readControls() {
    v4l2_query_ext_ctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
    while (::ioctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) == 0) {
        V4l2Control control;
        if (!(query.flags & V4L2_CTRL_FLAG_DISABLED) && kindOf(query.type, &control.kind)) {
            control.id = query.id;
            control.name = reinterpret_cast<const char*>(query.name);
            control.minimum = static_cast<int32_t>(query.minimum);
            control.maximum = static_cast<int32_t>(query.maximum);
            control.step = static_cast<int32_t>(query.step ? query.step : 1);
            control.defaultValue = static_cast<int32_t>(query.default_value);
            control.readOnly = (query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED));
            if (control.kind == V4l2Control::Kind::Menu) {
                readMenu(fd_, query, &control);
            }
            v4l2_control current{query.id, 0};
            if (control.kind != V4l2Control::Kind::Section &&
                ::ioctl(fd_, VIDIOC_G_CTRL, &current) == 0) {
                control.value = current.value;
            }
            controls_.push_back(std::move(control));
        }
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
    }
}

bool V4l2ControlSet::set(uint32_t id, int32_t value) {
    v4l2_control control{id, value};
    if (fd_ < 0 || ::ioctl(fd_, VIDIOC_S_CTRL, &control) != 0) {
        return false;
    }
    for (auto& known : controls_) {
        if (known.id == id) {
            known.value = control.value;
        }
    }
    return true;
}
