#include "tests/libs/recorder/encoded_flv_checks.h"

#include <gtest/gtest.h>

#include <vector>

#include "libs/recorder/flv_repair.h"
#include "tests/support/media_probe.h"

void expectWholeEncodedFlv(const std::string& file, int pictures) {
    EXPECT_EQ(countVideoFrames(file), pictures);
    const std::vector<ProbedStream> streams = probeStreams(file);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].codec, "h264");
    EXPECT_EQ(streams[0].width, 640);
    EXPECT_EQ(streams[0].height, 480);
    EXPECT_EQ(streams[1].codec, "aac");
    EXPECT_EQ(streams[1].sampleRate, 48000);
    EXPECT_EQ(streams[1].channels, 2);
    EXPECT_EQ(statedFrameRate(file), "15/1");
    const std::vector<double> times = packetTimes(file, "v");
    ASSERT_FALSE(times.empty());
    EXPECT_DOUBLE_EQ(times.front(), 0.0);
    const std::vector<double> keys = keyFrameTimes(file);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.front(), 0.0);
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GT(times[i], times[i - 1]) << "picture " << i;
    }
    const std::vector<double> sound = packetTimes(file, "a");
    ASSERT_FALSE(sound.empty());
    EXPECT_LT(sound.front(), 0.5);
    EXPECT_GT(sound.back(), times.back() - 0.5) << "sound to the end";
    const FlvRepairResult whole = repairFlvTail(file);
    EXPECT_TRUE(whole.isFlv);
    EXPECT_EQ(whole.bytesCut, 0) << "every tag complete";
}
