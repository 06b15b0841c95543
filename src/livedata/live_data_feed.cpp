#include "livedata/live_data_feed.h"

#include <chrono>
#include <system_error>

namespace LiveData {

std::atomic<int64_t> chatSequence{0};

namespace {

class SteadyClock final : public Clock {
public:
    int64_t nowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, const bool& stopping,
                 int ms) override {
        using namespace std::chrono;
        const auto now = steady_clock::now();
        const auto room = duration_cast<milliseconds>(steady_clock::time_point::max() - now);
        const auto deadline = milliseconds(ms) >= room ? steady_clock::time_point::max() : now + milliseconds(ms);
        return !wake.wait_until(lock, deadline, [&] { return stopping; });
    }
};

bool stopped(Hub& hub) {
    std::lock_guard<std::mutex> g(hub.lock);
    return hub.stopping;
}

void setStatus(Hub& hub, int index, const std::string& status) {
    std::lock_guard<std::mutex> g(hub.lock);
    hub.channels[std::size_t(index)].status = status;
}

void appendMessages(Hub& hub, int index, const std::vector<ChatMessage>& messages) {
    std::lock_guard<std::mutex> g(hub.lock);
    for (const ChatMessage& m : messages) {
        // Taken under the hub's lock, so the queue stays in sequence order.
        const int64_t seq = chatSequence.fetch_add(1) + 1;
        hub.chat.push_back({m.author, m.amount.empty() ? m.text : m.amount + "  " + m.text, index, seq});
    }
    while (hub.chat.size() > kMaxChatEntries) hub.chat.pop_front();
}

void refreshStats(Hub& hub, int index, const std::string& videoId) {
    VideoStats stats;
    std::string error;
    // A failed fetch keeps the last counts; the chat status says what is wrong.
    if (!fetchVideoStats(hub.site, videoId, stats, error)) return;
    std::lock_guard<std::mutex> g(hub.lock);
    ChannelState& state = hub.channels[std::size_t(index)];
    state.viewers = stats.viewCount;
    state.subscribers = stats.subscriberText;
}

}  // namespace

std::shared_ptr<Clock> steadyClock() {
    static const std::shared_ptr<Clock> clock = std::make_shared<SteadyClock>();
    return clock;
}

bool Hub::waitFor(int ms) {
    std::unique_lock<std::mutex> g(lock);
    if (stopping) return false;
    return clock->waitFor(g, wake, stopping, ms);
}

void channelWorker(std::shared_ptr<Hub> hubShare, int index, std::string channel) {
    Hub& hub = *hubShare;
    for (;;) {
        if (stopped(hub)) return;
        std::string error;
        const std::string videoId = resolveLiveVideoId(hub.site, channel, error);
        {
            std::lock_guard<std::mutex> g(hub.lock);
            hub.channels[std::size_t(index)].videoId = videoId;
        }
        if (videoId.empty()) {
            setStatus(hub, index, error == kNotLiveNow ? "Waiting for " + channel + " to go live" : error);
            if (!hub.waitFor(kIdleWaitMs)) return;
            continue;
        }

        YouTubeChatSession chat;
        std::vector<ChatMessage> messages;
        const bool chatRuns = YouTubeChat::start(hub.site, chat, videoId, messages, error);
        setStatus(hub, index, chatRuns ? std::string() : error);
        int64_t statsDue = hub.clock->nowMs();
        for (;;) {
            if (stopped(hub)) return;
            if (hub.clock->nowMs() >= statsDue) {
                refreshStats(hub, index, videoId);
                statsDue = hub.clock->nowMs() + kIdleWaitMs;
            }
            appendMessages(hub, index, messages);
            messages.clear();
            if (!hub.waitFor(chatRuns ? chat.pollIntervalMs : kIdleWaitMs)) return;
            // A chat that would not start is tried again with a fresh look at
            // the channel, after the counts had their refresh.
            if (!chatRuns) break;
            if (!YouTubeChat::poll(hub.site, chat, messages, error)) {
                setStatus(hub, index, error);
                if (!hub.waitFor(kPollFailurePauseMs)) return;
                break;
            }
        }
    }
}

}  // namespace LiveData

LiveDataFeed::LiveDataFeed(YouTubeSite site, std::shared_ptr<LiveData::Clock> clock)
    : site_(std::move(site)), clock_(std::move(clock)) {}

LiveDataFeed::~LiveDataFeed() {
    stop();
    // Stopped workers have had their requests aborted: none waits on the network.
    for (Worker& w : workers_) w.thread.join();
}

void LiveDataFeed::joinFinishedWorkers() {
    for (std::size_t i = 0; i < workers_.size();) {
        if (workers_[i].done->load()) {
            workers_[i].thread.join();
            workers_.erase(workers_.begin() + std::ptrdiff_t(i));
        } else {
            ++i;
        }
    }
}

void LiveDataFeed::start(const std::vector<std::string>& list) {
    joinFinishedWorkers();
    if (list == channels && (hub || list.empty())) return;
    if (hub) {
        if (hub->site.abort) hub->site.abort->store(true);
        std::lock_guard<std::mutex> g(hub->lock);
        hub->stopping = true;
        hub->wake.notify_all();
    }
    hub.reset();
    channels = list;
    if (list.empty()) return;

    // Each hub's requests can be aborted apart from those of the next one.
    YouTubeSite site = site_;
    site.abort = std::make_shared<std::atomic<bool>>(false);
    hub = std::make_shared<LiveData::Hub>(std::move(site), clock_);
    for (const std::string& channel : list) hub->channels.push_back({channel, kConnectingStatus, -1, "", ""});
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto done = std::make_shared<std::atomic<bool>>(false);
        try {
            std::thread t([h = hub, i, channel = list[i], done]() mutable {
                LiveData::channelWorker(std::move(h), int(i), std::move(channel));
                done->store(true);
            });
            workers_.push_back({std::move(t), done});
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> g(hub->lock);
            hub->channels[i].status = "Could not start reading this channel";
        }
    }
}

std::vector<ChannelState> LiveDataFeed::channelStates() const {
    std::vector<ChannelState> states;
    channelStates(states);
    return states;
}

void LiveDataFeed::channelStates(std::vector<ChannelState>& out) const {
    if (!hub) {
        out.clear();
        return;
    }
    std::lock_guard<std::mutex> g(hub->lock);
    out = hub->channels;
}

std::vector<ChatEntry> LiveDataFeed::chatEntries() const {
    if (!hub) return {};
    std::lock_guard<std::mutex> g(hub->lock);
    return {hub->chat.begin(), hub->chat.end()};
}
