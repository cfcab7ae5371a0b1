#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "libs/recorder/amf0.h"
#include "libs/recorder/rtmp_chunks.h"

// RTMP's chunks and AMF0 values, written the ways a publisher writes them and
// read back the ways a server's bytes may arrive.

namespace {
std::vector<uint8_t> payloadOf(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return bytes;
}

rtmp::Message messageOf(const std::vector<uint8_t>& payload, uint8_t type, uint32_t time,
                        uint8_t chunkStream) {
    rtmp::Message message;
    message.type = type;
    message.time = time;
    message.streamId = 1;
    message.chunkStream = chunkStream;
    message.data = payload.data();
    message.size = payload.size();
    return message;
}

// Every message `bytes` holds, fed `step` bytes at a time.
std::vector<rtmp::Received> readBack(const std::vector<uint8_t>& bytes, size_t step, bool* good) {
    rtmp::ChunkReader reader;
    std::vector<rtmp::Received> messages;
    *good = true;
    for (size_t at = 0; at < bytes.size() && *good; at += step) {
        *good = reader.feed(bytes.data() + at, std::min(step, bytes.size() - at),
                            [&](const rtmp::Received& message) { messages.push_back(message); });
    }
    return messages;
}

std::vector<uint8_t> gathered(rtmp::ChunkGather& gather) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < gather.vectorCount(); ++i) {
        const auto* data = static_cast<const uint8_t*>(gather.vectors()[i].buffer);
        bytes.insert(bytes.end(), data, data + gather.vectors()[i].size);
    }
    return bytes;
}
}  // namespace

// Pictures and sound of several chunks each, interleaved on their chunk
// streams, one with a time past 24 bits (its later chunks repeat the
// extended time), come back whole and unchanged however the bytes are cut;
// a gathered write holds the same bytes as the chunks appended one by one.
TEST(RtmpChunksTest, MessagesComeBackWholeHoweverTheirBytesAreCut) {
    const size_t chunk = 128;
    const std::vector<uint8_t> picture = payloadOf(1000, 3);
    const std::vector<uint8_t> sound = payloadOf(300, 90);
    const std::vector<uint8_t> late = payloadOf(260, 17);
    const std::vector<uint8_t> empty;
    const std::vector<rtmp::Message> sent = {
        messageOf(picture, rtmp::kVideo, 0, rtmp::kPictureStream),
        messageOf(sound, rtmp::kAudio, 21, rtmp::kSoundStream),
        messageOf(late, rtmp::kVideo, 0x01000005, rtmp::kPictureStream),
        messageOf(empty, rtmp::kDataAmf0, 40, rtmp::kDataStream),
    };
    std::vector<uint8_t> appended;
    rtmp::ChunkGather gather(chunk);
    for (const rtmp::Message& message : sent) {
        rtmp::appendChunks(appended, message, chunk);
        ASSERT_TRUE(gather.add(message));
    }
    EXPECT_EQ(gathered(gather), appended);
    EXPECT_EQ(gather.bytes(), appended.size());
    // A full header and 1-byte ones for the picture's 8 chunks and the
    // sound's 3; the late one's 3 each with 4 bytes of time; the empty
    // message's one header.
    EXPECT_EQ(appended.size(), 1000 + 300 + 260 + (12 + 7) + (12 + 2) + (16 + 2 * 5) + 12u);

    for (size_t step : {appended.size(), size_t{1}, size_t{7}, size_t{129}}) {
        bool good = false;
        const std::vector<rtmp::Received> got = readBack(appended, step, &good);
        ASSERT_TRUE(good) << "cut every " << step;
        ASSERT_EQ(got.size(), sent.size()) << "cut every " << step;
        for (size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(got[i].type, sent[i].type) << i;
            EXPECT_EQ(got[i].time, sent[i].time) << i;
            EXPECT_EQ(got[i].streamId, 1u) << i;
            EXPECT_EQ(got[i].payload,
                      std::vector<uint8_t>(sent[i].data, sent[i].data + sent[i].size))
                << i;
        }
    }
}

// A server's own shorthand: headers that leave out what the last message
// of the stream said (types 1, 2 and 3, the times as deltas), a chunk size
// it sets in the middle, and chunk stream ids of two and three bytes.
TEST(RtmpChunksTest, ShortHeadersChunkSizesAndLongStreamIdsAreRead) {
    std::vector<uint8_t> bytes = {
        // Type 0 on chunk stream 3: time 100, 3 bytes, command, stream 0.
        0x03,
        0,
        0,
        100,
        0,
        0,
        3,
        20,
        0,
        0,
        0,
        0,
        'a',
        'b',
        'c',
        // Type 1: time + 10, 2 bytes, type 8.
        0x43,
        0,
        0,
        10,
        0,
        0,
        2,
        8,
        'd',
        'e',
        // Type 2: time + 5, the same length and type.
        0x83,
        0,
        0,
        5,
        'f',
        'g',
        // Type 3: the same again, time + 5 once more.
        0xC3,
        'h',
        'i',
        // Set Chunk Size 2 on chunk stream 2.
        0x02,
        0,
        0,
        0,
        0,
        0,
        4,
        1,
        0,
        0,
        0,
        0,
        0,
        0,
        0,
        2,
        // Chunk stream 64 + 10 (two bytes), then 64 + 1 + 256 (three), 5
        // bytes each in chunks of 2.
        0x00,
        10,
        0,
        0,
        1,
        0,
        0,
        5,
        9,
        1,
        0,
        0,
        0,
        'v',
        'w',
        0x01,
        1,
        1,
        0,
        0,
        2,
        0,
        0,
        5,
        9,
        1,
        0,
        0,
        0,
        'V',
        'W',
        0xC0,
        10,
        'x',
        'y',
        0xC1,
        1,
        1,
        'X',
        'Y',
        0xC0,
        10,
        'z',
        0xC1,
        1,
        1,
        'Z',
    };
    bool good = false;
    const std::vector<rtmp::Received> got = readBack(bytes, 1, &good);
    ASSERT_TRUE(good);
    ASSERT_EQ(got.size(), 7u);
    const uint32_t times[] = {100, 110, 115, 120, 0, 1, 2};
    const std::string payloads[] = {"abc", "de", "fg", "hi", "", "vwxyz", "VWXYZ"};
    for (size_t i = 0; i < got.size(); ++i) {
        if (i == 4) {
            EXPECT_EQ(got[i].type, rtmp::kSetChunkSize);
            continue;
        }
        EXPECT_EQ(got[i].time, times[i]) << i;
        EXPECT_EQ(std::string(got[i].payload.begin(), got[i].payload.end()), payloads[i]) << i;
    }
    EXPECT_EQ(got[5].type, rtmp::kVideo);
    EXPECT_EQ(got[5].streamId, 1u);

    // A chunk that continues a stream never begun, and a message longer
    // than any server sends, are not RTMP.
    for (const std::vector<uint8_t>& wrong :
         {std::vector<uint8_t>{0xC7, 'a'},
          std::vector<uint8_t>{0x03, 0, 0, 0, 0x7F, 0xFF, 0xFF, 20, 0, 0, 0, 0}}) {
        readBack(wrong, wrong.size(), &good);
        EXPECT_FALSE(good);
    }
}

// The commands a publisher sends read back as written; an answer's
// information object, inside an ECMA array or not, gives its code; values
// cut short or of kinds AMF0 lacks are refused, not guessed at.
TEST(Amf0Test, CommandsAndAnswersReadBackAndCutValuesAreRefused) {
    std::vector<uint8_t> bytes;
    amf0::putString(bytes, "connect");
    amf0::putNumber(bytes, 1);
    amf0::beginObject(bytes);
    amf0::putName(bytes, "app");
    amf0::putString(bytes, "live/more");
    amf0::putName(bytes, "secure");
    amf0::putBoolean(bytes, true);
    amf0::putName(bytes, "inner");
    amf0::beginObject(bytes);
    amf0::putName(bytes, "code");
    amf0::putString(bytes, "deep");
    amf0::endObject(bytes);
    amf0::endObject(bytes);
    amf0::putNull(bytes);
    amf0::putString(bytes, std::string(70000, 'k'));  // a long string
    // An ECMA array as servers send their information in, with a date
    // and a strict array in it that are read over.
    const std::vector<uint8_t> ecma = {8,   0,   0, 0, 2,   0,  4, 'c', 'o', 'd', 'e', 2, 0, 2,
                                       'o', 'k', 0, 1, 'd', 11, 0, 0,   0,   0,   0,   0, 0, 0,
                                       0,   0,   0, 1, 's', 10, 0, 0,   0,   1,   5,   0, 0, 9};
    bytes.insert(bytes.end(), ecma.begin(), ecma.end());

    const auto values = amf0::readAll(bytes.data(), bytes.size());
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 6u);
    EXPECT_EQ((*values)[0].text, "connect");
    EXPECT_EQ((*values)[1].number, 1.0);
    const amf0::Value& object = (*values)[2];
    ASSERT_EQ(object.kind, amf0::Value::Kind::Object);
    EXPECT_EQ(object.stringProperty("app"), "live/more");
    EXPECT_FALSE(object.stringProperty("secure").has_value()) << "a boolean, not a string";
    ASSERT_EQ(object.properties.size(), 3u);
    EXPECT_TRUE(object.properties[1].second.boolean);
    EXPECT_EQ(object.properties[2].second.stringProperty("code"), "deep");
    EXPECT_EQ((*values)[3].kind, amf0::Value::Kind::Null);
    EXPECT_EQ((*values)[4].text.size(), 70000u);
    EXPECT_EQ((*values)[5].stringProperty("code"), "ok");

    for (size_t cut : {size_t{1}, size_t{5}, size_t{20}, bytes.size() - 1}) {
        EXPECT_FALSE(amf0::readAll(bytes.data(), cut).has_value()) << "cut at " << cut;
    }
    const uint8_t unknown[] = {0x11, 0};
    EXPECT_FALSE(amf0::readAll(unknown, sizeof unknown).has_value());
    std::vector<uint8_t> deep;
    for (int i = 0; i < 40; ++i) {
        deep.push_back(3);
        deep.insert(deep.end(), {0, 1, 'x'});
    }
    EXPECT_FALSE(amf0::readAll(deep.data(), deep.size()).has_value()) << "nested too deep";
}
