#include <gtest/gtest.h>

#include <string>

#include "libs/capture/decoder_setup.h"
#include "libs/capture/gst_runtime.h"
#include "tests/support/test_media.h"

namespace {
struct Decoded {
    int threads = -1;        // the decoder's thread count at the end
    int pictures = 0;        // pictures that reached the sink
    int pooledPictures = 0;  // of them, in a buffer of a pool
};

GstPadProbeReturn countPicture(GstPad*, GstPadProbeInfo* info, gpointer decoded) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    auto& counts = *static_cast<Decoded*>(decoded);
    ++counts.pictures;
    counts.pooledPictures += buffer != nullptr && buffer->pool != nullptr;
    return GST_PAD_PROBE_OK;
}

// Decodes the whole file through avdec_h264 set up as the player sets it up,
// into the player's conversion, counting the pictures the decoder hands on.
Decoded decodeAsThePlayer(const std::string& file) {
    Decoded decoded;
    std::string description = "filesrc location=\"" + file +
                              "\" ! qtdemux ! h264parse ! avdec_h264 name=decoder ! videoscale ! "
                              "videoconvert ! video/x-raw,format=BGRx ! fakesink name=sink";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    EXPECT_EQ(error, nullptr);
    if (pipeline == nullptr || error != nullptr) {
        g_clear_error(&error);
        return decoded;
    }
    GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline), "decoder");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    g_object_set(decoder, "max-threads", 7, nullptr);  // a value the policy must replace
    setUpFileDecoder(decoder);
    setUpFileDecoder(sink);  // not a decoder: must be left alone
    GstPad* handedOn = gst_element_get_static_pad(decoder, "src");
    gst_pad_add_probe(handedOn, GST_PAD_PROBE_TYPE_BUFFER, &countPicture, &decoded, nullptr);
    gst_object_unref(handedOn);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = gst_bus_timed_pop_filtered(
        bus, 20 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    EXPECT_NE(end, nullptr);
    if (end != nullptr) {
        EXPECT_EQ(GST_MESSAGE_TYPE(end), GST_MESSAGE_EOS);
        gst_message_unref(end);
    }
    g_object_get(decoder, "max-threads", &decoded.threads, nullptr);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(decoder);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return decoded;
}

bool makeClip(const std::string& path, const std::string& size) {
    std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=s=" + size +
                          ":r=15:d=0.4 -c:v libx264 -preset ultrafast -pix_fmt yuv420p \"" + path +
                          "\"";
    return std::system(command.c_str()) == 0;
}
}  // namespace

TEST(DecoderSetupTest, OneThreadUpTo1080pTheDecodersChoiceAboveAndPicturesFromItsPool) {
    EXPECT_EQ(decoderThreadsFor(640, 480), 1);
    EXPECT_EQ(decoderThreadsFor(1920, 1080), 1);
    EXPECT_EQ(decoderThreadsFor(1920, 1088), 1) << "coded 1080p height";
    EXPECT_EQ(decoderThreadsFor(2560, 1440), 0);
    EXPECT_EQ(decoderThreadsFor(3840, 2160), 0);
    EXPECT_EQ(decoderThreadsFor(0, 480), 0) << "an unknown size keeps the default";
    EXPECT_EQ(decoderThreadsFor(100000, 100000), 0) << "no overflow";

    ASSERT_TRUE(ensureGStreamer());
    ScratchDir dir;
    ASSERT_TRUE(makeClip(dir.file("small.mp4"), "640x480"));
    ASSERT_TRUE(makeClip(dir.file("large.mp4"), "2560x1440"));
    Decoded small = decodeAsThePlayer(dir.file("small.mp4"));
    EXPECT_EQ(small.threads, 1);
    EXPECT_EQ(decodeAsThePlayer(dir.file("large.mp4")).threads, 0);
    // Every picture is handed on in a buffer of the decoder's pool, none in
    // one allocated for it alone.
    EXPECT_EQ(small.pictures, 6) << "0.4 s at 15 fps";
    EXPECT_EQ(small.pooledPictures, small.pictures);
}
