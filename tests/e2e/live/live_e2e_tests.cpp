// Going live for real: the live session with libx264 and AAC encoders, the RTMP
// client and an nginx RTMP server that records what it receives.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "live/live_session.h"
#include "live/session/live_fakes.h"
#include "net/byte_stream.h"
#include "nginx_peer.h"
#include "stall_relay.h"
#include "support/test_encoders.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string buildFolder(const std::string& name) {
    const char* bin = std::getenv("QH_BINARY_DIR");
    return std::string(bin ? bin : ".") + "/e2e-live/" + name;
}

// A canvas that shows a moving pattern, drawn anew each tick.
class PatternCompositor : public livefake::PixelCanvas {
public:
    PatternCompositor(int width, int height) : PixelCanvas(width, height, width * 4) {}
    void draw(int64_t tick) {
        for (int y = 0; y < height; ++y) {
            uint8_t* row = &pixels[size_t(y) * pitch];
            for (int x = 0; x < width; ++x) {
                const int band = int(((x + tick * 8) / 32 + y / 32) % 6);
                row[x * 4 + 0] = uint8_t(band * 40);
                row[x * 4 + 1] = uint8_t((x + y + tick * 3) & 0xFF);
                row[x * 4 + 2] = uint8_t(255 - band * 40);
                row[x * 4 + 3] = 255;
            }
        }
        newTick();
    }
};

struct ProbeResult {
    std::map<std::string, std::string> video;  // ffprobe stream fields
    std::map<std::string, std::string> audio;
    std::vector<std::pair<double, bool>> videoPackets;  // pts seconds, key frame
};

std::map<std::string, std::string> parseFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

ProbeResult probe(const std::string& file) {
    ProbeResult r;
    const std::string base = "ffprobe -v error -of default=noprint_wrappers=1 ";
    r.video = parseFields(runCommand(base + "-select_streams v:0 -show_entries stream=codec_name,width,height '" +
                                     file + "'"));
    r.audio = parseFields(runCommand(base +
                                     "-select_streams a:0 -show_entries stream=codec_name,sample_rate,channels '" +
                                     file + "'"));
    std::istringstream packets(runCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags "
                                          "-of csv=p=0 '" + file + "'"));
    std::string line;
    while (std::getline(packets, line)) {
        const auto comma = line.find(',');
        if (comma == std::string::npos) continue;
        r.videoPackets.push_back({std::atof(line.substr(0, comma).c_str()), line[comma + 1] == 'K'});
    }
    return r;
}

// Drives the session the way the studio's tick does: about 60 ticks a second, both
// canvases drawn, the tick's audio (a tone) mixed and handed over.
struct TickDriver {
    TickDriver() {
        project.canvases[0] = CanvasSettings{960, 540, 30, 4000};
        project.canvases[1] = CanvasSettings{540, 960, 30, 4000};
    }
    LiveMediaAccess access() {
        LiveMediaAccess a;
        a.makeVideoEncoder = makeTestVideoEncoder;
        a.makeAudioEncoder = makeTestAudioEncoder;
        a.compositor = [this](int canvas) -> ICompositor* { return canvas == 0 ? &horizontal : &vertical; };
        return a;
    }
    std::string goLive() {
        std::string result = session.start(project, [this](const Destination& d) { return keys[d.id]; });
        samplesSent = 0;
        return result;
    }
    void tick() {
        horizontal.draw(ticks);
        vertical.draw(ticks);
        ++ticks;
        const double elapsed = double(Clock::now().time_since_epoch().count() - session.startTime) / 1e9;
        const int64_t due = int64_t(elapsed * 48000);
        std::vector<int16_t> samples;
        for (; samplesSent < due; ++samplesSent) {
            const auto v = int16_t(8000 * std::sin(2 * M_PI * 440 * double(samplesSent) / 48000));
            samples.push_back(v);
            samples.push_back(v);
        }
        lastPush = Clock::now();  // close to the time the session reads
        session.pushMedia(project, samples);
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    // Ticks until the predicate holds or the time is up.
    bool runUntil(const std::function<bool()>& done, double seconds) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            tick();
            if (done()) return true;
        }
        return false;
    }
    void runFor(double seconds) {
        runUntil([] { return false; }, seconds);
    }
    // Waits without ticking until every sender has taken what was queued; a stop drops
    // what is still queued (a batch already taken is sent whole before the stream closes),
    // and a busy server can hold a sender back.
    bool drain(double seconds) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            bool empty = true;
            for (auto& output : session.outputs) {
                std::lock_guard<std::mutex> guard(output->lock);
                empty = empty && output->queue.empty();
            }
            if (empty) break;
            if (Clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    Project project;
    std::map<std::string, std::string> keys;
    PatternCompositor horizontal{960, 540};
    PatternCompositor vertical{540, 960};
    LiveSession session{access()};
    int64_t ticks = 0;
    int64_t samplesSent = 0;
    Clock::time_point lastPush;
};

Destination destination(const std::string& id, const std::string& url, int canvas, int heightLimit, int kbps) {
    Destination d;
    d.id = id;
    d.name = "Dest " + id;
    d.serverUrl = url;
    d.canvas = canvas;
    d.heightLimit = heightLimit;
    d.bitrateKbps = kbps;
    return d;
}

}  // namespace

TEST(LiveEndToEnd, TwoDestinationsOnTwoCanvasesRecordWhatWasSent) {
    NginxRtmpPeer peer(buildFolder("two"), {"one", "two"});
    ASSERT_TRUE(peer.start()) << peer.lastError();
    TickDriver studio;
    studio.project.destinations = {destination("a", peer.url("one"), 0, 360, 1200),
                                   destination("b", peer.url("two"), 1, 0, 2000)};
    studio.keys = {{"a", "alpha"}, {"b", "beta"}};
    ASSERT_EQ(studio.goLive(), "");
    const auto started = studio.session.startTime;

    ASSERT_TRUE(studio.runUntil([&] { return studio.session.liveCount() == 2; }, 10))
        << studio.session.statuses()[0].error << " / " << studio.session.statuses()[1].error;
    EXPECT_EQ(studio.session.statusText(), "Live on all 2");
    studio.runFor(3.0);
    ASSERT_TRUE(studio.drain(20));
    const double timeLive = double(studio.lastPush.time_since_epoch().count() - started) / 1e9;
    studio.session.stopAll();
    EXPECT_FALSE(studio.session.isLive());
    EXPECT_EQ(studio.horizontal.maxMapsPerTick, 1);
    EXPECT_EQ(studio.vertical.maxMapsPerTick, 1);
    EXPECT_EQ(studio.horizontal.maps, studio.horizontal.unmaps);
    peer.stop();

    // Stopping unpublished and deleted each stream before the connection closed, and
    // closed it without a reset.
    for (const char* key : {"alpha", "beta"}) {
        const auto lines = peer.publisherLogLines(key);
        const int unpublish = firstLineWith(lines, "'FCUnpublish'");
        const int remove = firstLineWith(lines, "'deleteStream'");
        const int disconnect = firstLineWith(lines, "disconnect");
        EXPECT_GE(unpublish, 0) << key;
        EXPECT_GT(remove, unpublish) << key;
        EXPECT_GT(disconnect, remove) << key;
        EXPECT_EQ(firstLineWith(lines, "Connection reset by peer"), -1) << key;
    }

    const struct {
        std::string app;
        int width, height;
    } expected[] = {{"one", 640, 360}, {"two", 540, 960}};
    for (const auto& e : expected) {
        const auto files = peer.recordings(e.app);
        ASSERT_EQ(files.size(), 1u) << e.app;
        const ProbeResult r = probe(files[0]);
        EXPECT_EQ(r.video.at("codec_name"), "h264");
        EXPECT_EQ(std::atoi(r.video.at("width").c_str()), e.width);
        EXPECT_EQ(std::atoi(r.video.at("height").c_str()), e.height);
        EXPECT_EQ(r.audio.at("codec_name"), "aac");
        EXPECT_EQ(r.audio.at("sample_rate"), "48000");
        EXPECT_EQ(r.audio.at("channels"), "2");
        ASSERT_FALSE(r.videoPackets.empty());
        EXPECT_EQ(r.videoPackets.front().first, 0.0);
        EXPECT_TRUE(r.videoPackets.front().second);
        const double duration = r.videoPackets.back().first + 1.0 / 30;
        EXPECT_NEAR(duration, timeLive, 2.0 / 30) << e.app;
    }
}

TEST(LiveEndToEnd, ReconnectsAfterTheServerRestarts) {
    NginxRtmpPeer peer(buildFolder("restart"), {"live"});
    ASSERT_TRUE(peer.start()) << peer.lastError();
    TickDriver studio;
    studio.project.destinations = {destination("a", peer.url("live"), 0, 0, 1500)};
    studio.keys = {{"a", "again"}};
    ASSERT_EQ(studio.goLive(), "");
    ASSERT_TRUE(studio.runUntil([&] { return studio.session.liveCount() == 1; }, 10));
    EXPECT_EQ(studio.session.statusText(), "Live");
    studio.runFor(1.0);

    peer.kill();
    ASSERT_TRUE(studio.runUntil([&] { return studio.session.statuses()[0].state == LiveReconnecting; }, 10));
    const DestinationStatus down = studio.session.statuses()[0];
    EXPECT_TRUE(down.error == "The server closed the connection" || down.error == "Connection lost") << down.error;
    EXPECT_EQ(studio.session.statusText(), "Reconnecting\xE2\x80\xA6");
    ASSERT_TRUE(peer.start()) << peer.lastError();

    ASSERT_TRUE(studio.runUntil([&] { return studio.session.liveCount() == 1; }, 15))
        << studio.session.statuses()[0].error;
    EXPECT_EQ(studio.session.statuses()[0].error, "");
    studio.runFor(1.5);
    ASSERT_TRUE(studio.drain(20));
    studio.session.stopAll();
    peer.stop();

    const auto files = peer.recordings("live");
    ASSERT_EQ(files.size(), 2u);
    const ProbeResult second = probe(files[1]);
    ASSERT_FALSE(second.videoPackets.empty());
    EXPECT_EQ(second.videoPackets.front().first, 0.0);
    EXPECT_TRUE(second.videoPackets.front().second);
    EXPECT_GT(second.videoPackets.back().first, 1.0);
}

TEST(LiveEndToEnd, SaysWhyADestinationCannotGoLive) {
    NginxRtmpPeer peer(buildFolder("texts"), {"live"});
    ASSERT_TRUE(peer.start()) << peer.lastError();
    TickDriver studio;
    const std::string good = peer.url("live");

    studio.project.destinations = {destination("a", good, 0, 0, 1500)};
    EXPECT_EQ(studio.goLive(), "Dest a: add the stream key in Settings > Destinations");
    studio.keys = {{"a", "k"}};
    studio.project.destinations[0].serverUrl = "";
    EXPECT_EQ(studio.goLive(), "Dest a: The server URL must start with rtmp:// or rtmps://");
    studio.project.destinations[0].serverUrl = "rtmp://127.0.0.1:" + std::to_string(peer.port());
    EXPECT_EQ(studio.goLive(), "Dest a: The server URL needs an app path, e.g. rtmp://host/live");
    studio.project.destinations[0].serverUrl = "http://127.0.0.1/live";
    EXPECT_EQ(studio.goLive(), "Dest a: The server URL must start with rtmp:// or rtmps://");
    EXPECT_FALSE(studio.session.isLive());

    // Two destinations with the same key: the server refuses whichever publishes second.
    studio.project.destinations = {destination("a", good, 0, 0, 1500), destination("b", good, 0, 0, 1500)};
    studio.keys = {{"a", "same"}, {"b", "same"}};
    ASSERT_EQ(studio.goLive(), "");
    ASSERT_TRUE(studio.runUntil(
        [&] {
            const auto rows = studio.session.statuses();
            return rows[0].state + rows[1].state == LiveLive + LiveReconnecting;
        },
        10));
    const auto rows = studio.session.statuses();
    const DestinationStatus& refused = rows[0].state == LiveReconnecting ? rows[0] : rows[1];
    EXPECT_EQ(refused.error, "Stream key refused: Already publishing");
    EXPECT_EQ(studio.session.statusText(), "Live on 1 of 2");
    studio.session.stopAll();
}

// The stop runs on the window's thread, which must get control back at once whatever the
// network does: each output says goodbye if its server takes it, all within one allowance.
TEST(LiveEndToEnd, StopsAtOnceWhenTheLinkStalls) {
    const struct {
        const char* name;
        bool untilSendsBlock;  // else the link stalls just before the stop: the goodbye goes
                               // out, but the server never ends the connection
    } cases[] = {{"stalled at the stop", false}, {"stalled until the sends block", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NginxRtmpPeer peer(buildFolder("stall"), {"live"});
        ASSERT_TRUE(peer.start()) << peer.lastError();
        StallRelay first(peer.port()), second(peer.port());
        TickDriver studio;
        const auto through = [](const StallRelay& relay) {
            return "rtmp://127.0.0.1:" + std::to_string(relay.port()) + "/live";
        };
        studio.project.destinations = {destination("a", through(first), 0, 0, 8000),
                                       destination("b", through(second), 1, 0, 8000)};
        studio.keys = {{"a", "first"}, {"b", "second"}};
        ASSERT_EQ(studio.goLive(), "");
        ASSERT_TRUE(studio.runUntil([&] { return studio.session.liveCount() == 2; }, 10));
        studio.runFor(0.5);
        first.stall();
        second.stall();
        if (c.untilSendsBlock) {
            // A sender takes its whole queue at once, so a queue that keeps growing means it
            // is stuck in a write.
            ASSERT_TRUE(studio.runUntil(
                [&] {
                    for (auto& output : studio.session.outputs) {
                        std::lock_guard<std::mutex> guard(output->lock);
                        if (output->queue.size() < 60) return false;
                    }
                    return true;
                },
                20));
        }
        const auto before = Clock::now();
        studio.session.stopAll();
        const auto took = Clock::now() - before;
        EXPECT_FALSE(studio.session.isLive());
        EXPECT_LT(took, std::chrono::milliseconds(500))
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    }
}

namespace {

// True while this machine has a connection to the loopback port waiting for its answer.
bool connectPending(int port) {
    char remote[16];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peerAddress, state;
        fields >> slot >> local >> peerAddress >> state;
        if (peerAddress == remote && state == "02") return true;  // SYN_SENT
    }
    return false;
}

}  // namespace

TEST(LiveEndToEnd, StopsAtOnceDuringAConnectThatIsNeverAnswered) {
    // A listener that never accepts: once its queue is full, further connection requests
    // go unanswered.
    const int port = freeLoopbackPort();
    std::string error;
    auto listener = openListener(port, false, error);
    ASSERT_TRUE(listener) << error;
    std::vector<std::unique_ptr<ByteStream>> held;
    while (held.size() < 64) {
        auto s = openStream("127.0.0.1", port, false, 300, error);
        if (!s) break;
        held.push_back(std::move(s));
    }
    ASSERT_LT(held.size(), 64u);

    TickDriver studio;
    studio.project.destinations = {destination("a", "rtmp://127.0.0.1:" + std::to_string(port) + "/live", 0, 0, 1500)};
    studio.keys = {{"a", "k"}};
    ASSERT_EQ(studio.goLive(), "");
    ASSERT_TRUE(studio.runUntil([&] { return connectPending(port); }, 10));
    const auto before = Clock::now();
    studio.session.stopAll();
    const auto took = Clock::now() - before;
    EXPECT_LT(took, std::chrono::milliseconds(500))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
}
