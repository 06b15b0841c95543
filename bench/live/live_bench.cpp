// CPU cost of going live, without the encoders: the main thread's pushMedia (canvas
// read-back, scaling, queueing) and every sender thread (FLV wrapping, RTMP chunking,
// socket writes) while two destinations stream to a local nginx in real time. Then how
// long a stop holds its caller when the link stalled before it.
//
// The encoders are stand-ins that cost nothing and hand out packets of the size the
// destination's bit rate gives, so what is measured is the live path itself.
//
//   live_bench [seconds]     (default 10 per case)
#include <pthread.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "live/live_session.h"
#include "live/session/live_fakes.h"
#include "nginx_peer.h"
#include "stall_relay.h"

namespace {

double threadCpuSeconds(pthread_t thread) {
    clockid_t id;
    if (pthread_getcpuclockid(thread, &id) != 0) return 0;
    timespec ts{};
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double ownCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::vector<uint8_t> nal(uint8_t header, size_t size) {
    std::vector<uint8_t> out = {0, 0, 0, 1, header};
    for (size_t i = 0; i < size; ++i) out.push_back(uint8_t(i * 131 + 7) | 1);
    return out;
}

// Packets of realistic size at no encoding cost.
class SizedVideoEncoder : public IVideoPacketEncoder {
public:
    bool open(const VideoEncoderSettings& s) override {
        settings = s;
        const size_t perFrame = size_t(s.bitrate) / 8 / size_t(s.fps);
        key = nal(0x67, 12);
        const auto pps = nal(0x68, 4);
        key.insert(key.end(), pps.begin(), pps.end());
        const auto idr = nal(0x65, perFrame * 4);
        key.insert(key.end(), idr.begin(), idr.end());
        inter = nal(0x41, perFrame * 9 / 10);
        return true;
    }
    void encode(const uint8_t* pixels, int, int64_t frame, std::vector<EncodedPacket>& out) override {
        sink += pixels[0];
        EncodedPacket p;
        p.keyframe = frame % (settings.fps * settings.keyframeSeconds) == 0;
        p.data = p.keyframe ? key : inter;
        p.time = frame * 10000000 / settings.fps;
        out.push_back(std::move(p));
    }
    void close() override {}
    std::string lastError() const override { return ""; }
    std::string name() const override { return "sized"; }

    VideoEncoderSettings settings;
    std::vector<uint8_t> key, inter;
    unsigned sink = 0;
};

class SizedAudioEncoder : public IAudioPacketEncoder {
public:
    bool open(int, int bytesPerSecond) override {
        frameBytes = size_t(bytesPerSecond) * 1024 / 48000;
        return true;
    }
    void encode(const int16_t*, uint64_t frames, std::vector<EncodedPacket>& out) override {
        pending += frames;
        while (pending >= 1024) {
            EncodedPacket p;
            p.data.assign(frameBytes, 0x5A);
            p.time = int64_t(total) * 10000000 / 48000;
            p.keyframe = true;
            out.push_back(std::move(p));
            total += 1024;
            pending -= 1024;
        }
    }
    void close() override {}
    std::string lastError() const override { return ""; }

    size_t frameBytes = 0;
    uint64_t pending = 0, total = 0;
};

// Two destinations, one per canvas, streaming from cost-free encoders; `url` names
// each destination's server.
struct BenchLive {
    BenchLive(int heightLimit, int kbps, const std::function<std::string(const std::string& id)>& url) {
        access.makeVideoEncoder = [] { return std::make_unique<SizedVideoEncoder>(); };
        access.makeAudioEncoder = [] { return std::make_unique<SizedAudioEncoder>(); };
        access.compositor = [this](int canvas) -> ICompositor* { return canvas == 0 ? &horizontal : &vertical; };
        session = std::make_unique<LiveSession>(access);
        for (int i = 0; i < 2; ++i) {
            Destination d;
            d.id.assign(1, char('a' + i));
            d.name = d.id;
            d.serverUrl = url(d.id);
            d.canvas = i;
            d.bitrateKbps = kbps;
            d.heightLimit = heightLimit;
            project.destinations.push_back(d);
        }
    }
    std::string start() {
        return session->start(project, [](const Destination& d) { return "bench-" + d.id; });
    }
    // Ticks at 60 Hz for the time given; the CPU seconds that pushMedia took.
    double pushFor(double seconds) {
        // Samples of one 60 Hz tick; the audio encoder ignores their values.
        const std::vector<int16_t> samples(800 * 2, 0);
        double cpu = 0;
        auto next = std::chrono::steady_clock::now();
        const auto end = next + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            const double before = ownCpuSeconds();
            session->pushMedia(project, samples);
            cpu += ownCpuSeconds() - before;
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
        }
        return cpu;
    }

    livefake::PixelCanvas horizontal{1920, 1080, 1920 * 4};
    livefake::PixelCanvas vertical{1080, 1920, 1080 * 4};
    LiveMediaAccess access;
    std::unique_ptr<LiveSession> session;
    Project project;
};

void runCase(const char* name, int heightLimit, double seconds, const std::string& folder) {
    NginxRtmpPeer peer(folder, {"a", "b"});
    if (!peer.start()) {
        std::printf("%s: %s\n", name, peer.lastError().c_str());
        return;
    }
    BenchLive live(heightLimit, 6000, [&](const std::string& id) { return peer.url(id); });
    if (const std::string error = live.start(); !error.empty()) {
        std::printf("%s: %s\n", name, error.c_str());
        return;
    }
    const auto begin = std::chrono::steady_clock::now();
    const double pushCpu = live.pushFor(seconds);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    double senderCpu = 0;
    int64_t frames = 0;
    const int liveCount = live.session->liveCount();
    for (auto& output : live.session->outputs) {
        senderCpu += threadCpuSeconds(output->thread.native_handle());
        frames += output->framesSent;
    }
    live.session->stopAll();
    peer.stop();

    const double perSecond = (pushCpu + senderCpu) / wall;
    std::printf("%-34s live %d/2, %lld frames in %.1f s: pushMedia %.2f ms/s, senders %.2f ms/s, "
                "total %.2f %% of one core\n",
                name, liveCount, static_cast<long long>(frames), wall, pushCpu * 1000 / wall,
                senderCpu * 1000 / wall, perSecond * 100);
}

// How long the stop holds its caller (in the studio, the window's thread) when the link
// to both servers stalled this long before it; below 0, a healthy link.
void runStopCase(double stalledSeconds, const std::string& folder) {
    NginxRtmpPeer peer(folder, {"a", "b"});
    if (!peer.start()) {
        std::printf("stop: %s\n", peer.lastError().c_str());
        return;
    }
    StallRelay relays[2] = {StallRelay(peer.port()), StallRelay(peer.port())};
    BenchLive live(0, 20000, [&](const std::string& id) {
        return "rtmp://127.0.0.1:" + std::to_string(relays[id[0] - 'a'].port()) + "/" + id;
    });
    if (const std::string error = live.start(); !error.empty()) {
        std::printf("stop: %s\n", error.c_str());
        return;
    }
    live.pushFor(2);
    const int liveCount = live.session->liveCount();
    if (stalledSeconds >= 0) {
        for (StallRelay& relay : relays) relay.stall();
        live.pushFor(stalledSeconds);
    }
    const auto before = std::chrono::steady_clock::now();
    live.session->stopAll();
    const double held = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    peer.stop();
    char stall[32] = "healthy link";
    if (stalledSeconds >= 0) std::snprintf(stall, sizeof stall, "stalled %.1f s", stalledSeconds);
    std::printf("stop, %-18s live %d/2: held the caller %.3f s\n", stall, liveCount, held);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const char* bin = std::getenv("QH_BINARY_DIR");
    const std::string folder = std::string(bin ? bin : "/tmp") + "/live-bench";
    std::printf("two destinations, 6000 kbps video + 192 kbps audio each, 30 fps, ticks at 60 Hz\n");
    runCase("1080p30 horizontal + 1080p30 vertical", 0, seconds, folder);
    runCase("both scaled to 720p30", 720, seconds, folder);
    std::printf("two destinations at 20000 kbps each through relays that stop carrying data\n");
    for (double stalled : {-1.0, 0.2, 3.0, 12.0}) runStopCase(stalled, folder);
    return 0;
}
