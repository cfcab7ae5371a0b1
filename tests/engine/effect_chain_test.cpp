#include <gtest/gtest.h>

#include "engine/effect_chain.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
struct ChainFixture : ::testing::Test {
    std::vector<std::string> log;
    std::mutex logLock;
    std::vector<uint8_t> frame = makeSolidFrame32(0, 0, 0);

    std::vector<std::string> apply(EffectChain& chain, int32_t sourceType) {
        log.clear();
        chain.Apply(frame.data(), frame.size(), sourceType);
        return log;
    }
};
}  // namespace

TEST_F(ChainFixture, EffectsRunSortedByOrderWhateverTheOrderTheyWereAdded) {
    MarkEffect caption(EFFECT_ORDER_TEXT, "caption", &log, &logLock);
    MarkEffect inset(EFFECT_ORDER_SMALL_VIDEO, "inset", &log, &logLock);
    MarkEffect pendant(EFFECT_ORDER_DEFAULT, "pendant", &log, &logLock);
    MarkEffect beautify(EFFECT_ORDER_SKIN_COLOR, "beautify", &log, &logLock);
    EffectChain chain;
    chain.Add(&caption);
    chain.Add(&pendant);
    chain.Add(&beautify);
    chain.Add(&inset);
    EXPECT_EQ(apply(chain, SOURCE_TYPE_CAMERA),
              (std::vector<std::string>{"beautify", "pendant", "inset", "caption"}));
    EXPECT_EQ(chain.Effects(), (std::vector<VideoEffect*>{&beautify, &pendant, &inset, &caption}));
    // Four effects each added one to every green byte.
    EXPECT_EQ(frame[1], 4);
    EXPECT_EQ(frame[VideoFrame::kSize32 - 3], 4);
}

TEST_F(ChainFixture, AddingTwiceKeepsOneEntryAndRemoveTakesItWhereverItStands) {
    MarkEffect a(5, "a", &log, &logLock);
    MarkEffect b(6, "b", &log, &logLock);
    EffectChain chain;
    chain.Add(&a);
    chain.Add(&a);
    chain.Add(nullptr);
    chain.Add(&b);
    EXPECT_EQ(chain.Count(), 2u);
    chain.Remove(&a);
    EXPECT_EQ(apply(chain, SOURCE_TYPE_CAMERA), (std::vector<std::string>{"b"}));
    chain.Remove(&a);  // not present: nothing happens
    EXPECT_EQ(chain.Count(), 1u);
}

TEST_F(ChainFixture, BeautifyOrderRunsOnlyOnCameraPictures) {
    MarkEffect beautify(EFFECT_ORDER_SKIN_COLOR, "beautify", &log, &logLock);
    MarkEffect pendant(EFFECT_ORDER_DEFAULT, "pendant", &log, &logLock);
    EffectChain chain;
    chain.Add(&beautify);
    chain.Add(&pendant);
    EXPECT_EQ(apply(chain, SOURCE_TYPE_PICTURE), (std::vector<std::string>{"pendant"}));
    EXPECT_EQ(apply(chain, SOURCE_TYPE_VIDEO_FILE), (std::vector<std::string>{"pendant"}));
    EXPECT_EQ(apply(chain, SOURCE_TYPE_CAMERA), (std::vector<std::string>{"beautify", "pendant"}));
}

TEST_F(ChainFixture, BackgroundOrderRunsOnCameraAndVideoFilePicturesOnly) {
    MarkEffect background(EFFECT_ORDER_BACKGROUND, "background", &log, &logLock);
    MarkEffect beautify(EFFECT_ORDER_SKIN_COLOR, "beautify", &log, &logLock);
    MarkEffect caption(EFFECT_ORDER_TEXT, "caption", &log, &logLock);
    EffectChain chain;
    chain.Add(&caption);
    chain.Add(&background);
    chain.Add(&beautify);
    EXPECT_EQ(apply(chain, SOURCE_TYPE_PICTURE), (std::vector<std::string>{"caption"}));
    EXPECT_EQ(apply(chain, SOURCE_TYPE_VIDEO_FILE),
              (std::vector<std::string>{"background", "caption"}));
    EXPECT_EQ(apply(chain, SOURCE_TYPE_CAMERA),
              (std::vector<std::string>{"beautify", "background", "caption"}));
}

TEST_F(ChainFixture, RemoveWaitsForARunningApply) {
    // An effect that blocks inside Process until released.
    struct SlowEffect : VideoEffect {
        std::atomic<bool> entered{false};
        std::atomic<bool> release{false};
        std::atomic<bool> finished{false};
        void Process(uint8_t*, size_t, int32_t, int32_t) override {
            entered = true;
            while (!release) {
                std::this_thread::yield();
            }
            finished = true;
        }
    } slow;
    EffectChain chain;
    chain.Add(&slow);
    std::thread applier([&] { chain.Apply(frame.data(), frame.size(), SOURCE_TYPE_CAMERA); });
    ASSERT_TRUE(eventually([&] { return slow.entered.load(); }));
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        chain.Remove(&slow);
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(removed);
    slow.release = true;
    remover.join();
    applier.join();
    EXPECT_TRUE(slow.finished);
    EXPECT_EQ(chain.Count(), 0u);
}
