#include "livedata/live_data_feed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "livedata/fixture_pages.h"
#include "livedata/scripted_https.h"
#include "support/wait_for.h"

namespace {

using namespace std::chrono_literals;

// Time that moves only when the test says so; it remembers every wait asked for.
class HandClock final : public LiveData::Clock {
public:
    int64_t nowMs() override {
        std::lock_guard<std::mutex> g(m_);
        return now_;
    }
    bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, const bool& stopping,
                 int ms) override {
        int64_t deadline;
        {
            std::lock_guard<std::mutex> g(m_);
            deadline = now_ + ms;
            waits_.push_back(ms);
            ++sleeping_;
        }
        while (!stopping && nowMs() < deadline) wake.wait_for(lock, 1ms);
        std::lock_guard<std::mutex> g(m_);
        --sleeping_;
        return !stopping;
    }
    void advance(int64_t ms) {
        std::lock_guard<std::mutex> g(m_);
        now_ += ms;
    }
    // The waits asked for so far, once `count` of them have been asked for.
    std::vector<int> waitsAfter(std::size_t count) {
        ::waitFor([&] {
            std::lock_guard<std::mutex> g(m_);
            return waits_.size() >= count && sleeping_ > 0;
        });
        std::lock_guard<std::mutex> g(m_);
        return waits_;
    }

private:
    std::mutex m_;
    int64_t now_ = 1000000;
    std::vector<int> waits_;
    int sleeping_ = 0;
};

const std::string kChatPath = "/live_chat?is_popout=1&v=abcDEF12_-9";
const std::string kPollPath = "/youtubei/v1/live_chat/get_live_chat?prettyPrint=false&key=AIzaSyTestKey_0123-x";
const std::string kWatchPath = "/watch?v=abcDEF12_-9";

struct Rig {
    std::shared_ptr<ScriptedHttps> http = std::make_shared<ScriptedHttps>();
    std::shared_ptr<HandClock> clock = std::make_shared<HandClock>();
    LiveDataFeed feed{YouTubeSite{http, "127.0.0.1", 8443}, clock};

    // "@main" is live with this chat page.
    void serveLive(const std::string& chatPage) {
        http->serve("/@main/live", fixtures::kLivePage);
        http->serve(kChatPath, chatPage);
        http->serve(kWatchPath, fixtures::kWatchPage);
    }
    ChannelState state(std::size_t i = 0) { return feed.channelStates().at(i); }
    bool statusIs(const std::string& s) {
        return waitFor([&] { return state().status == s; });
    }
};

TEST(LiveDataWorker, ChannelNotLiveWaitsThirtySecondsAndLooksAgain) {
    Rig rig;
    rig.http->serve("/@quiet/live", fixtures::kOfflinePage);
    rig.feed.start({"@quiet "});
    EXPECT_EQ(rig.state().viewers, -1);
    EXPECT_TRUE(rig.statusIs("Waiting for @quiet  to go live"));
    EXPECT_EQ(rig.clock->waitsAfter(1), std::vector<int>({30000}));
    EXPECT_EQ(rig.http->count("/@quiet/live"), 1);
    rig.clock->advance(30000);
    EXPECT_TRUE(waitFor([&] { return rig.http->count("/@quiet/live") == 2; }));
}

TEST(LiveDataWorker, ChatPollsKeepTheNewestThirtyAndCountsRefreshEveryThirtySeconds) {
    Rig rig;
    rig.serveLive(fixtures::liveChatPage());
    std::string many = "[";
    for (int i = 1; i <= 40; ++i) {
        if (i > 1) many += ',';
        many += fixtures::textAction("viewer", std::string("m") + std::to_string(i));
    }
    many += "]";
    rig.http->queue(kPollPath, fixtures::pollReply(many, "C2", "\"timeoutMs\":1500,"));
    rig.http->serve(kPollPath, fixtures::pollReply("[]", "C3", "\"timeoutMs\":2000,"));
    rig.feed.start({"@main"});

    EXPECT_EQ(rig.clock->waitsAfter(1), std::vector<int>({3000}));
    ChannelState s = rig.state();
    EXPECT_EQ(s.status, "");
    EXPECT_EQ(s.videoId, fixtures::kVideoId);
    EXPECT_EQ(s.viewers, 1234);
    EXPECT_EQ(s.subscribers, "48.2K subscribers");
    auto chat = rig.feed.chatEntries();
    ASSERT_EQ(chat.size(), 3u);
    EXPECT_EQ(chat[1].text, "$5.00  ");
    EXPECT_EQ(chat[1].channel, 0);

    rig.clock->advance(3000);
    EXPECT_EQ(rig.clock->waitsAfter(2), std::vector<int>({3000, 1500}));
    chat = rig.feed.chatEntries();
    ASSERT_EQ(chat.size(), 30u);
    EXPECT_EQ(chat.front().text, "m11");
    EXPECT_EQ(chat.back().text, "m40");
    for (std::size_t i = 1; i < chat.size(); ++i) EXPECT_GT(chat[i].seq, chat[i - 1].seq);
    EXPECT_EQ(rig.http->count(kWatchPath), 1);

    // Polls at 3 + 1.5 + 12 × 2 = 28.5 s after the first count: no refresh
    // yet; the poll at 30.5 s brings one.
    rig.clock->advance(1500);
    for (std::size_t n = 3; n <= 14; ++n) {
        rig.clock->waitsAfter(n);
        rig.clock->advance(2000);
    }
    rig.clock->waitsAfter(15);
    EXPECT_EQ(rig.http->count(kWatchPath), 1);
    rig.clock->advance(2000);
    rig.clock->waitsAfter(16);
    EXPECT_EQ(rig.http->count(kWatchPath), 2);
}

TEST(LiveDataWorker, PollFailurePausesFiveSecondsAndStartsOver) {
    Rig rig;
    rig.serveLive(fixtures::liveChatPage());
    rig.http->queue(kPollPath, "<html>");
    rig.feed.start({"@main"});
    rig.clock->waitsAfter(1);
    rig.clock->advance(3000);
    EXPECT_EQ(rig.clock->waitsAfter(2), std::vector<int>({3000, 5000}));
    EXPECT_EQ(rig.state().status, kReplyNotJson);
    EXPECT_EQ(rig.http->count("/@main/live"), 1);
    rig.clock->advance(5000);
    EXPECT_EQ(rig.clock->waitsAfter(3), std::vector<int>({3000, 5000, 3000}));
    EXPECT_EQ(rig.http->count("/@main/live"), 2);
    EXPECT_EQ(rig.http->count(kChatPath), 2);
    EXPECT_EQ(rig.state().status, "");
}

TEST(LiveDataWorker, ChatThatWouldNotStartIsTriedAgainAfterThirtySeconds) {
    Rig rig;
    rig.serveLive("<html>chat is off</html>");
    rig.feed.start({"@main"});
    EXPECT_EQ(rig.clock->waitsAfter(1), std::vector<int>({30000}));
    EXPECT_EQ(rig.state().status, kNoLiveChat);
    EXPECT_EQ(rig.state().viewers, 1234);  // counts still come
    rig.http->serve(kChatPath, fixtures::liveChatPage());
    rig.clock->advance(30000);
    EXPECT_EQ(rig.clock->waitsAfter(2), std::vector<int>({30000, 3000}));
    EXPECT_EQ(rig.http->count("/@main/live"), 2);
    EXPECT_EQ(rig.state().status, "");
    EXPECT_EQ(rig.feed.chatEntries().size(), 3u);
}

TEST(LiveDataFeed, RestartsOnlyWhenTheListChangesAndStoppedWorkersLetGo) {
    Rig rig;
    rig.http->serve("/@a/live", fixtures::kOfflinePage);
    rig.feed.start({"@a"});
    std::weak_ptr<LiveData::Hub> first = rig.feed.hub;
    rig.clock->waitsAfter(1);
    rig.feed.start({"@a"});
    EXPECT_EQ(rig.feed.hub, first.lock());
    EXPECT_EQ(rig.http->count("/@a/live"), 1);

    // The same channel twice: two workers, two states.
    rig.feed.start({"@a", "@a"});
    EXPECT_NE(rig.feed.hub, first.lock());
    const auto states = rig.feed.channelStates();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[1].channel, "@a");
    EXPECT_TRUE(waitFor([&] { return first.expired(); }));
    EXPECT_TRUE(waitFor([&] { return rig.http->count("/@a/live") == 3; }));

    std::weak_ptr<LiveData::Hub> second = rig.feed.hub;
    rig.feed.stop();
    EXPECT_FALSE(rig.feed.hub);
    EXPECT_TRUE(rig.feed.channelStates().empty());
    EXPECT_TRUE(waitFor([&] { return second.expired(); }));
    rig.feed.start({"@a", "@a"});
    EXPECT_TRUE(rig.feed.hub);
    EXPECT_EQ(rig.feed.channelStates().size(), 2u);
}

// A dead network: every request hangs until it is aborted, or gives up
// after a minute, as a transport's time-outs would.
class HangingHttps final : public HttpsClient {
public:
    HttpsResponse send(const HttpsRequest& rq) override {
        count(hanging_, rq.path, 1);
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!(rq.abort && rq.abort->load()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        if (rq.abort && rq.abort->load()) count(aborted_, rq.path, 1);
        count(hanging_, rq.path, -1);
        return {};
    }
    int hanging(const std::string& path) { return count(hanging_, path, 0); }
    int aborted(const std::string& path) { return count(aborted_, path, 0); }

private:
    int count(std::map<std::string, int>& counts, const std::string& path, int add) {
        std::lock_guard<std::mutex> g(m_);
        return counts[path] += add;
    }
    std::mutex m_;
    std::map<std::string, int> hanging_, aborted_;
};

TEST(LiveDataFeed, StoppingAbortsTheRequestsInFlight) {
    auto http = std::make_shared<HangingHttps>();
    {
        LiveDataFeed feed{YouTubeSite{http, "127.0.0.1", 8443}, std::make_shared<HandClock>()};
        feed.start({"@a", "@b"});
        auto hangingOn = [&](int n) {
            return waitFor([&] {
                return http->hanging("/@a/live") == n && http->hanging("/@b/live") == n;
            });
        };
        ASSERT_TRUE(hangingOn(1));
        // A new list ends the old workers' requests, not the new worker's.
        feed.start({"@c"});
        EXPECT_TRUE(hangingOn(0));
        EXPECT_GE(http->aborted("/@a/live"), 1);
        EXPECT_GE(http->aborted("/@b/live"), 1);
        ASSERT_TRUE(waitFor([&] { return http->hanging("/@c/live") == 1; }));
        EXPECT_EQ(http->aborted("/@c/live"), 0);
    }
    // The feed is gone and its last worker joined: its request was aborted,
    // not left to run out.
    EXPECT_EQ(http->hanging("/@c/live"), 0);
    EXPECT_EQ(http->aborted("/@c/live"), 1);
}

}  // namespace
