// Stand-ins for the media engine, the clock and the publishing connection, so that
// the live session and its sender threads run without encoders, GPU or server.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "live/live_session.h"
#include "support/still_compositor.h"

namespace livefake {

inline std::vector<uint8_t> annexB(std::initializer_list<std::vector<uint8_t>> nals) {
    std::vector<uint8_t> out;
    for (const auto& nal : nals) {
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), nal.begin(), nal.end());
    }
    return out;
}

inline const std::vector<uint8_t> kSps = {0x67, 0x64, 0x00, 0x1F, 0xAC, 0xD9};
inline const std::vector<uint8_t> kPps = {0x68, 0xEB, 0xE3, 0xCB};

// A key frame with or without its parameter sets, or an inter frame; the slice carries
// a marker byte so tests can tell frames apart on the wire.
inline std::vector<uint8_t> keyFrame(uint8_t marker, bool withParameterSets = true) {
    if (withParameterSets) return annexB({{0x09, 0xF0}, kSps, kPps, {0x65, 0x88, marker}});
    return annexB({{0x65, 0x88, marker}});
}
inline std::vector<uint8_t> interFrame(uint8_t marker) {
    return annexB({{0x41, 0x9A, marker}});
}

struct EncoderLog {
    std::mutex lock;
    int opened = 0;
    int closed = 0;
    std::vector<VideoEncoderSettings> settings;
    std::vector<int64_t> frames;
    std::vector<int> strides;
    std::vector<uint32_t> firstPixels;  // BGRA of the top-left pixel of each frame
    std::vector<uint64_t> audioFrames;
    int audioRate = 0;
    int audioBytesPerSecond = 0;
};

class FakeVideoEncoder : public IVideoPacketEncoder {
public:
    FakeVideoEncoder(std::shared_ptr<EncoderLog> log, std::string failure = "")
        : log(std::move(log)), failure(std::move(failure)) {}
    bool open(const VideoEncoderSettings& s) override {
        std::lock_guard<std::mutex> g(log->lock);
        log->settings.push_back(s);
        if (!failure.empty()) {
            error = failure;
            return false;
        }
        ++log->opened;
        settings = s;
        return true;
    }
    void encode(const uint8_t* pixels, int stride, int64_t frame, std::vector<EncodedPacket>& out) override {
        {
            std::lock_guard<std::mutex> g(log->lock);
            log->frames.push_back(frame);
            log->strides.push_back(stride);
            log->firstPixels.push_back(uint32_t(pixels[0]) | uint32_t(pixels[1]) << 8 |
                                       uint32_t(pixels[2]) << 16 | uint32_t(pixels[3]) << 24);
        }
        const int gop = settings.fps * settings.keyframeSeconds;
        EncodedPacket p;
        p.keyframe = frame % gop == 0;
        p.data = p.keyframe ? keyFrame(uint8_t(frame)) : interFrame(uint8_t(frame));
        p.time = frame * 10000000 / settings.fps;
        out.push_back(std::move(p));
    }
    void close() override {
        std::lock_guard<std::mutex> g(log->lock);
        ++log->closed;
    }
    std::string lastError() const override { return error; }
    std::string name() const override { return "Fake H.264"; }

    std::shared_ptr<EncoderLog> log;
    std::string failure;
    std::string error;
    VideoEncoderSettings settings;
};

class FakeAudioEncoder : public IAudioPacketEncoder {
public:
    explicit FakeAudioEncoder(std::shared_ptr<EncoderLog> log) : log(std::move(log)) {}
    bool open(int rate, int bytesPerSecond) override {
        std::lock_guard<std::mutex> g(log->lock);
        log->audioRate = rate;
        log->audioBytesPerSecond = bytesPerSecond;
        return true;
    }
    void encode(const int16_t*, uint64_t frames, std::vector<EncodedPacket>& out) override {
        {
            std::lock_guard<std::mutex> g(log->lock);
            log->audioFrames.push_back(frames);
        }
        EncodedPacket p;
        p.data = {0x21, 0x10, 0x04};
        p.time = int64_t(total) * 10000000 / 48000;
        p.keyframe = true;
        total += frames;
        out.push_back(std::move(p));
    }
    void close() override {}
    std::string lastError() const override { return ""; }

    std::shared_ptr<EncoderLog> log;
    uint64_t total = 0;
};

// A canvas in memory that counts its read-backs, in all and within the current tick.
class PixelCanvas : public StillCompositorBase {
public:
    PixelCanvas(int width, int height, int pitch)
        : width(width), height(height), pitch(pitch), pixels(size_t(pitch) * height, 0x80) {}
    const uint8_t* mapPixels(int* rowPitch) override {
        ++maps;
        maxMapsPerTick = std::max(maxMapsPerTick, ++mapsThisTick);
        if (failMap) return nullptr;
        *rowPitch = pitch;
        return pixels.data();
    }
    void newTick() { mapsThisTick = 0; }

    int width;
    int height;
    int pitch;
    std::vector<uint8_t> pixels;
    int maps = 0;
    int mapsThisTick = 0;
    int maxMapsPerTick = 0;
    bool failMap = false;
};

// A canvas whose pixel (x, y) is a value that names the canvas and the position, with
// rows padded beyond width * 4 as a GPU read-back may be.
class FakeCompositor : public PixelCanvas {
public:
    FakeCompositor(int width, int height, uint8_t tag) : PixelCanvas(width, height, width * 4 + 64) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &pixels[size_t(y) * pitch + size_t(x) * 4];
                p[0] = tag;
                p[1] = uint8_t(x);
                p[2] = uint8_t(y);
                p[3] = 255;
            }
        }
    }
};

// A clock that moves only when told. Back-off waits either jump straight to their
// deadline (recording the delay) or park until the output is stopped.
class FakeClock : public LiveClock {
public:
    int64_t now() override { return time.load(); }
    void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, int64_t deadline,
                   const std::function<bool()>& done) override {
        {
            std::lock_guard<std::mutex> g(waitsLock);
            waits.push_back(deadline - time.load());
        }
        waitsChanged.notify_all();
        if (park || int(waitCount()) > jumpLimit) {
            wake.wait(lock, done);
            return;
        }
        if (!done()) time = deadline;
    }
    size_t waitCount() {
        std::lock_guard<std::mutex> g(waitsLock);
        return waits.size();
    }
    std::vector<int64_t> waitSeconds() {
        std::lock_guard<std::mutex> g(waitsLock);
        std::vector<int64_t> s;
        for (int64_t w : waits) s.push_back(w / 1000000000LL);
        return s;
    }
    bool waitForWaits(size_t n, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> g(waitsLock);
        return waitsChanged.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return waits.size() >= n; });
    }
    void advanceSeconds(double s) { time += int64_t(s * 1e9); }

    std::atomic<int64_t> time{1000000000000LL};
    bool park = false;
    int jumpLimit = 1000;  // after this many waits, park
    std::mutex waitsLock;
    std::condition_variable waitsChanged;
    std::vector<int64_t> waits;
};

struct SentMessage {
    int connection;
    uint8_t type;
    uint32_t timestamp;
    std::vector<uint8_t> body;
};

// What a scripted server did, shared by every connection a test's publisher factory made.
struct PublishLog {
    std::mutex lock;
    std::condition_variable changed;
    int connects = 0;
    int closes = 0;
    int aborts = 0;
    std::vector<SentMessage> sent;
    // Script, by connection number (0-based); past the end the last entry applies.
    std::vector<std::string> connectResults = {""};
    std::vector<int> failAfterSends = {-1};  // -1: never
    std::vector<double> secondsPerConnect = {0};
    FakeClock* clock = nullptr;
    bool blockConnect = false;  // connect waits until aborted
    std::function<void()> beforeLoss;  // runs once, as a connection is about to be lost

    template <class T>
    static T pick(const std::vector<T>& v, int i) {
        return v.empty() ? T() : v[std::min<size_t>(size_t(i), v.size() - 1)];
    }
    bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, std::chrono::milliseconds(timeoutMs), pred);
    }
    std::vector<SentMessage> messages(int connection) {
        std::lock_guard<std::mutex> g(lock);
        std::vector<SentMessage> out;
        for (const auto& m : sent) {
            if (m.connection == connection) out.push_back(m);
        }
        return out;
    }
};

class FakePublisher : public IStreamPublisher {
public:
    explicit FakePublisher(std::shared_ptr<PublishLog> log) : log(std::move(log)) {}
    std::string connect(const RtmpEndpoint&, const std::string&, const StreamMetadata& m) override {
        std::unique_lock<std::mutex> g(log->lock);
        index = log->connects++;
        media = m;
        log->changed.notify_all();
        if (log->clock) log->clock->advanceSeconds(PublishLog::pick(log->secondsPerConnect, index));
        if (log->blockConnect) {
            log->changed.wait(g, [&] { return aborted; });
            return "Stopped";
        }
        error = PublishLog::pick(log->connectResults, index);
        return error;
    }
    void abort() override {
        std::lock_guard<std::mutex> g(log->lock);
        aborted = true;
        ++log->aborts;
        log->changed.notify_all();
    }
    bool sendMedia(uint8_t type, uint32_t ts, const std::vector<uint8_t>& body) override {
        std::lock_guard<std::mutex> g(log->lock);
        const int limit = PublishLog::pick(log->failAfterSends, index);
        if (aborted || (limit >= 0 && sends >= limit)) {
            error = "Connection lost";
            return false;
        }
        ++sends;
        log->sent.push_back({index, type, ts, body});
        log->changed.notify_all();
        return true;
    }
    bool pump() override {
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> g(log->lock);
            const int limit = PublishLog::pick(log->failAfterSends, index);
            if (limit < 0 || sends < limit) return true;
            error = "The server closed the connection";
            hook.swap(log->beforeLoss);
        }
        if (hook) hook();
        return false;
    }
    void close() override {
        std::lock_guard<std::mutex> g(log->lock);
        ++log->closes;
        log->changed.notify_all();
    }
    std::string lastError() override {
        std::lock_guard<std::mutex> g(log->lock);
        return error;
    }

    std::shared_ptr<PublishLog> log;
    int index = 0;
    int sends = 0;
    bool aborted = false;
    std::string error;
    StreamMetadata media;
};

inline PublisherFactory publisherFactory(std::shared_ptr<PublishLog> log) {
    return [log] { return std::make_unique<FakePublisher>(log); };
}

}  // namespace livefake
