#include "livedata/youtube.h"

#include <gtest/gtest.h>

#include "livedata/fixture_pages.h"
#include "livedata/scripted_https.h"

namespace {

std::string deepNesting(int levels) {
    std::string s;
    for (int i = 0; i < levels; ++i) s += "{\"liveChatRenderer\":[";
    return s;
}

struct Reader {
    std::shared_ptr<ScriptedHttps> http = std::make_shared<ScriptedHttps>();
    YouTubeSite site{http, "127.0.0.1", 8443};
};

TEST(YouTubeReader, ResolvesEveryFormOfChannelTextToTheRightRequest) {
    struct Case {
        const char* channel;
        const char* path;  // "" = no request
        const char* id;
        const char* error;
        std::string page = fixtures::kLivePage;
        int status = 200;  // 0: nothing served
    };
    const char* const kCanonical = "<link rel=\"canonical\" href=\"https://www.youtube.com/watch?v=";
    const Case cases[] = {
        {"https://www.youtube.com/watch?v=abcDEF12_-9&t=42", "", "abcDEF12_-9", ""},
        {"https://youtu.be/x?v=abcDEF12_-9xyz", "", "abcDEF12_-9", ""},
        {"  abcDEF12_-9\r\n", "", "abcDEF12_-9", ""},
        {"https://www.youtube.com/watch?v=abc", "", "", kBadVideoAddress},
        {"https://www.youtube.com/watch?v=abc&DEF12_-9x", "", "", kBadVideoAddress},
        {"@handle1234", "/@handle1234/live", "abcDEF12_-9", ""},
        {"https://www.youtube.com/channel/UCabc///", "/channel/UCabc/live", "abcDEF12_-9", ""},
        {"youtube.com/@main/", "/@main/live", "abcDEF12_-9", ""},
        {"MyChannel", "/MyChannel/live", "abcDEF12_-9", ""},
        {"/@main?v=&x", "/@main%3Fv%3D%26x/live", "abcDEF12_-9", ""},
        {"@caf\xc3\xa9 tv#1", "/@caf%C3%A9%20tv%231/live", "abcDEF12_-9", ""},
        {"@a%20b\r\nHost: x", "/@a%20b%0D%0AHost:%20x/live", "abcDEF12_-9", ""},
        {" \t\r\n", "", "", kNoChannelSet},
        // What the live page can say.
        {"@ch", "/@ch/live", "", kNotLiveNow, fixtures::kOfflinePage},
        {"@ch", "/@ch/live", "", kNotLiveNow, std::string(kCanonical) + "\">"},
        {"@ch", "/@ch/live", "", kBadVideoId, std::string(kCanonical) + "abc&amp;DEF1\">"},
        {"@ch", "/@ch/live", "", kBadVideoId, std::string(kCanonical) + "abcDEF12_-9 onload=x"},
        {"@ch", "/@ch/live", "", "YouTube answered 404", "not found", 404},
        {"@ch", "/@ch/live", "", kPageTooLarge, std::string(20u << 20, 'x')},
        {"@ch", "/@ch/live", "", "Could not reach YouTube (error 12029)", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel + std::string(" ") + c.error);
        Reader r;
        if (c.status) r.http->serve(c.path, c.page, c.status);
        std::string error;
        EXPECT_EQ(resolveLiveVideoId(r.site, c.channel, error), c.id);
        EXPECT_EQ(error, c.error);
        const auto requests = r.http->requests();
        ASSERT_EQ(requests.size(), *c.path ? 1u : 0u);
        if (requests.empty()) continue;
        EXPECT_EQ(requests[0].path, c.path);
        EXPECT_EQ(requests[0].host, "127.0.0.1");
        EXPECT_EQ(requests[0].port, 8443);
        EXPECT_EQ(requests[0].body, "");
        EXPECT_EQ(requests[0].headers, "Accept-Language: en-US,en\r\nCookie: CONSENT=YES+1\r\n");
        EXPECT_EQ(requests[0].userAgent.rfind("Mozilla/5.0 (Windows NT 10.0; Win64; x64)", 0), 0u);
        EXPECT_EQ(requests[0].receiveTimeoutMs, 10000);
    }
}

TEST(YouTubeReader, ChatStartsFromThePageThenPollsWithTheExactBody) {
    Reader r;
    r.http->serve("/live_chat?is_popout=1&v=abcDEF12_-9", fixtures::liveChatPage());
    YouTubeChatSession chat;
    std::vector<ChatMessage> got;
    std::string error;
    ASSERT_TRUE(YouTubeChat::start(r.site, chat, fixtures::kVideoId, got, error)) << error;
    EXPECT_EQ(chat.apiKey, "AIzaSyTestKey_0123-x");
    EXPECT_EQ(chat.clientVersion, "2.20251201.01.00");
    EXPECT_EQ(chat.continuation, "CONT-1");
    EXPECT_EQ(chat.pollIntervalMs, 3000);  // 10000 asked, clamped
    const std::vector<std::vector<std::string>> first = {
        {"Ann", "hello \xf0\x9f\x91\x8b there", ""}, {"Bob", "", "$5.00"}, {"Cy", ":yt:\xe2\x9d\xa4", ""}};
    ASSERT_EQ(got.size(), first.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(std::vector<std::string>({got[i].author, got[i].text, got[i].amount}), first[i]);

    // Intervals are clamped to 1 to 3 s as doubles, before they become ints.
    const std::string pollPath = "/youtubei/v1/live_chat/get_live_chat?prettyPrint=false&key=AIzaSyTestKey_0123-x";
    const std::string actions = std::string("[") + fixtures::textAction("Dee", "second") + "]";
    r.http->queue(pollPath, fixtures::pollReply(actions, "CONT-2", "\"timeoutMs\":500,"));
    r.http->queue(pollPath, fixtures::pollReply("[]", "CONT-3", ""));
    r.http->queue(pollPath, fixtures::pollReply("[]", "CONT-4", "\"timeoutMs\":1e300,"));
    r.http->queue(pollPath, fixtures::pollReply("[]", "CONT-5", "\"timeoutMs\":-1e300,"));
    r.http->queue(pollPath, fixtures::pollReply("[]", "CONT-6", "\"timeoutMs\":2500.9,"));
    const int expectedInterval[] = {1000, 1000, 3000, 1000, 2500};
    for (int i = 0; i < 5; ++i) {
        got.clear();
        ASSERT_TRUE(YouTubeChat::poll(r.site, chat, got, error)) << error;
        EXPECT_EQ(chat.pollIntervalMs, expectedInterval[i]) << i;
        EXPECT_EQ(chat.continuation, "CONT-" + std::to_string(i + 2));
        EXPECT_EQ(got.size(), i == 0 ? 1u : 0u);
    }
    const auto requests = r.http->requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[1].path, pollPath);
    EXPECT_EQ(requests[1].body,
              "{\"context\":{\"client\":{\"clientName\":\"WEB\",\"clientVersion\":\"2.20251201.01.00\"}},"
              "\"continuation\":\"CONT-1\"}");
    EXPECT_EQ(requests[1].headers,
              "Accept-Language: en-US,en\r\nCookie: CONSENT=YES+1\r\nContent-Type: application/json\r\n");
    EXPECT_EQ(requests[2].body.find("\"continuation\":\"CONT-2\"") != std::string::npos, true);

    // A reply without a new token keeps the old one and its interval.
    r.http->queue(pollPath, "{\"continuationContents\":{\"liveChatContinuation\":{\"actions\":[]}}}");
    ASSERT_TRUE(YouTubeChat::poll(r.site, chat, got, error));
    EXPECT_EQ(chat.continuation, "CONT-6");
    EXPECT_EQ(chat.pollIntervalMs, 2500);
}

TEST(YouTubeReader, ChatFailuresHaveTheirOwnTexts) {
    const std::string chatPath = "/live_chat?is_popout=1&v=abcDEF12_-9";
    struct StartCase {
        std::string page;
        const char* error;
        std::string id = fixtures::kVideoId;
    };
    const std::string noContinuation =
        "\"INNERTUBE_API_KEY\":\"k\" ytInitialData = {\"liveChatRenderer\":{\"actions\":[]}}";
    const StartCase starts[] = {
        {"<html>chat disabled</html>", kNoLiveChat},
        {fixtures::liveChatPage(fixtures::kChatActions, ""), kNoLiveChat},
        {fixtures::liveChatPage(fixtures::kChatActions, "k&callback=x"), kNoLiveChat},
        {fixtures::liveChatPage(fixtures::kChatActions, "k/../x"), kNoLiveChat},
        {"\"INNERTUBE_API_KEY\":\"k\" ytInitialData = {\"x\":\"\\q\"}", kNoLiveChat},
        {"\"INNERTUBE_API_KEY\":\"k\" ytInitialData = " + deepNesting(100000), kNoLiveChat},
        {noContinuation, kNoContinuation},
        {std::string(20u << 20, ' '), kPageTooLarge},
        // An id from outside is checked before any request is made.
        {fixtures::liveChatPage(), kBadVideoId, "abc&x=1/../"},
    };
    for (const StartCase& c : starts) {
        Reader r;
        r.http->serve(chatPath, c.page);
        YouTubeChatSession chat;
        std::vector<ChatMessage> got;
        std::string error;
        EXPECT_FALSE(YouTubeChat::start(r.site, chat, c.id, got, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(r.http->requests().empty(), c.id != fixtures::kVideoId);
    }

    struct PollCase {
        std::string reply;
        int status;
        std::string error;
    };
    const PollCase polls[] = {
        {"<html>", 200, kReplyNotJson},
        {"  {\"responseContext\":{}}", 200, kChatEnded},
        {"{\"continuationContents\":{\"liveChatContinuation\":null}}", 200, kChatEnded},
        {"{}", 503, "YouTube answered 503"},
    };
    for (const PollCase& c : polls) {
        Reader r;
        YouTubeChatSession chat{"key", "1.0", "CONT", 2000};
        r.http->serve("/youtubei/v1/live_chat/get_live_chat?prettyPrint=false&key=key", c.reply, c.status);
        std::vector<ChatMessage> got;
        std::string error;
        EXPECT_FALSE(YouTubeChat::poll(r.site, chat, got, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(chat.continuation, "CONT");
    }
}

TEST(YouTubeReader, WatchPageCountsAreReadAndSaturated) {
    struct Case {
        std::string page;
        bool ok;
        int64_t views;
        const char* subscribers;
    };
    const auto withCount = [](const std::string& count) {
        return "ytInitialData = {\"videoViewCountRenderer\":{\"originalViewCount\":\"" + count + "\"}}";
    };
    const Case cases[] = {
        {fixtures::kWatchPage, true, 1234, "48.2K subscribers"},
        {withCount(" -12abc"), true, -12, ""},
        {withCount("abc"), true, 0, ""},
        {withCount(""), true, -1, ""},
        {withCount("99999999999999999999999999"), true, INT64_MAX, ""},
        {"ytInitialData = {\"contents\":[]}", true, -1, ""},
        {"ytInitialData = {\"contents\":[", false, -1, ""},
        {"<html></html>", false, -1, ""},
    };
    for (const Case& c : cases) {
        Reader r;
        r.http->serve("/watch?v=abcDEF12_-9", c.page);
        VideoStats stats;
        std::string error;
        EXPECT_EQ(fetchVideoStats(r.site, fixtures::kVideoId, stats, error), c.ok) << c.page;
        EXPECT_EQ(stats.viewCount, c.views) << c.page;
        EXPECT_EQ(stats.subscriberText, c.subscribers);
        EXPECT_EQ(error, c.ok ? "" : kNoVideoData);
        EXPECT_EQ(stats.title, &c == cases ? "Ranked grind" : "");
    }
}

}  // namespace
