#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "libs/recorder/encoded_feed.h"
#include "libs/recorder/flv_tag_target.h"
#include "libs/recorder/live_encoder.h"
#include "tests/libs/recorder/encoded_flv_checks.h"
#include "tests/libs/recorder/flash_live_settings.h"
#include "tests/support/flash_and_click.h"
#include "tests/support/test_media.h"

// The FLV tags a live connection sends without a muxer: read back by ffprobe
// from a file of what the target let out, and tag by tag.

using Clock = std::chrono::steady_clock;

namespace {
constexpr uint8_t kSoundTag = 8, kPictureTag = 9, kScriptTag = 18;

uint32_t bigEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// One buffer as the sink reads it.
struct Tag {
    uint8_t type = 0;
    uint32_t ms = 0;
    bool sequenceHeader = false;
    uint8_t firstPayloadByte = 0;
    bool whole = false;  // the buffer holds exactly one tag and its back pointer
};

Tag readTag(const std::vector<uint8_t>& bytes) {
    Tag tag;
    if (bytes.size() < 15) {
        return tag;
    }
    tag.type = bytes[0];
    const uint32_t dataSize = bigEndian(&bytes[1], 3);
    tag.ms = bigEndian(&bytes[4], 3) | (static_cast<uint32_t>(bytes[7]) << 24);
    tag.whole = bytes.size() == 11 + dataSize + 4 &&
                bigEndian(&bytes[bytes.size() - 4], 4) == 11 + dataSize;
    if ((tag.type == kPictureTag || tag.type == kSoundTag) && dataSize >= 2) {
        tag.sequenceHeader = bytes[12] == 0;
        const size_t intro = tag.type == kPictureTag ? 5 : 2;
        if (dataSize > intro) {
            tag.firstPayloadByte = bytes[11 + intro];
        }
    }
    return tag;
}

GstBuffer* recordBuffer(std::initializer_list<uint8_t> bytes) {
    const std::vector<uint8_t> data(bytes);
    return gst_buffer_new_memdup(data.data(), data.size());
}

// Made-up encoded data with the caps the target needs: the tags are checked
// by their bytes, not by a decoder.
struct FakeCodecs {
    GstCaps* pictures = nullptr;
    GstCaps* otherPictures = nullptr;  // a new size: a new avcC record
    GstCaps* sound = nullptr;
    GstCaps* noRecord = nullptr;

    FakeCodecs() {
        gst_init(nullptr, nullptr);
        GstBuffer* avcC = recordBuffer({1, 0x42, 0xC0, 0x1E, 0xFF, 0xE0});
        GstBuffer* otherAvcC = recordBuffer({1, 0x4D, 0x40, 0x1F, 0xFF, 0xE0});
        GstBuffer* config = recordBuffer({0x11, 0x90});
        pictures =
            gst_caps_new_simple("video/x-h264", "codec_data", GST_TYPE_BUFFER, avcC, nullptr);
        otherPictures =
            gst_caps_new_simple("video/x-h264", "codec_data", GST_TYPE_BUFFER, otherAvcC, nullptr);
        sound = gst_caps_new_simple("audio/mpeg", "codec_data", GST_TYPE_BUFFER, config, nullptr);
        noRecord = gst_caps_new_empty_simple("video/x-h264");
        for (GstBuffer* record : {avcC, otherAvcC, config}) {
            gst_buffer_unref(record);
        }
    }
    ~FakeCodecs() {
        for (GstCaps* caps : {pictures, otherPictures, sound, noRecord}) {
            gst_caps_unref(caps);
        }
    }
    FakeCodecs(const FakeCodecs&) = delete;
    FakeCodecs& operator=(const FakeCodecs&) = delete;

    // A picture or block of `bytes` at `ms`, its payload starting with `mark`.
    static GstBuffer* data(uint32_t ms, uint8_t mark, size_t bytes = 400) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_memset(buffer, 0, mark, bytes);
        GST_BUFFER_PTS(buffer) = ms * GST_MSECOND;
        return buffer;
    }
};

// Takes the tags as a connection would, in the order given, and hands them
// back one by one.
class TagCollector : public FlvTagSink {
public:
    TagCollector() { gst_init(nullptr, nullptr); }

    void take(GstBuffer* tag) override {
        std::vector<uint8_t> bytes(gst_buffer_get_size(tag));
        gst_buffer_extract(tag, 0, bytes.data(), bytes.size());
        gst_buffer_unref(tag);
        std::lock_guard<std::mutex> guard(lock_);
        tags_.push_back(std::move(bytes));
    }
    void end() override {
        std::lock_guard<std::mutex> guard(lock_);
        ended_ = true;
    }
    uint64_t bytesWaiting(bool) const override { return 0; }

    // The next tag taken; empty when none is left.
    std::vector<uint8_t> next() {
        std::lock_guard<std::mutex> guard(lock_);
        if (tags_.empty()) {
            return {};
        }
        std::vector<uint8_t> bytes = std::move(tags_.front());
        tags_.pop_front();
        return bytes;
    }
    bool ended() {
        std::lock_guard<std::mutex> guard(lock_);
        return ended_;
    }
    // Every tag not yet handed back, one after another, into `path`.
    bool save(const std::string& path) {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            return false;
        }
        bool written = true;
        for (auto bytes = next(); !bytes.empty(); bytes = next()) {
            written = written && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        }
        return std::fclose(file) == 0 && written;
    }

private:
    std::mutex lock_;  // the pushing threads against the test reading
    std::deque<std::vector<uint8_t>> tags_;
    bool ended_ = false;
};

// Two pushing threads kept within 100 ms of media time of each other, in
// either order, as the encoders' outputs come: far less than the half second
// after which the target stops holding one kind for the other.
class Lockstep {
public:
    // Waits (at most 10 s) until the other kind has pushed up to `ms` less
    // 100 ms, then notes `ms` as this kind's newest.
    void step(bool video, int ms) {
        std::unique_lock<std::mutex> guard(lock_);
        moved_.wait_for(guard, std::chrono::seconds(10),
                        [&] { return newest_[video ? 1 : 0] >= ms - 100; });
        newest_[video ? 0 : 1] = ms;
        moved_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable moved_;
    int newest_[2] = {0, 0};  // pictures, sound
};

FlvTagTarget::Stream standardStream() {
    FlvTagTarget::Stream stream;
    stream.width = 640;
    stream.height = 480;
    stream.frameRate = 15;
    stream.sound = true;
    return stream;
}
}  // namespace

// A target with sound, and made-up codecs to push.
class FlvTagOrderTest : public ::testing::Test {
protected:
    FakeCodecs codecs;
    TagCollector sink;
    FlvTagTarget target{sink, standardStream()};
};

// Real pictures and sound from the live encoders, through the feed as a
// connection takes them: what the target lets out is an FLV stream that
// ffprobe reads whole, every picture the feed passed on in it.
TEST(FlvTagTargetTest, TheEncodersOutputBecomesAStreamThatPlays) {
    ScratchDir dir;
    const std::string file = dir.file("sent.flv");
    const LiveSettings settings = flashLiveSettings(FlashPlan{});
    TagCollector collector;
    uint64_t taken = 0;
    {
        FlvTagTarget target(collector, standardStream());
        LiveEncoder encoder;
        std::string problem;
        ASSERT_TRUE(encoder.start(settings, &problem)) << problem;
        EncodedFeed feed(target, 4u << 20, 256u << 10);
        ClickingMicrophone microphone(
            [&](const uint8_t* data, int bytes) { encoder.pushSound(data, bytes); },
            kFlashSampleRate, kFlashChannels, kFlashBlockFrames);
        microphone.start(Clock::now());
        encoder.attach(&feed);
        std::vector<uint8_t> picture(static_cast<size_t>(settings.width) * settings.height * 3);
        auto next = Clock::now();
        for (int i = 0; i < 45; ++i) {
            std::fill(picture.begin(), picture.end(), static_cast<uint8_t>(40 + (i * 7) % 180));
            encoder.handPicture(picture.data(), picture.size());
            next += std::chrono::milliseconds(1000 / settings.frameRate);
            std::this_thread::sleep_until(next);
        }
        ASSERT_TRUE(encoder.waitForPictures(std::chrono::seconds(10)));
        encoder.detach(&feed);
        microphone.stop();
        encoder.finish();
        taken = feed.picturesTaken();
        EXPECT_EQ(feed.picturesLeftOut(), 0u);
        target.end();
        ASSERT_TRUE(collector.ended());
        EXPECT_EQ(target.videoBytesWaiting(), 0u) << "all counted out again";
        EXPECT_EQ(target.soundBytesWaiting(), 0u);
    }
    ASSERT_GT(taken, 30u);
    ASSERT_TRUE(collector.save(file));
    expectWholeEncodedFlv(file, static_cast<int>(taken));
}

// Pictures and sound pushed from two threads, each kind at times ahead of
// the other by turns, are held until the other catches up: the sink gets one
// whole tag a buffer, in time order, each kind's sequence header before its
// first tag, and everything pushed once.
TEST_F(FlvTagOrderTest, TagsGoOutOneABufferInTimeOrder) {
    Lockstep lockstep;
    std::thread sound([&] {
        for (uint32_t block = 0; block < 48; ++block) {
            lockstep.step(false, static_cast<int>(block * 21));
            target.push(false, FakeCodecs::data(block * 21, 0xA0 + block % 16, 200), codecs.sound);
        }
    });
    for (uint32_t picture = 0; picture < 15; ++picture) {
        lockstep.step(true, static_cast<int>(picture * 66));
        target.push(true, FakeCodecs::data(picture * 66, static_cast<uint8_t>(picture)),
                    codecs.pictures);
    }
    sound.join();
    target.end();

    const std::vector<uint8_t> header = sink.next();
    ASSERT_GE(header.size(), 13u);
    EXPECT_EQ(std::string(header.begin(), header.begin() + 3), "FLV");
    const std::vector<uint8_t> metadataBytes = sink.next();
    const Tag metadata = readTag(metadataBytes);
    EXPECT_EQ(metadata.type, kScriptTag);
    EXPECT_TRUE(metadata.whole);
    EXPECT_NE(std::string(metadataBytes.begin(), metadataBytes.end()).find("onMetaData"),
              std::string::npos);

    std::vector<Tag> tags;
    for (std::vector<uint8_t> bytes = sink.next(); !bytes.empty(); bytes = sink.next()) {
        tags.push_back(readTag(bytes));
    }
    int pictures = 0, blocks = 0;
    bool pictureHeader = false, soundHeader = false;
    for (size_t i = 0; i < tags.size(); ++i) {
        const Tag& tag = tags[i];
        EXPECT_TRUE(tag.whole) << "tag " << i;
        if (i > 0) {
            EXPECT_GE(tag.ms, tags[i - 1].ms) << "tag " << i << " goes back in time";
        }
        if (tag.type == kPictureTag) {
            if (tag.sequenceHeader) {
                pictureHeader = true;
                continue;
            }
            EXPECT_TRUE(pictureHeader) << "a picture before its sequence header";
            EXPECT_EQ(tag.firstPayloadByte, pictures) << "pictures in the order pushed";
            EXPECT_EQ(tag.ms, static_cast<uint32_t>(pictures * 66));
            ++pictures;
        } else if (tag.type == kSoundTag) {
            if (tag.sequenceHeader) {
                soundHeader = true;
                continue;
            }
            EXPECT_TRUE(soundHeader) << "sound before its sequence header";
            EXPECT_EQ(tag.firstPayloadByte, 0xA0 + blocks % 16);
            ++blocks;
        } else {
            ADD_FAILURE() << "tag " << i << " of type " << int(tag.type);
        }
    }
    EXPECT_EQ(pictures, 15);
    EXPECT_EQ(blocks, 48);
    EXPECT_EQ(target.videoBytesWaiting(), 0u);
    EXPECT_EQ(target.soundBytesWaiting(), 0u);
}

// Pictures within the sound's latest block go at once; sound that stops
// coming holds later pictures back for at most half a second of their own
// time, and what is held counts as waiting; new caps bring a new sequence
// header; a picture whose caps lack the codec's record is left out.
TEST_F(FlvTagOrderTest, SoundThatStopsHoldsPicturesBackOnlyBriefly) {
    sink.next();  // the header
    sink.next();  // onMetaData

    GstBuffer* block = FakeCodecs::data(0, 0xA0, 200);
    GST_BUFFER_DURATION(block) = 100 * GST_MSECOND;
    target.push(false, block, codecs.sound);
    target.push(true, FakeCodecs::data(0, 0), codecs.pictures);
    // The sound at 0 waited for the picture at 0; at the same time the
    // picture goes first. Each kind's header comes before its tag.
    std::vector<Tag> out;
    for (int i = 0; i < 4; ++i) {
        out.push_back(readTag(sink.next()));
    }
    const uint8_t types[] = {kPictureTag, kPictureTag, kSoundTag, kSoundTag};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i].type, types[i]) << "tag " << i;
        EXPECT_EQ(out[i].sequenceHeader, i % 2 == 0) << "tag " << i;
        EXPECT_EQ(out[i].ms, 0u) << "tag " << i;
    }
    // The sound block lasts to 100 ms: no sound can come before that.
    target.push(true, FakeCodecs::data(66, 1), codecs.pictures);
    const Tag within = readTag(sink.next());
    EXPECT_EQ(within.ms, 66u);
    EXPECT_EQ(within.firstPayloadByte, 1);

    // No more sound: pictures at 66 ms steps wait until they span 500 ms.
    for (uint32_t picture = 2; picture <= 9; ++picture) {
        target.push(true, FakeCodecs::data(picture * 66, static_cast<uint8_t>(picture)),
                    codecs.pictures);
    }
    EXPECT_EQ(target.videoBytesWaiting(), 8u * (11 + 5 + 400 + 4))
        << "the eight held pictures count as waiting";
    target.push(true, FakeCodecs::data(10 * 66, 10), codecs.pictures);
    const Tag firstLet = readTag(sink.next());
    EXPECT_EQ(firstLet.type, kPictureTag);
    EXPECT_EQ(firstLet.ms, 132u) << "let go once the held span reached half a second";
    EXPECT_EQ(firstLet.firstPayloadByte, 2);

    // New caps: their header comes before the next picture; caps without a
    // record: the picture is not sent.
    target.push(true, FakeCodecs::data(11 * 66, 11), codecs.noRecord);
    target.push(true, FakeCodecs::data(12 * 66, 12), codecs.otherPictures);
    target.end();
    std::vector<Tag> rest;
    for (std::vector<uint8_t> bytes = sink.next(); !bytes.empty(); bytes = sink.next()) {
        rest.push_back(readTag(bytes));
    }
    ASSERT_EQ(rest.size(), 10u) << "pictures 3-10, a new sequence header, picture 12";
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(rest[i].firstPayloadByte, i + 3);
        EXPECT_FALSE(rest[i].sequenceHeader);
    }
    EXPECT_TRUE(rest[8].sequenceHeader);
    EXPECT_EQ(rest[8].firstPayloadByte, 1) << "the avcC record's version byte";
    EXPECT_EQ(rest[9].firstPayloadByte, 12);
    EXPECT_TRUE(sink.ended());
    EXPECT_EQ(target.videoBytesWaiting(), 0u);
}
