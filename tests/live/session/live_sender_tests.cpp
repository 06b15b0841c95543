#include <gtest/gtest.h>

#include "live/flv.h"
#include "live/live_output.h"
#include "live_fakes.h"
#include "media/packaging.h"

using namespace livefake;

namespace {

constexpr int64_t kFrame = 10000000 / 30;  // one frame at 30 fps, 100-ns units

MediaPacket video(int64_t frame, bool key, bool withParameterSets = true) {
    return MediaPacket{kRtmpVideo, key ? keyFrame(uint8_t(frame), withParameterSets) : interFrame(uint8_t(frame)),
                       frame * kFrame, key};
}
MediaPacket audio(int64_t pts) {
    return MediaPacket{kRtmpAudio, {0x21, 0x00, 0x03}, pts, true};
}

struct OutputRig {
    OutputRig() {
        output.destination.id = "d";
        output.destination.name = "Dest";
        output.clock = &clock;
        output.makePublisher = publisherFactory(log);
        log->clock = &clock;
    }
    ~OutputRig() {
        output.requestStop();
        output.finishStop();
    }
    bool waitForSent(int connection, size_t n) {
        return log->waitFor([&] {
            size_t c = 0;
            for (const auto& m : log->sent) c += m.connection == connection;
            return c >= n;
        });
    }

    FakeClock clock;
    std::shared_ptr<PublishLog> log = std::make_shared<PublishLog>();
    LiveOutput output;
};

uint8_t markerOf(const SentMessage& m) {
    return m.body.back();
}

}  // namespace

TEST(LiveSender, StreamStartsAtTheFirstKeyFrameWithSequenceHeaders) {
    OutputRig rig;
    rig.output.queuePacket(audio(0));
    rig.output.queuePacket(video(0, false));
    rig.output.queuePacket(video(1, true, false));  // no parameter sets: cannot start
    rig.output.queuePacket(audio(2 * kFrame - 5));  // earlier than the key frame
    rig.output.queuePacket(video(3, true));
    rig.output.queuePacket(audio(3 * kFrame + 200000));
    rig.output.queuePacket(video(4, false));
    rig.output.startThread();
    ASSERT_TRUE(rig.waitForSent(0, 5));

    const auto sent = rig.log->messages(0);
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0].type, 9);
    EXPECT_EQ(sent[0].timestamp, 0u);
    std::vector<uint8_t> config;
    ASSERT_TRUE(avcDecoderConfigFromAnnexB(video(3, true).data.data(), video(3, true).data.size(), config));
    EXPECT_EQ(sent[0].body, flvAvcSequenceHeaderTag(config));
    EXPECT_EQ(sent[1].type, 8);
    EXPECT_EQ(sent[1].timestamp, 0u);
    EXPECT_EQ(sent[1].body, (std::vector<uint8_t>{0xAF, 0x00, 0x11, 0x90}));
    // The key frame, length-prefixed without its parameter sets or delimiter.
    EXPECT_EQ(sent[2].type, 9);
    EXPECT_EQ(sent[2].timestamp, 0u);
    EXPECT_EQ(sent[2].body, (std::vector<uint8_t>{0x17, 0x01, 0, 0, 0, 0, 0, 0, 3, 0x65, 0x88, 3}));
    EXPECT_EQ(sent[3].type, 8);
    EXPECT_EQ(sent[3].timestamp, 20u);
    EXPECT_EQ(sent[3].body, (std::vector<uint8_t>{0xAF, 0x01, 0x21, 0x00, 0x03}));
    EXPECT_EQ(sent[4].body[0], 0x27);
    EXPECT_EQ(sent[4].timestamp, 33u);
    EXPECT_EQ(rig.output.state.load(), LiveLive);

    // A live output stops politely, given the time.
    rig.output.requestStop();
    EXPECT_TRUE(rig.output.awaitSender(std::chrono::steady_clock::now() + std::chrono::seconds(60)));
    rig.output.finishStop();
    EXPECT_EQ(rig.log->closes, 1);
    EXPECT_EQ(rig.log->aborts, 0);
}

TEST(LiveSender, QueueHoldsEightSecondsOfEachKind) {
    LiveOutput output;
    output.media.fps = 30;
    // Audio of the same eight seconds must not count against the video limit.
    for (int i = 0; i < 375; ++i) output.queuePacket(audio(i));
    for (int i = 0; i < 241; ++i) output.queuePacket(video(i, i == 0));
    EXPECT_EQ(output.queue.size(), 616u);
    EXPECT_FALSE(output.dropUntilKeyframe);

    output.queuePacket(video(241, false));
    EXPECT_EQ(output.queue.size(), 1u);
    EXPECT_TRUE(output.dropUntilKeyframe);

    LiveOutput audioOnly;
    for (int i = 0; i < 376; ++i) audioOnly.queuePacket(audio(i));
    EXPECT_FALSE(audioOnly.dropUntilKeyframe);
    audioOnly.queuePacket(audio(376));
    EXPECT_EQ(audioOnly.queue.size(), 1u);
    EXPECT_TRUE(audioOnly.dropUntilKeyframe);
}

TEST(LiveSender, AfterAnOverflowVideoWaitsForAKeyFrameWhileAudioGoesOn) {
    OutputRig rig;
    rig.output.startThread();
    rig.output.queuePacket(video(0, true));
    ASSERT_TRUE(rig.waitForSent(0, 3));
    {
        std::lock_guard<std::mutex> g(rig.output.lock);
        rig.output.dropUntilKeyframe = true;
        rig.output.queue.push_back(video(5, false));
        rig.output.queue.push_back(audio(5 * kFrame));
        rig.output.queue.push_back(video(6, false));
        rig.output.queue.push_back(video(7, true));
        rig.output.queue.push_back(video(8, false));
    }
    rig.output.wake.notify_one();
    ASSERT_TRUE(rig.waitForSent(0, 6));
    const auto sent = rig.log->messages(0);
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[3].type, 8);
    EXPECT_EQ(sent[3].timestamp, 166u);
    EXPECT_EQ(sent[4].body[0], 0x17);
    EXPECT_EQ(markerOf(sent[4]), 7);
    EXPECT_EQ(markerOf(sent[5]), 8);
}

TEST(LiveSender, RefusedConnectionsBackOffTwoFourEightSixteenThenThirty) {
    OutputRig rig;
    rig.log->connectResults = {"Stream key refused: Already publishing"};
    rig.clock.jumpLimit = 7;
    rig.output.startThread();
    ASSERT_TRUE(rig.clock.waitForWaits(8));
    EXPECT_EQ(rig.clock.waitSeconds(), (std::vector<int64_t>{2, 4, 8, 16, 30, 30, 30, 30}));
    EXPECT_EQ(rig.output.state.load(), LiveReconnecting);
    EXPECT_EQ(rig.output.status().error, "Stream key refused: Already publishing");
    EXPECT_EQ(rig.log->connects, 8);
}

TEST(LiveSender, AStreamThatLastedOverThirtySecondsRetriesAfterTwo) {
    OutputRig rig;
    // Connections 0-2 are refused at once; 3 streams 31 s, 4 streams exactly 30 s.
    rig.log->connectResults = {"refused", "refused", "refused", "", "", "refused"};
    rig.log->secondsPerConnect = {0, 0, 0, 31, 30, 0};
    rig.log->failAfterSends = {-1, -1, -1, 3, 3, -1};
    rig.clock.jumpLimit = 5;
    rig.output.startThread();
    // The sender keeps queueing key frames into each new connection.
    std::thread feeder([&] {
        for (int i = 0; i < 400 && rig.clock.waitCount() < 6; ++i) {
            rig.output.queuePacket(video(i * 60, true));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const bool reached = rig.clock.waitForWaits(6, 10000);
    feeder.join();
    ASSERT_TRUE(reached);
    EXPECT_EQ(rig.clock.waitSeconds(), (std::vector<int64_t>{2, 4, 8, 2, 4, 8}));
    EXPECT_EQ(rig.output.status().error, "refused");
}

TEST(LiveSender, ReconnectedStreamStartsEvenIfTheKeyFrameLacksParameterSets) {
    OutputRig rig;
    rig.log->failAfterSends = {4, -1};
    rig.output.startThread();
    rig.output.queuePacket(video(0, true));
    rig.output.queuePacket(video(1, false));
    ASSERT_TRUE(rig.log->waitFor([&] { return rig.log->connects == 2; }));
    EXPECT_EQ(rig.output.state.load(), LiveReconnecting);
    EXPECT_EQ(rig.output.status().error, "The server closed the connection");

    // The encoder does not repeat SPS and PPS at its next IDR.
    rig.output.queuePacket(audio(70 * kFrame));
    rig.output.queuePacket(video(60, true, false));
    rig.output.queuePacket(video(61, false));
    ASSERT_TRUE(rig.waitForSent(1, 4));
    const auto sent = rig.log->messages(1);
    std::vector<uint8_t> config;
    ASSERT_TRUE(avcDecoderConfigFromAnnexB(video(0, true).data.data(), video(0, true).data.size(), config));
    EXPECT_EQ(sent[0].body, flvAvcSequenceHeaderTag(config));
    EXPECT_EQ(sent[2].timestamp, 0u);
    EXPECT_EQ(markerOf(sent[2]), 60);
    EXPECT_EQ(sent[3].timestamp, 33u);
    EXPECT_EQ(rig.output.state.load(), LiveLive);
    EXPECT_EQ(rig.output.status().error, "");
    EXPECT_EQ(rig.clock.waitSeconds(), (std::vector<int64_t>{2}));
}

TEST(LiveSender, AReconnectedStreamNeverSendsWhatWasQueuedForTheLostOne) {
    OutputRig rig;
    rig.log->failAfterSends = {4, -1};
    // Queued while the first connection is being lost: stale once the next one is up.
    rig.log->beforeLoss = [&] {
        rig.output.queuePacket(video(30, true));
        rig.output.queuePacket(audio(31 * kFrame));
    };
    rig.output.startThread();
    rig.output.queuePacket(video(0, true));
    rig.output.queuePacket(video(1, false));
    ASSERT_TRUE(rig.log->waitFor([&] { return rig.log->connects == 2; }));
    rig.output.queuePacket(video(60, true));
    rig.output.queuePacket(video(61, false));
    ASSERT_TRUE(rig.waitForSent(1, 4));
    const auto sent = rig.log->messages(1);
    EXPECT_EQ(markerOf(sent[2]), 60);
    EXPECT_EQ(sent[2].timestamp, 0u);
    for (size_t i = 2; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].type, 9) << i;  // no stale audio
        EXPECT_NE(markerOf(sent[i]), 30) << i;
    }
}

TEST(LiveSender, StopEndsABackOffWaitAtOnce) {
    OutputRig rig;
    rig.log->connectResults = {"Could not connect to 127.0.0.1:1"};
    rig.clock.park = true;  // the back-off never ends by itself: only the stop can end it
    rig.output.startThread();
    ASSERT_TRUE(rig.clock.waitForWaits(1));
    EXPECT_EQ(rig.output.state.load(), LiveReconnecting);
    rig.output.requestStop();
    rig.output.finishStop();
    EXPECT_EQ(rig.log->connects, 1);
}
