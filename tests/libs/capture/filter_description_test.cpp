#include <gst/gst.h>
#include <gtest/gtest.h>

#include <fstream>

#include "libs/capture/filter_description.h"
#include "libs/capture/gst_runtime.h"
#include "libs/capture/stream_capture.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_media.h"

namespace {
guint rankOf(const char* element) {
    GstPluginFeature* feature = gst_registry_lookup_feature(gst_registry_get(), element);
    guint rank = feature ? gst_plugin_feature_get_rank(feature) : 9999;
    if (feature != nullptr) {
        gst_object_unref(feature);
    }
    return rank;
}
}  // namespace

TEST(FilterDescriptionTest, RanksOfAGoodFileAreApplied) {
    ASSERT_TRUE(ensureGStreamer());
    ScratchDir dir;
    std::ofstream(dir.file("filters.xml")) << "<?xml version=\"1.0\"?>\n<filters>\n"
                                              "  <filter name=\"avdec_h264\" rank=\"marginal\"/>\n"
                                              "  <filter name=\"jpegdec\" rank=\"300\"/>\n"
                                              "  <filter name=\"no_such_element\" rank=\"none\"/>\n"
                                              "</filters>\n";
    LogCapture log;
    EXPECT_TRUE(StreamCapture::SetFilterDescXml(dir.file("filters.xml")));
    EXPECT_EQ(rankOf("avdec_h264"), static_cast<guint>(GST_RANK_MARGINAL));
    EXPECT_EQ(rankOf("jpegdec"), 300u);
    EXPECT_TRUE(log.lines().empty());
}

TEST(FilterDescriptionTest, MissingOrMalformedFilesChangeNothingAndSaySoOnce) {
    ASSERT_TRUE(ensureGStreamer());
    ScratchDir dir;
    guint before = rankOf("avdec_h264");
    std::ofstream(dir.file("broken.xml")) << "<filters><filter name=\"avdec_h264\" rank=\"none\"/>"
                                             "<filter name=";
    std::ofstream(dir.file("badrank.xml")) << "<filters><filter name=\"avdec_h264\" rank=\"none\"/>"
                                              "<filter name=\"jpegdec\" rank=\"loud\"/></filters>";
    std::ofstream(dir.file("wrongroot.xml")) << "<decoders/>";
    for (const char* name : {"missing.xml", "broken.xml", "badrank.xml", "wrongroot.xml"}) {
        LogCapture log;
        EXPECT_FALSE(StreamCapture::SetFilterDescXml(dir.file(name))) << name;
        EXPECT_EQ(log.lines().size(), 1u) << name;
        EXPECT_EQ(rankOf("avdec_h264"), before) << name << " changed a rank";
    }
}
