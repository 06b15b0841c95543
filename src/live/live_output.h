// One destination while live: its copy of the destination, its encoders, its packet
// queue (main thread to sender thread) and its sender thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "live/live_sender.h"
#include "media/media.h"
#include "project/project.h"
#include "remote/thread_starter.h"

enum LiveState : int { LiveConnecting = 0, LiveLive = 1, LiveReconnecting = 2 };

struct DestinationStatus {
    std::string id;
    std::string name;
    int state = LiveConnecting;
    std::string error;
};

struct MediaPacket {
    uint8_t kind = kRtmpVideo;  // the message type it travels as: kRtmpAudio or kRtmpVideo
    std::vector<uint8_t> data;
    int64_t pts = 0;  // 100-ns units, as the encoder stamped it
    bool keyframe = false;
};

// Limits of one output's queue: eight seconds of media of either kind. Counting both
// kinds against one frame-rate-derived limit would overflow after about three seconds.
constexpr int kQueueSeconds = 8;
constexpr int kAacFrameSamples = 1024;
constexpr int kLiveSampleRate = 48000;
constexpr int kLiveAudioKbps = 192;

struct LiveOutput {
    LiveOutput();
    ~LiveOutput();
    LiveOutput(const LiveOutput&) = delete;
    LiveOutput& operator=(const LiveOutput&) = delete;

    Destination destination;
    RtmpEndpoint endpoint;
    std::string streamKey;
    StreamMetadata media;
    std::unique_ptr<IVideoPacketEncoder> videoEncoder;
    std::unique_ptr<IAudioPacketEncoder> audioEncoder;
    int64_t framesSent = 0;
    int outWidth = 0;
    int outHeight = 0;
    std::vector<uint8_t> scaled;
    std::vector<EncodedPacket> encoded;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<MediaPacket> queue;
    // Written under lock, so that a waiter on `wake` cannot miss it; read
    // without it between packets.
    std::atomic<bool> stopping{false};
    bool dropUntilKeyframe = false;
    IStreamPublisher* session = nullptr;
    std::atomic<int> state{LiveConnecting};
    std::string error;
    std::thread thread;
    bool sending = false;               // under lock: the sender thread has not yet returned
    std::condition_variable finished;   // notified as it returns

    // Seams and sender bookkeeping.
    LiveClock* clock = &steadyLiveClock();
    PublisherFactory makePublisher = makeRtmpPublisher;
    ThreadStarter threadStarter = ::startThread;
    int queuedVideo = 0;  // under lock: packets of each kind in `queue`
    int queuedAudio = 0;
    // The decoder configuration of the last key frame that carried one (sender thread
    // only). An encoder need not repeat its parameter sets at the next IDR, so a
    // reconnected stream starts from this when its first key frame lacks them.
    std::vector<uint8_t> avcConfig;

    // Main thread: appends one packet under the queue rule and wakes the sender.
    void queuePacket(MediaPacket packet);
    // Main thread: encodes one frame / one block of samples and queues the packets.
    void encodeVideo(const uint8_t* pixels, int stride, int64_t frame);
    void encodeAudio(const int16_t* samples, uint64_t frames);

    // Sender thread body (live_sender.cpp).
    void run();
    bool streamLoop(IStreamPublisher& publisher);

    // Empty, or the text of a start that the system had no thread for.
    std::string startThread();
    // Sets `stopping`, aborts a connection that is not yet streaming and wakes
    // the sender, which then says goodbye to a server it is streaming to.
    void requestStop();
    // Waits for the sender to return, until the deadline at most; true when it has.
    bool awaitSender(std::chrono::steady_clock::time_point deadline);
    // After requestStop: cuts off whatever still talks to the server, joins the sender and closes
    // the encoders.
    void finishStop();

    DestinationStatus status() {
        DestinationStatus out;
        status(out);
        return out;
    }
    // Into a kept row, reusing its text storage.
    void status(DestinationStatus& out);
    int videoQueueLimit() const;
    static int audioQueueLimit();
};
