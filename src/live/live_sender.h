// What the sender thread of a live output reaches beyond its output: the publishing
// connection and the clock. Both are seams so that the reconnection rules can be
// checked without a server and without waiting.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "live/rtmp_session.h"
#include "live/rtmp_url.h"

// Steady time and timed waits. The sender's back-off and the session's frame pacing
// read time only through this, so both can be driven by a test clock.
class LiveClock {
public:
    virtual ~LiveClock() = default;
    virtual int64_t now() = 0;  // steady-clock nanoseconds
    // Waits on `wake` (with `lock` held) until `done()` holds or the clock reaches
    // `deadline`; spurious wake-ups resume the wait.
    virtual void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                           int64_t deadline, const std::function<bool()>& done) = 0;
};

LiveClock& steadyLiveClock();

// One publishing connection as the sender thread sees it. The real one is the RTMP
// session; tests put a scripted one in its place.
class IStreamPublisher {
public:
    virtual ~IStreamPublisher() = default;
    virtual std::string connect(const RtmpEndpoint& endpoint, const std::string& streamKey,
                                const StreamMetadata& media) = 0;
    virtual void abort() = 0;  // any thread
    virtual bool sendMedia(uint8_t type, uint32_t timestampMs, const std::vector<uint8_t>& body) = 0;
    virtual bool pump() = 0;
    virtual void close() = 0;
    virtual std::string lastError() = 0;
};

using PublisherFactory = std::function<std::unique_ptr<IStreamPublisher>()>;
std::unique_ptr<IStreamPublisher> makeRtmpPublisher();

// Seconds to wait before the next attempt after `attempts` failed ones in a row:
// 2, 4, 8, 16, then 30.
int64_t reconnectDelaySeconds(int attempts);
