#pragma once

#include <string>
#include <vector>

#include "tests/support/local_web_server.h"

// One picture as the camera page (tests/vcam/browser/camera_page.html) saw
// it and reported it.
struct Seen {
    double t = 0;      // wall-clock ms when the browser presented it
    std::string kind;  // "lumora", "paused", "other", "none" (no picture in 200 ms), "ended"
    int frame = 0;
    double delay = 0;  // ms from composing to presenting
    double error = 0;  // largest colour difference over the patches
    int width = 0, height = 0;
    bool live = true;
};

// Every picture the page reported in its /events posts, in the order the
// page presented them.
std::vector<Seen> seenIn(const std::vector<LocalWebServer::Post>& posts);
