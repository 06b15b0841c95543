// The sender thread of one live output: connect, stream, and reconnect with back-off.
#include "live/live_sender.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "live/flv.h"
#include "live/live_output.h"
#include "media/packaging.h"

namespace {

constexpr int64_t kSecond = 1000000000LL;
constexpr int64_t kResetAfter = 30 * kSecond;  // a stream that lasted longer retries after 2 s
constexpr int kMaxShift = 4;
constexpr int64_t kMaxDelaySeconds = 30;
constexpr auto kPacketWait = std::chrono::milliseconds(100);

class SteadyLiveClock final : public LiveClock {
public:
    int64_t now() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                   int64_t deadline, const std::function<bool()>& done) override {
        const auto until = std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::nanoseconds(deadline)));
        wake.wait_until(lock, until, done);
    }
};

class RtmpPublisher final : public IStreamPublisher {
public:
    std::string connect(const RtmpEndpoint& endpoint, const std::string& streamKey,
                        const StreamMetadata& media) override {
        return session.connect(endpoint, streamKey, media);
    }
    void abort() override { session.abort(); }
    bool sendMedia(uint8_t type, uint32_t timestampMs, const std::vector<uint8_t>& body) override {
        return session.sendMedia(type, timestampMs, body);
    }
    bool pump() override { return session.pump(); }
    void close() override { session.close(); }
    std::string lastError() override { return session.error(); }

private:
    RtmpSession session;
};

}  // namespace

LiveClock& steadyLiveClock() {
    static SteadyLiveClock clock;
    return clock;
}

std::unique_ptr<IStreamPublisher> makeRtmpPublisher() {
    return std::make_unique<RtmpPublisher>();
}

int64_t reconnectDelaySeconds(int attempts) {
    return std::min<int64_t>(int64_t{2} << std::min(std::max(attempts, 0), kMaxShift), kMaxDelaySeconds);
}

void LiveOutput::run() {
    std::unique_ptr<IStreamPublisher> current = makePublisher();
    // However the thread ends, a stop can no longer reach the publisher once it is
    // gone: this is undone before `current` is destroyed.
    struct Unpublish {
        LiveOutput& output;
        ~Unpublish() {
            std::lock_guard<std::mutex> guard(output.lock);
            output.session = nullptr;
        }
    } unpublish{*this};
    int attempts = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (stopping) return;
            session = current.get();
        }
        const int64_t attemptStart = clock->now();
        const std::string failure = current->connect(endpoint, streamKey, media);
        if (failure.empty() && streamLoop(*current)) return;
        if (clock->now() - attemptStart > kResetAfter) attempts = 0;

        std::unique_lock<std::mutex> guard(lock);
        session = nullptr;
        if (stopping) return;
        error = !failure.empty() ? failure : current->lastError();
        state.exchange(LiveReconnecting);
        const int64_t deadline = clock->now() + reconnectDelaySeconds(attempts) * kSecond;
        clock->waitUntil(wake, guard, deadline, [this] { return stopping.load(); });
        if (stopping) return;
        queue.clear();
        queuedVideo = 0;
        queuedAudio = 0;
        guard.unlock();

        current.reset();
        current = makePublisher();
        ++attempts;
    }
}

bool LiveOutput::streamLoop(IStreamPublisher& publisher) {
    bool started = false;
    bool dropping = false;
    int64_t base = 0;
    std::deque<MediaPacket> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait_for(guard, kPacketWait, [this] { return stopping || !queue.empty(); });
            if (stopping) {
                guard.unlock();
                publisher.close();
                return true;
            }
            batch.clear();
            batch.swap(queue);
            queuedVideo = 0;
            queuedAudio = 0;
            if (dropUntilKeyframe) {
                dropUntilKeyframe = false;
                dropping = true;
            }
        }

        for (MediaPacket& packet : batch) {
            const bool video = packet.kind == kRtmpVideo;
            if (video && packet.keyframe) dropping = false;
            if (!started) {
                if (!video || !packet.keyframe) continue;
                std::vector<uint8_t> config;
                if (avcDecoderConfigFromAnnexB(packet.data.data(), packet.data.size(), config)) {
                    avcConfig = std::move(config);
                } else if (avcConfig.empty()) {
                    continue;  // no parameter sets yet: wait for a key frame that has them
                }
                base = packet.pts;
                if (!publisher.sendMedia(kRtmpVideo, 0, flvAvcSequenceHeaderTag(avcConfig))) return false;
                const std::vector<uint8_t> audioConfig = aacAudioSpecificConfig(media.audioSampleRate, 2);
                if (!publisher.sendMedia(kRtmpAudio, 0, flvAacSequenceHeader(audioConfig))) return false;
                state.exchange(LiveLive);
                {
                    std::lock_guard<std::mutex> guard(lock);
                    error.clear();
                }
                started = true;
            }
            if (packet.pts < base) continue;
            if (dropping && video) continue;
            const uint32_t timestamp = static_cast<uint32_t>((packet.pts - base) / 10000);
            const std::vector<uint8_t> body =
                video ? flvAvcNaluTag(annexBToAvcc(packet.data.data(), packet.data.size()), packet.keyframe)
                      : flvAacFrame(packet.data.data(), packet.data.size());
            if (!publisher.sendMedia(packet.kind, timestamp, body)) return false;
        }
        batch.clear();
        if (!publisher.pump()) return false;
    }
}
