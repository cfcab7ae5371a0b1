#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// A Qt application on the offscreen platform, for tests that draw text,
// pictures or widgets without a display.
template <typename Application>
std::unique_ptr<Application> makeOffscreenApplication() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "lumora_tests";
    static char* argv[] = {name, nullptr};
    return std::make_unique<Application>(argc, argv);
}

// The same for a whole test program: made before its first test, gone after
// its last.
template <typename Application>
class OffscreenApplication : public ::testing::Environment {
public:
    void SetUp() override { app_ = makeOffscreenApplication<Application>(); }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<Application> app_;
};
