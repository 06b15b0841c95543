#pragma once
// Live chat and channel counts of the user's channels. One worker thread per
// channel fills a shared hub; the Studio's feed restarts the workers when the
// channel list changes and copies the hub's contents once per tick.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "livedata/youtube.h"

struct ChatEntry {
    std::string author;
    std::string text;  // a paid message: the amount, two spaces, then the text
    int64_t channel = 0;
    int64_t seq = 0;  // 0 for lines the studio makes itself
};

inline constexpr char kConnectingStatus[] = "Connecting to YouTube\u2026";

struct ChannelState {
    std::string channel;  // as typed in the destination
    std::string status = kConnectingStatus;  // empty while the chat is read
    int64_t viewers = -1;
    std::string subscribers;
    std::string videoId;
};

namespace LiveData {

inline constexpr std::size_t kMaxChatEntries = 30;
inline constexpr int kIdleWaitMs = 30000;  // statistics refresh; not live; chat unreadable
inline constexpr int kPollFailurePauseMs = 5000;

// The workers' time: the steady clock in the program, a hand-driven one in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t nowMs() = 0;
    // With `lock` held: waits on `wake` until `stopping` is set or `ms` have
    // passed. True when the time ran out without a stop.
    virtual bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                         const bool& stopping, int ms) = 0;
};

std::shared_ptr<Clock> steadyClock();

// The only state shared between the main thread and the workers; it lives
// until the feed and every worker have dropped it.
struct Hub {
    Hub(YouTubeSite site, std::shared_ptr<Clock> clock) : site(std::move(site)), clock(std::move(clock)) {}

    bool waitFor(int ms);

    std::mutex lock;
    std::condition_variable wake;  // notified only when stopping is set
    bool stopping = false;
    std::deque<ChatEntry> chat;
    std::vector<ChannelState> channels;  // fixed length before any worker starts
    const YouTubeSite site;
    const std::shared_ptr<Clock> clock;
};

// Taken by every worker of every hub; the first entry of the process gets 1.
extern std::atomic<int64_t> chatSequence;

void channelWorker(std::shared_ptr<Hub> hub, int index, std::string channel);

}  // namespace LiveData

class LiveDataFeed {
public:
    explicit LiveDataFeed(YouTubeSite site = systemYouTubeSite(),
                          std::shared_ptr<LiveData::Clock> clock = LiveData::steadyClock());
    // Stops, aborting the requests in flight, then waits for the workers,
    // which an abort ends at once whatever the network does.
    ~LiveDataFeed();
    LiveDataFeed(const LiveDataFeed&) = delete;
    LiveDataFeed& operator=(const LiveDataFeed&) = delete;

    // (Re)starts live data for a channel list; the same list again changes
    // nothing. The old workers' requests are aborted and they end on their own.
    void start(const std::vector<std::string>& list);
    void stop() { start({}); }
    // Where the next hub's requests go; tests point it at a local server.
    void setSite(YouTubeSite site) { site_ = std::move(site); }
    std::vector<ChannelState> channelStates() const;
    // The same into a kept vector, reusing its storage.
    void channelStates(std::vector<ChannelState>& out) const;
    std::vector<ChatEntry> chatEntries() const;

    std::vector<std::string> channels;
    std::shared_ptr<LiveData::Hub> hub;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // Joins the workers that have ended, so the main thread never waits on the network.
    void joinFinishedWorkers();

    YouTubeSite site_;
    std::shared_ptr<LiveData::Clock> clock_;
    std::vector<Worker> workers_;
};
