#pragma once

#include <chrono>
#include <functional>

// Polls a condition until it holds or the time-out passes.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));
