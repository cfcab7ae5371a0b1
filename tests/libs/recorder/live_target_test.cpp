#include <gtest/gtest.h>

#include "libs/recorder/live_target.h"

TEST(LiveTarget, StreamAddressesAreReadAndTheirKeyNeverShown) {
    auto rtmp = parseLiveTarget(" rtmp://live.example.net:1936/app/sub/ ");
    ASSERT_TRUE(rtmp);
    EXPECT_EQ(rtmp->kind, LiveTarget::Kind::Rtmp);
    EXPECT_EQ(rtmp->host, "live.example.net");
    EXPECT_EQ(rtmp->port, 1936);
    EXPECT_EQ(rtmp->serverPort(), 1936);
    EXPECT_EQ(parseLiveTarget("rtmp://host/live")->serverPort(), 1935);
    EXPECT_EQ(rtmp->shown(), "rtmp://live.example.net:1936/app/sub");
    EXPECT_EQ(rtmp->sinkLocation("s3cret"), "rtmp://live.example.net:1936/app/sub/s3cret");

    auto rtmps = parseLiveTarget("RTMPS://[::1]/live");
    ASSERT_TRUE(rtmps);
    EXPECT_EQ(rtmps->kind, LiveTarget::Kind::Rtmps);
    EXPECT_EQ(rtmps->host, "::1");
    EXPECT_EQ(rtmps->port, 0);
    EXPECT_EQ(rtmps->serverPort(), 443);

    // SRT: the passphrase is a secret too; it goes to the sink apart from
    // the address, which is a caller's.
    auto srt = parseLiveTarget("srt://10.0.0.2:9000?latency=200&passphrase=p4ssphrase0k");
    ASSERT_TRUE(srt);
    EXPECT_EQ(srt->kind, LiveTarget::Kind::Srt);
    EXPECT_EQ(srt->port, 9000);
    EXPECT_EQ(srt->serverPort(), 9000);
    EXPECT_EQ(srt->shown(), "srt://10.0.0.2:9000?latency=200");
    EXPECT_EQ(srt->sinkLocation("p4ssphrase0k"), "srt://10.0.0.2:9000?latency=200&mode=caller");
    EXPECT_EQ(parseLiveTarget("srt://10.0.0.2:9000")->sinkLocation(""),
              "srt://10.0.0.2:9000?mode=caller");
    EXPECT_EQ(parseLiveTarget("srt://10.0.0.2:9000?mode=rendezvous")->sinkLocation(""),
              "srt://10.0.0.2:9000?mode=rendezvous");

    for (const char* bad :
         {"", "live", "http://host/live", "rtmp://", "rtmp://host", "rtmp://host/", "rtmp:///live",
          "rtmp://host:0/live", "rtmp://host:65536/live", "rtmp://host:12a/live",
          "rtmp://us@host/live", "rtmp://host/live?key=1", "srt://host", "srt://host:9000/path"}) {
        EXPECT_FALSE(parseLiveTarget(bad)) << bad;
    }

    EXPECT_EQ(withoutKey("publish rtmp://h/live/abc failed for abc", "abc"),
              "publish rtmp://h/live/*** failed for ***");
    EXPECT_EQ(withoutKey("nothing to hide", ""), "nothing to hide");
    EXPECT_EQ(withoutKey("aaaa", "aa"), "******");
}
