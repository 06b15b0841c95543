// The reader's requests through WinHTTP against a local HTTPS server.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "e2e/rtmp/peer_control.h"
#include "livedata/youtube.h"
#include "support/https_test_server.h"
#include "support/wait_for.h"

namespace {

class YouTubeHttps : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.open(error)) << error;
        site = {systemHttpsClient(), server.host, server.port};
    }
    HttpsTestServer server;
    YouTubeSite site;
};

TEST_F(YouTubeHttps, SendsThePageHeadersAndTheJsonBody) {
    std::string reply, error;
    ASSERT_TRUE(youtubeRequest(site, "/echo/live_chat?is_popout=1&v=abcDEF12_-9", "", reply, error)) << error;
    JsonValue doc;
    std::size_t pos = 0;
    ASSERT_TRUE(parseJsonValue(reply, pos, doc)) << reply;
    EXPECT_EQ(doc.member("method").text, "GET");
    EXPECT_EQ(doc.member("path").text, "/echo/live_chat?is_popout=1&v=abcDEF12_-9");
    const JsonValue& h = doc.member("headers");
    EXPECT_EQ(h.member("user-agent").text.rfind("Mozilla/5.0 (Windows NT 10.0; Win64; x64)", 0), 0u);
    EXPECT_EQ(h.member("accept-language").text, "en-US,en");
    EXPECT_EQ(h.member("cookie").text, "CONSENT=YES+1");
    EXPECT_EQ(h.member("content-type").kind, JsonValue::Null);

    const std::string body = "{\"context\":{\"client\":{\"clientName\":\"WEB\"}},\"continuation\":\"\xc3\xa9\"}";
    ASSERT_TRUE(youtubeRequest(site, "/echo/poll", body, reply, error)) << error;
    pos = 0;
    doc = JsonValue();
    ASSERT_TRUE(parseJsonValue(reply, pos, doc)) << reply;
    EXPECT_EQ(doc.member("method").text, "POST");
    EXPECT_EQ(doc.member("body").text, body);
    EXPECT_EQ(doc.member("headers").member("content-type").text, "application/json");
}

TEST_F(YouTubeHttps, FailuresHaveTheirTexts) {
    std::string reply, error;
    EXPECT_FALSE(youtubeRequest(site, "/status/404", "", reply, error));
    EXPECT_EQ(error, "YouTube answered 404");
    EXPECT_EQ(reply, "status 404");

    // The body cap, to the byte.
    EXPECT_FALSE(youtubeRequest(site, "/bytes/16777217", "", reply, error));
    EXPECT_EQ(error, kPageTooLarge);
    EXPECT_TRUE(reply.empty());
    ASSERT_TRUE(youtubeRequest(site, "/bytes/16777216", "", reply, error)) << error;
    EXPECT_EQ(reply.size(), 16777216u);

    // Nothing listens on a port just freed.
    YouTubeSite nowhere{systemHttpsClient(), "localhost", findFreePort()};
    EXPECT_FALSE(youtubeRequest(nowhere, "/", "", reply, error));
    EXPECT_EQ(error, "Could not reach YouTube (error 12029)");
}

TEST_F(YouTubeHttps, AnAbortFromAnotherThreadEndsATricklingReply) {
    // 100 pieces of 64 KiB, one every 0.2 s: a server that keeps the
    // request alive far longer than a stop may wait.
    auto abort = std::make_shared<std::atomic<bool>>(false);
    HttpsRequest rq;
    rq.host = server.host;
    rq.port = server.port;
    rq.path = "/slow/6553600";
    rq.abort = abort;
    std::atomic<std::size_t> received{0};
    rq.onBody = [&](const char*, std::size_t size) {
        received += size;
        return true;
    };
    HttpsResponse r;
    std::thread exchange([&] { r = systemHttpsClient()->send(rq); });
    EXPECT_TRUE(waitFor([&] { return received > 0; }));
    abort->store(true);
    exchange.join();
    EXPECT_TRUE(r.answered);
    EXPECT_FALSE(r.complete);
    EXPECT_FALSE(r.cancelled);
    EXPECT_LT(received.load(), std::size_t(6553600));

    // Already aborted: nothing is sent.
    std::string reply, error;
    site.abort = abort;
    EXPECT_FALSE(youtubeRequest(site, "/echo/never", "", reply, error));
    EXPECT_EQ(error, "Could not reach YouTube (error 12017)");
}

}  // namespace
