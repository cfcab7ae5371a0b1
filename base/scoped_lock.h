#pragma once

#include <mutex>

// The engine's scoped guard: takes a lock on construction, releases it on
// destruction. Every lock in the engine is a plain std::mutex entered this way.
using ScopedLock = std::lock_guard<std::mutex>;
