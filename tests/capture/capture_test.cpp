// The camera thread's side of a camera source: the two-buffer hand-off against a real producer
// thread, stopping a thread stuck in a read, and the phone loop. Background removal on the way is
// in matting_test.cpp, beside its fake runtime.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "capture/heap_count.h"
#include "media/capture/camera_capture.h"
#include "media/capture/camera_frames.h"
#include "media/media.h"
#include "support/wait_for.h"

namespace {

TEST(CameraHandOff, ConsumerSeesWholeFramesOnlyInOrder) {
    CameraCapture capture;
    constexpr int kFrames = 250, kWidth = 64, kHeight = 36;
    startCameraCapture(capture, [](CameraCapture& c) {
        for (int n = 1; n <= kFrames && !c.stop; ++n) {
            c.back.assign(size_t(kWidth) * kHeight * 4, uint8_t(n));
            handOffCameraFrame(c, kWidth, kHeight);
        }
    });
    int last = 0;
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> guard(capture.lock);
        if (!capture.newFrame) return last == kFrames;
        capture.newFrame = false;
        const uint8_t n = capture.front[0];
        for (uint8_t b : capture.front) EXPECT_EQ(b, n) << "torn frame";
        EXPECT_EQ(capture.front.size(), size_t(kWidth) * kHeight * 4);
        EXPECT_FALSE(capture.hasAlpha);
        EXPECT_NE(int(n), last) << "the same frame twice";
        last = n;
        return false;
    }));
    stopCameraCapture(capture);
}

// The phone picture's conversion takes no working space from the heap, from its very first call.
TEST(CameraFramePaths, PhoneConversionMakesNoHeapAllocation) {
    constexpr int kWidth = 64, kHeight = 36;
    const std::vector<uint8_t> nv12(size_t(kWidth) * kHeight * 3 / 2, 100);
    std::vector<uint8_t> bgra(size_t(kWidth) * kHeight * 4);
    const size_t before = heapAllocations();
    nv12ToBgra(nv12.data(), kWidth, kHeight, kWidth, kHeight, bgra.data());
    EXPECT_EQ(heapAllocations() - before, 0u);
}

TEST(CameraCaptureStop, BreaksOffAReadThatNeverReturns) {
    // A camera that stops delivering: the loop blocks in its read until the read is cancelled.
    // The read gives up on its own after a minute, so a stop that never cancels fails here
    // instead of hanging in its join.
    CameraCapture capture;
    std::promise<void> cancelled;
    std::atomic<bool> reading{false};
    std::atomic<int> cancels{0};
    startCameraCapture(capture, [&](CameraCapture& c) {
        std::future<void> read = cancelled.get_future();
        {
            std::lock_guard<std::mutex> guard(c.lock);
            c.cancelRead = [&] {
                if (++cancels == 1) cancelled.set_value();
            };
        }
        reading = true;
        read.wait_for(std::chrono::seconds(60));
    });
    ASSERT_TRUE(waitFor([&] { return reading.load(); }));
    stopCameraCapture(capture);
    EXPECT_EQ(cancels, 1) << "the stop did not cancel the read";
}

// What the transform answers to each offer and the picture size each drain writes, in order.
TEST(PhoneDecoderFeed, ReportsTheLastPictureWrittenAndWhetherTheUnitWasTaken) {
    using In = DecoderInput;
    struct Case {
        std::vector<In> answers;
        std::vector<PictureSize> drains;
        bool produced;
        PictureSize size;
        bool taken;
    } cases[] = {
        {{In::Taken}, {{4, 2}}, true, {4, 2}, true},
        {{In::Taken}, {{}}, false, {}, true},
        {{In::Refused}, {}, false, {}, false},
        // A full transform is drained, then offered the unit once more.
        {{In::Full, In::Taken}, {{4, 2}, {}}, true, {4, 2}, true},
        {{In::Full, In::Taken}, {{4, 2}, {6, 4}}, true, {6, 4}, true},
        // The retry refused after the first drain wrote a picture: that picture, with its size.
        {{In::Full, In::Refused}, {{4, 2}}, true, {4, 2}, false},
        {{In::Full, In::Full}, {{}}, false, {}, false},
    };
    for (const Case& c : cases) {
        size_t offers = 0, drains = 0;
        int width = -1, height = -1;
        bool taken = !c.taken;
        const bool produced = feedDecoderTransform(
            [&] { return offers < c.answers.size() ? c.answers[offers++] : In::Refused; },
            [&] { return drains < c.drains.size() ? c.drains[drains++] : PictureSize{-7, -7}; }, width,
            height, taken);
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(offers, c.answers.size());
        EXPECT_EQ(drains, c.drains.size());
        EXPECT_EQ(produced, c.produced);
        EXPECT_EQ(taken, c.taken);
        if (c.produced) {
            EXPECT_EQ(width, c.size.width);
            EXPECT_EQ(height, c.size.height);
        }
    }
}

// Answers each packet by its first byte: 'P' a 4 x 2 picture whose pixels count 0..7, 'E' an
// error, 'L' that picture with an error beside it (a unit lost after it), anything else "needs
// more input".
class FakeDecoder : public PhoneDecoder {
public:
    bool decode(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int& width, int& height) override {
        err.clear();
        ++calls;
        if (size == 0 || data[0] == 'N') return false;
        if (data[0] == 'E') {
            err = "The phone's video could not be decoded";
            return false;
        }
        if (data[0] == 'L') err = "The phone's video could not be decoded";
        width = 4, height = 2;
        out.assign(4 * 2 * 4, 255);
        for (int i = 0; i < 8; ++i) out[size_t(i) * 4] = uint8_t(i);
        return true;
    }
    const std::string& error() const override { return err; }
    std::string err;
    std::atomic<int> calls{0};
};

struct PhoneLoopRig {
    CameraCapture capture;
    PhoneFeed feed;
    FakeDecoder decoder;
    std::atomic<int64_t> clock{100000};
    std::atomic<int> clockReads{0};

    PhoneLoopRig() {
        feed.lastPacketMs = clock.load();
        feed.queue.push_back(PhonePacket{{'P'}, true, 0});  // stale: the loop drops it at start
        startCameraCapture(capture, [this](CameraCapture& c) {
            phoneCaptureLoop(c, feed, decoder, [this] {
                ++clockReads;
                return clock.load();
            });
        });
    }
    ~PhoneLoopRig() { stopCameraCapture(capture); }
    void send(char what, int rotation, bool key = false) {
        feed.lastPacketMs = clock.load();
        feed.push(PhonePacket{{uint8_t(what)}, key, rotation});
    }
    std::string status() {
        std::lock_guard<std::mutex> guard(capture.lock);
        return capture.status;
    }
};

TEST(PhoneCaptureLoop, StatusFollowsPicturesErrorsAndSilence) {
    PhoneLoopRig rig;
    ASSERT_TRUE(waitFor([&] { return rig.status() == kPhoneWaitingText; }));
    EXPECT_TRUE(rig.feed.keyRequested.exchange(false));
    rig.send('N', 0);  // not a key frame while waiting for one: discarded by the feed
    rig.send('P', 1, true);
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> guard(rig.capture.lock);
        return rig.capture.newFrame;
    }));
    {
        std::lock_guard<std::mutex> guard(rig.capture.lock);
        EXPECT_EQ(rig.capture.status, "");
        EXPECT_EQ(rig.capture.width, 2);  // turned a quarter: 4 x 2 becomes 2 x 4
        EXPECT_EQ(rig.capture.height, 4);
        EXPECT_EQ(rig.capture.front[0], 4);  // the bottom-left pixel comes to the top-left
        EXPECT_EQ(rig.capture.front[4], 0);
    }
    EXPECT_EQ(rig.decoder.calls, 1);
    rig.send('E', 0);
    ASSERT_TRUE(waitFor([&] { return rig.status() == "The phone's video could not be decoded"; }));
    EXPECT_TRUE(rig.feed.keyRequested.load());
    rig.send('P', 0);
    ASSERT_TRUE(waitFor([&] { return rig.status().empty(); }));
    // A picture with a unit lost after it is shown, and a key frame is asked for.
    rig.feed.keyRequested = false;
    rig.send('L', 0);
    ASSERT_TRUE(waitFor([&] { return rig.feed.keyRequested.load(); }));
    EXPECT_EQ(rig.decoder.calls, 4);
    EXPECT_EQ(rig.status(), "");
    // 1999 ms of silence is not yet a lost phone; 2000 ms is.
    rig.clock += 1999;
    const int reads = rig.clockReads;
    ASSERT_TRUE(waitFor([&] { return rig.clockReads >= reads + 2; }));  // two empty waits went by
    EXPECT_EQ(rig.status(), "");
    rig.clock += 1;
    ASSERT_TRUE(waitFor([&] { return rig.status() == kPhoneWaitingText; }));
}

}  // namespace
