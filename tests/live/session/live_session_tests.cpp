#include <gtest/gtest.h>

#include <map>
#include <system_error>
#include <thread>

#include "live/live_session.h"
#include "live_fakes.h"

using namespace livefake;

namespace {

Destination destination(const std::string& id, int canvas, int heightLimit, int kbps = 6000) {
    Destination d;
    d.id = id;
    d.name = "Dest " + id;
    d.serverUrl = "rtmp://127.0.0.1:1935/live";
    d.canvas = canvas;
    d.heightLimit = heightLimit;
    d.bitrateKbps = kbps;
    return d;
}

struct Rig {
    Rig() {
        clock.park = true;  // senders that fail stay in their first back-off
        publishLog->connectResults = {"Could not connect to 127.0.0.1:1935"};
        project.canvases[0] = CanvasSettings{1920, 1080, 30, 12000};
        project.canvases[1] = CanvasSettings{1080, 1920, 30, 8000};
    }
    LiveMediaAccess makeAccess() {
        LiveMediaAccess access;
        access.makeVideoEncoder = [this]() -> std::unique_ptr<IVideoPacketEncoder> {
            return std::make_unique<FakeVideoEncoder>(encoderLog, videoFailure);
        };
        access.makeAudioEncoder = [this]() -> std::unique_ptr<IAudioPacketEncoder> {
            return std::make_unique<FakeAudioEncoder>(encoderLog);
        };
        access.compositor = [this](int canvas) -> ICompositor* { return canvas == 0 ? &horizontal : &vertical; };
        access.makePublisher = publisherFactory(publishLog);
        access.clock = &clock;
        access.threadStarter = [this](std::function<void()> body) {
            if (threadsLeft-- == 0)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(body));
        };
        return access;
    }
    std::string start() {
        return session.start(project, [this](const Destination& d) { return keys.count(d.id) ? keys[d.id] : ""; });
    }
    // Waits until every sender sits in its back-off, so nothing drains the queues.
    void waitForSenders() { ASSERT_TRUE(clock.waitForWaits(session.outputs.size())); }
    size_t queued(int i) {
        std::lock_guard<std::mutex> g(session.outputs[i]->lock);
        return session.outputs[i]->queue.size();
    }

    std::shared_ptr<EncoderLog> encoderLog = std::make_shared<EncoderLog>();
    std::shared_ptr<PublishLog> publishLog = std::make_shared<PublishLog>();
    std::string videoFailure;
    int threadsLeft = -1;  // threads the system will still give; -1 any number
    FakeCompositor horizontal{1920, 1080, 1};
    FakeCompositor vertical{1080, 1920, 2};
    FakeClock clock;
    Project project;
    std::map<std::string, std::string> keys;
    LiveSession session{makeAccess()};
};

}  // namespace

TEST(LiveSessionStart, RefusesWithTheTextOfTheFirstBadDestination) {
    {
        Rig rig;
        EXPECT_EQ(rig.start(), "Add a destination in Settings > Destinations");
        Destination off = destination("a", 0, 0);
        off.streamHere = false;
        rig.project.destinations = {off};
        rig.keys["a"] = "k";
        EXPECT_EQ(rig.start(), "Add a destination in Settings > Destinations");
    }
    {
        // The second of two has no key: nothing runs and the first's encoders are closed.
        Rig rig;
        rig.project.destinations = {destination("a", 0, 0), destination("b", 1, 0)};
        rig.keys["a"] = "key-a";
        EXPECT_EQ(rig.start(), "Dest b: add the stream key in Settings > Destinations");
        EXPECT_TRUE(rig.session.outputs.empty());
        EXPECT_EQ(rig.encoderLog->opened, 1);
        EXPECT_EQ(rig.encoderLog->closed, 1);
        EXPECT_EQ(rig.publishLog->connects, 0);
    }
    {
        Rig rig;
        Destination empty = destination("a", 0, 0);
        empty.serverUrl = "";
        rig.project.destinations = {empty};
        rig.keys["a"] = "k";
        EXPECT_EQ(rig.start(), "Dest a: The server URL must start with rtmp:// or rtmps://");
        rig.project.destinations[0].serverUrl = "rtmp://host";
        EXPECT_EQ(rig.start(), "Dest a: The server URL needs an app path, e.g. rtmp://host/live");
        // The URL is checked before the key.
        rig.keys.clear();
        rig.project.destinations[0].serverUrl = "rtmp://host:0/live";
        EXPECT_EQ(rig.start(), "Dest a: Bad port in the server URL");
    }
    {
        Rig rig;
        rig.videoFailure = "No H.264 encoder accepted 1920x1080";
        rig.project.destinations = {destination("a", 0, 0)};
        rig.keys["a"] = "k";
        EXPECT_EQ(rig.start(), "Dest a: No H.264 encoder accepted 1920x1080");
        EXPECT_TRUE(rig.session.outputs.empty());
    }
    {
        // No thread for the second: the first, already sending, is stopped with it.
        Rig rig;
        rig.threadsLeft = 1;
        rig.project.destinations = {destination("a", 0, 0), destination("b", 1, 0)};
        rig.keys = {{"a", "k"}, {"b", "k"}};
        EXPECT_EQ(rig.start(), "Dest b: the system could not start another thread");
        EXPECT_TRUE(rig.session.outputs.empty());
        EXPECT_EQ(rig.encoderLog->closed, 2);
    }
}

TEST(LiveSessionStart, RefusesACanvasWithoutAFrameRate) {
    for (int fps : {0, -5}) {
        Rig rig;
        rig.project.canvases[1].fps = fps;
        rig.project.destinations = {destination("a", 0, 0), destination("b", 1, 0)};
        rig.keys = {{"a", "k"}, {"b", "k"}};
        EXPECT_EQ(rig.start(), "Dest b: the canvas frame rate must be above 0");
        EXPECT_TRUE(rig.session.outputs.empty());
        rig.session.pushMedia(rig.project, std::vector<int16_t>(1600, 0));
        EXPECT_EQ(rig.horizontal.maps, 0);
    }
}

TEST(LiveSessionStart, OpensEachOutputAtItsOwnSizeAndRate) {
    Rig rig;
    rig.project.encoderPreset = 2;
    rig.project.destinations = {destination("a", 0, 720, 4500), destination("b", 1, 0, 3000),
                                destination("c", 0, 1080, 9000)};
    rig.keys = {{"a", "ka"}, {"b", "kb"}, {"c", "kc"}};
    ASSERT_EQ(rig.start(), "");
    ASSERT_EQ(rig.session.outputs.size(), 3u);
    EXPECT_EQ(rig.start(), "");  // already live: nothing more starts
    EXPECT_EQ(rig.session.outputs.size(), 3u);

    const auto& s = rig.encoderLog->settings;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(std::make_pair(s[0].width, s[0].height), std::make_pair(1280, 720));
    EXPECT_EQ(s[0].bitrate, 4500000);
    EXPECT_EQ(s[0].preset, 2);
    EXPECT_EQ(s[0].keyframeSeconds, 2);
    EXPECT_EQ(s[0].fps, 30);
    EXPECT_EQ(std::make_pair(s[1].width, s[1].height), std::make_pair(1080, 1920));
    EXPECT_EQ(std::make_pair(s[2].width, s[2].height), std::make_pair(1920, 1080));
    EXPECT_EQ(rig.encoderLog->audioRate, 48000);
    EXPECT_EQ(rig.encoderLog->audioBytesPerSecond, 24000);
    EXPECT_EQ(rig.session.outputs[0]->streamKey, "ka");
    EXPECT_EQ(rig.session.outputs[0]->endpoint.app, "live");
    const StreamMetadata& m = rig.session.outputs[1]->media;
    EXPECT_EQ(m.width, 1080);
    EXPECT_EQ(m.height, 1920);
    EXPECT_EQ(m.videoKbps, 3000);
    EXPECT_EQ(m.audioSampleRate, 48000);
    EXPECT_EQ(m.audioKbps, 192);
}

TEST(LiveSessionPush, ReadsEachCanvasOnceAndScalesPerOutput) {
    Rig rig;
    rig.project.destinations = {destination("a", 0, 720), destination("b", 1, 0), destination("c", 0, 0)};
    rig.keys = {{"a", "k"}, {"b", "k"}, {"c", "k"}};
    ASSERT_EQ(rig.start(), "");
    rig.waitForSenders();

    rig.session.pushMedia(rig.project, {});
    EXPECT_EQ(rig.horizontal.maps, 1);
    EXPECT_EQ(rig.horizontal.unmaps, 1);
    EXPECT_EQ(rig.vertical.maps, 1);
    EXPECT_EQ(rig.vertical.unmaps, 1);
    // Frames reach the encoders in canvas order: a (scaled), c (direct), then b.
    ASSERT_EQ(rig.encoderLog->strides.size(), 3u);
    EXPECT_EQ(rig.encoderLog->strides[0], 1280 * 4);
    EXPECT_EQ(rig.encoderLog->strides[1], rig.horizontal.pitch);
    EXPECT_EQ(rig.encoderLog->strides[2], rig.vertical.pitch);
    EXPECT_EQ(rig.encoderLog->firstPixels[0] & 0xFF, 1u);
    EXPECT_EQ(rig.encoderLog->firstPixels[2] & 0xFF, 2u);
    EXPECT_EQ(rig.session.outputs[0]->scaled.size(), size_t(1280) * 720 * 4);
    EXPECT_TRUE(rig.session.outputs[2]->scaled.empty());
    EXPECT_EQ(rig.queued(0), 1u);

    // Nothing due yet: no read-back at all.
    rig.clock.advanceSeconds(0.010);
    rig.session.pushMedia(rig.project, {});
    EXPECT_EQ(rig.horizontal.maps, 1);
    EXPECT_EQ(rig.vertical.maps, 1);
}

TEST(LiveSessionPush, SkipsFramesThatFellDueBetweenTicks) {
    Rig rig;
    rig.project.destinations = {destination("a", 0, 0)};
    rig.keys = {{"a", "k"}};
    ASSERT_EQ(rig.start(), "");
    rig.waitForSenders();
    for (double t : {0.0, 0.020, 0.034, 0.066, 0.166, 0.170, 0.180, 0.210}) {
        rig.clock.time = rig.session.startTime + int64_t(t * 1e9);
        rig.session.pushMedia(rig.project, {});
    }
    EXPECT_EQ(rig.encoderLog->frames, (std::vector<int64_t>{0, 1, 4, 5, 6}));
    EXPECT_EQ(rig.session.outputs[0]->framesSent, 7);
}

TEST(LiveSessionPush, AudioFlowsWhenACanvasCannotBeRead) {
    Rig rig;
    rig.project.destinations = {destination("a", 0, 720), destination("b", 0, 0)};
    rig.keys = {{"a", "k"}, {"b", "k"}};
    ASSERT_EQ(rig.start(), "");
    rig.waitForSenders();
    rig.horizontal.failMap = true;
    rig.session.pushMedia(rig.project, std::vector<int16_t>(1601, 7));
    EXPECT_EQ(rig.horizontal.maps, 1);
    EXPECT_EQ(rig.horizontal.unmaps, 0);
    EXPECT_TRUE(rig.encoderLog->frames.empty());
    EXPECT_EQ(rig.encoderLog->audioFrames, (std::vector<uint64_t>{800, 800}));
    EXPECT_EQ(rig.queued(0), 1u);
    EXPECT_EQ(rig.queued(1), 1u);
    EXPECT_EQ(rig.session.outputs[0]->framesSent, 0);
}

TEST(LiveSessionStatus, TextFollowsTheOutputStates) {
    Rig rig;
    rig.project.destinations = {destination("a", 0, 0), destination("b", 0, 0), destination("c", 1, 0)};
    rig.keys = {{"a", "k"}, {"b", "k"}, {"c", "k"}};
    rig.publishLog->blockConnect = true;  // every sender stays Connecting
    ASSERT_EQ(rig.start(), "");
    ASSERT_TRUE(rig.publishLog->waitFor([&] { return rig.publishLog->connects == 3; }));
    auto& outs = rig.session.outputs;
    EXPECT_EQ(rig.session.statusText(), "Connecting\xE2\x80\xA6");
    outs[2]->state = LiveReconnecting;
    EXPECT_EQ(rig.session.statusText(), "Reconnecting\xE2\x80\xA6");
    outs[0]->state = LiveLive;
    EXPECT_EQ(rig.session.statusText(), "Live on 1 of 3");
    EXPECT_EQ(rig.session.liveCount(), 1);
    outs[1]->state = LiveLive;
    outs[2]->state = LiveLive;
    EXPECT_EQ(rig.session.statusText(), "Live on all 3");

    const auto rows = rig.session.statuses();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].id, "b");
    EXPECT_EQ(rows[1].name, "Dest b");
    EXPECT_EQ(rows[1].state, LiveLive);

    // Stopping connecting outputs aborts their connections; one destination alone first.
    outs[2]->state = LiveConnecting;
    rig.session.stop("c");
    ASSERT_EQ(outs.size(), 2u);
    EXPECT_EQ(rig.publishLog->aborts, 1);
    outs[0]->state = LiveConnecting;
    outs[1]->state = LiveLive;
    rig.session.stop("a");
    ASSERT_EQ(outs.size(), 1u);
    EXPECT_EQ(rig.publishLog->aborts, 2);
    EXPECT_EQ(rig.session.statusText(), "Live");
    outs[0]->state = LiveConnecting;
    rig.session.stopAll();
    EXPECT_FALSE(rig.session.isLive());
    EXPECT_EQ(rig.encoderLog->closed, 3);
}
