#include "live/rtmp_url.h"

#include <gtest/gtest.h>

namespace {

std::string refusal(const std::string& url) {
    RtmpEndpoint ep;
    std::string error;
    EXPECT_FALSE(parseRtmpUrl(url, ep, error)) << url;
    return error;
}

TEST(RtmpUrl, TrimsAndSplitsASecureUrl) {
    RtmpEndpoint ep;
    std::string error = "stale";
    ASSERT_TRUE(parseRtmpUrl(" rtmps://host:443/live2/ ", ep, error));
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(ep.tls);
    EXPECT_EQ(ep.host, "host");
    EXPECT_EQ(ep.port, 443);
    EXPECT_EQ(ep.app, "live2");
    EXPECT_EQ(ep.tcUrl, "rtmps://host:443/live2");

    ASSERT_TRUE(parseRtmpUrl("rtmp://host/app/inst", ep, error));
    EXPECT_FALSE(ep.tls);
    EXPECT_EQ(ep.port, 1935);
    EXPECT_EQ(ep.app, "app/inst");
    ASSERT_TRUE(parseRtmpUrl("rtmps://h/x", ep, error));
    EXPECT_EQ(ep.port, 443);
    ASSERT_TRUE(parseRtmpUrl("rtmp://host:1935x/live", ep, error));
    EXPECT_EQ(ep.port, 1935);
    ASSERT_TRUE(parseRtmpUrl("rtmp://host: +80/live", ep, error));
    EXPECT_EQ(ep.port, 80);
}

TEST(RtmpUrl, RefusesWithTheUsersMessage) {
    const std::string scheme = "The server URL must start with rtmp:// or rtmps://";
    const std::string app = "The server URL needs an app path, e.g. rtmp://host/live";
    EXPECT_EQ(refusal("RTMP://host/live"), scheme);
    EXPECT_EQ(refusal("http://host/live"), scheme);
    EXPECT_EQ(refusal("rtmp:/"), scheme);
    EXPECT_EQ(refusal("rtmp://host"), app);
    EXPECT_EQ(refusal("rtmp://host/"), app);
    EXPECT_EQ(refusal("rtmp://host:0/live"), "Bad port in the server URL");
    EXPECT_EQ(refusal("rtmp://host:70000/live"), "Bad port in the server URL");
    EXPECT_EQ(refusal("rtmp://host:-1/live"), "Bad port in the server URL");
    EXPECT_EQ(refusal("rtmp://host:abc/live"), "Bad port in the server URL");
    EXPECT_EQ(refusal("rtmp://:1935/live"), "The server URL has no host");
}

TEST(RtmpUrl, HugePortNumbersDoNotWrapIntoRange) {
    // 2^64 + 1935 would wrap to 1935 in 64-bit arithmetic.
    EXPECT_EQ(refusal("rtmp://host:18446744073709553551/live"), "Bad port in the server URL");
    EXPECT_EQ(refusal("rtmp://host:99999999999999999999999999999/live"), "Bad port in the server URL");
    EXPECT_EQ(refusal("rtmp://host:-18446744073709549681/live"), "Bad port in the server URL");
}

TEST(RtmpUrl, UrlTooLongForTheConnectCommandIsRefused) {
    EXPECT_EQ(refusal("rtmp://host/" + std::string(70000, 'a')), "The server URL is too long");
    RtmpEndpoint ep;
    std::string error;
    EXPECT_TRUE(parseRtmpUrl("rtmp://host/" + std::string(65535 - 12, 'a'), ep, error));
}

}  // namespace
