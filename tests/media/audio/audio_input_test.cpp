#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "media/audio/wasapi_audio_input.h"

namespace {

using Clock = std::chrono::steady_clock;

// An endpoint whose packets the test queues; shared with the test through a pointer that
// outlives the capture thread's stream.
struct Endpoint {
    std::mutex lock;
    std::deque<std::vector<int16_t>> packets;  // int16 samples, `channels` per frame
    int channels = 1;
    bool stalled = false;  // promises frames but never delivers a buffer
    bool lost = false;     // gone: every call fails as an unplugged device's do
    int getCalls = 0;
    bool released = false;
    AudioInputSettings openedWith;

    bool drained() {
        std::lock_guard<std::mutex> g(lock);
        return packets.empty();
    }
};

class FakeStream : public ICaptureStream {
public:
    explicit FakeStream(Endpoint& e) : e(e) {}
    ~FakeStream() override { e.released = true; }
    bool nextPacketSize(uint32_t& frames) override {
        std::lock_guard<std::mutex> g(e.lock);
        if (e.lost) return false;
        if (e.stalled) {
            frames = 480;
            return true;
        }
        frames = e.packets.empty() ? 0 : static_cast<uint32_t>(e.packets.front().size() / e.channels);
        return true;
    }
    bool getBuffer(CaptureBuffer& b) override {
        std::lock_guard<std::mutex> g(e.lock);
        ++e.getCalls;
        if (e.stalled || e.packets.empty()) {
            b.frames = 0;
            return true;
        }
        current = e.packets.front();
        b.data = current.data();
        b.frames = static_cast<uint32_t>(current.size() / e.channels);
        return true;
    }
    void releaseBuffer(uint32_t frames) override {
        std::lock_guard<std::mutex> g(e.lock);
        if (frames > 0 && !e.packets.empty()) e.packets.pop_front();
    }
    bool deviceLost() const override {
        std::lock_guard<std::mutex> g(e.lock);
        return e.lost;
    }

private:
    Endpoint& e;
    std::vector<int16_t> current;
};

CaptureOpener openerFor(Endpoint& e, int rate, std::string effects = "") {
    return [&e, rate, effects](const AudioInputSettings& s) {
        e.openedWith = s;
        CaptureOpenResult r;
        r.stream = std::make_unique<FakeStream>(e);
        r.format = {e.channels, rate, false};
        r.effects = effects;
        return r;
    };
}

// Generous: a loaded machine may keep the capture thread from running for seconds.
template <typename F>
bool waitFor(F done) {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Takes samples until at least `count` have come.
std::vector<int16_t> takeAtLeast(WasapiAudioInput& input, size_t count) {
    std::vector<int16_t> all, more;
    waitFor([&] {
        input.takeSamples(more);
        all.insert(all.end(), more.begin(), more.end());
        return all.size() >= count;
    });
    return all;
}

// Runs `work` on another thread; false when it has not finished within the deadline.
template <typename F>
bool finishes(F work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool ok = waitFor([&] { return done.load(); });
    if (!ok) {
        ADD_FAILURE() << "still blocked after the deadline";
        worker.detach();
        std::_Exit(1);  // the blocked thread holds objects of this test's frame
    }
    worker.join();
    return ok;
}

}  // namespace

TEST(AudioInput, MonoAt44kBecomesStereoAt48kWhileCollecting) {
    Endpoint e;
    WasapiAudioInput input(openerFor(e, 44100, "echo cancellation, auto gain"));
    EXPECT_EQ(input.status(), "Opening microphone\xE2\x80\xA6");
    EXPECT_EQ(input.sampleRate(), 0);
    input.setCollecting(true);
    input.start({"", false, true});
    ASSERT_TRUE(waitFor([&] { return input.sampleRate() == 48000; }));
    EXPECT_EQ(input.status(), "");
    EXPECT_EQ(input.activeEffects(), "echo cancellation, auto gain");
    {
        std::lock_guard<std::mutex> g(e.lock);
        for (int p = 0; p < 100; ++p) e.packets.push_back(std::vector<int16_t>(441, 8192));
    }
    ASSERT_TRUE(waitFor([&] { return e.drained(); }));
    std::vector<int16_t> got(5, 5);
    input.takeSamples(got);
    EXPECT_NEAR(static_cast<double>(got.size() / 2), 48000.0, 2.0);  // one second of 44.1 kHz
    for (size_t i = 2; i < got.size(); ++i) ASSERT_EQ(got[i], 8192) << i;  // left and right alike
    std::vector<int16_t> again;
    input.takeSamples(again);
    EXPECT_TRUE(again.empty());
    // The meter shows the peak of what keeps coming in: 8192 / 32768.
    EXPECT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> g(e.lock);
        if (e.packets.empty()) e.packets.push_back(std::vector<int16_t>(441, 8192));
        return input.level() > 0.2f && input.level() <= 0.25f;
    }));
    input.stop();
    EXPECT_TRUE(e.released);
}

TEST(AudioInput, MutedGivesSilenceOfTheRightLengthAndNoLevel) {
    Endpoint e;
    e.channels = 2;
    WasapiAudioInput input(openerFor(e, 48000));
    input.setMuted(true);
    EXPECT_TRUE(input.isMuted());
    input.setCollecting(true);
    input.start({"", false, false});
    {
        std::lock_guard<std::mutex> g(e.lock);
        e.packets.push_back(std::vector<int16_t>(960, 30000));
    }
    EXPECT_EQ(takeAtLeast(input, 960), std::vector<int16_t>(960, 0));
    EXPECT_EQ(input.level(), 0.0f);
}

TEST(AudioInput, SamplesWhileNotCollectingAreDiscarded) {
    Endpoint e;
    WasapiAudioInput input(openerFor(e, 48000));
    input.start({"", false, false});
    {
        std::lock_guard<std::mutex> g(e.lock);
        e.packets.push_back(std::vector<int16_t>(480, 100));
    }
    ASSERT_TRUE(waitFor([&] { return e.drained(); }));
    input.setCollecting(true);
    std::vector<int16_t> got;
    input.takeSamples(got);
    EXPECT_TRUE(got.empty());
    {
        std::lock_guard<std::mutex> g(e.lock);
        e.packets.push_back(std::vector<int16_t>(480, 100));
    }
    EXPECT_EQ(takeAtLeast(input, 960).size(), 960u);
}

TEST(AudioInput, AStalledDeviceDoesNotHoldUpStopOrDestruction) {
    Endpoint e;
    e.stalled = true;
    auto input = std::make_unique<WasapiAudioInput>(openerFor(e, 48000));
    input->start({"", false, false});
    ASSERT_TRUE(waitFor([&] { return input->sampleRate() == 48000; }));
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> g(e.lock);
        return e.getCalls > 3;
    }));
    // The device keeps promising frames: neither stop nor destruction may wait for them.
    EXPECT_TRUE(finishes([&] { input->stop(); }));
    input->start({"", false, false});
    ASSERT_TRUE(waitFor([&] { return input->sampleRate() == 48000; }));
    EXPECT_TRUE(finishes([&] { input.reset(); }));
    EXPECT_TRUE(e.released);
}

TEST(AudioInput, AnEndpointLostWhileCapturingEndsTheInputWithItsText) {
    for (const bool loopback : {false, true}) {
        Endpoint e;
        WasapiAudioInput input(openerFor(e, 48000));
        input.start({"{mic}", loopback, false});
        ASSERT_TRUE(waitFor([&] { return input.sampleRate() == 48000; }));
        {
            std::lock_guard<std::mutex> g(e.lock);
            e.lost = true;
        }
        ASSERT_TRUE(waitFor([&] { return input.sampleRate() == 0; }));
        EXPECT_EQ(input.status(), loopback ? "No speakers found" : "That microphone is unplugged");
        input.stop();
        EXPECT_TRUE(e.released);
    }
}

TEST(AudioInput, FailedOpenExplainsItselfAndLoopbackSkipsVoiceProcessing) {
    std::atomic<bool> answer{false};  // holds the opener back until the test has looked
    WasapiAudioInput input([&answer](const AudioInputSettings& s) {
        while (!answer) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CaptureOpenResult r;
        r.error = s.loopback ? "No speakers found" : "No microphone found";
        return r;
    });
    input.start({"", true, true});
    EXPECT_EQ(input.status(), "Opening desktop audio\xE2\x80\xA6");
    answer = true;
    ASSERT_TRUE(waitFor([&] { return input.status() == "No speakers found"; }));
    EXPECT_EQ(input.sampleRate(), 0);
    input.start({"", false, true});
    ASSERT_TRUE(waitFor([&] { return input.status() == "No microphone found"; }));

    EXPECT_TRUE(wantsVoiceProcessing({"", false, true}));
    EXPECT_FALSE(wantsVoiceProcessing({"", true, true}));
    EXPECT_FALSE(wantsVoiceProcessing({"", false, false}));
}

// A refusal with a named cause says so instead of blaming the sample format.
TEST(AudioInput, ClientRefusalsWithANamedCauseSaySo) {
    const AudioInputSettings mic{"", false, true}, desktop{"", true, false};
    const int32_t unsupportedFormat = static_cast<int32_t>(0x88890008);  // AUDCLNT_E_UNSUPPORTED_FORMAT
    EXPECT_STREQ(clientFailureStatus(mic, kAccessDenied, kFormatNotSupported), "Microphone unavailable");
    EXPECT_STREQ(clientFailureStatus(mic, kDeviceInUse, kFormatNotSupported), "Microphone unavailable");
    EXPECT_STREQ(clientFailureStatus(mic, kDeviceInvalidated, kFormatNotSupported), "That microphone is unplugged");
    EXPECT_STREQ(clientFailureStatus(desktop, kDeviceInvalidated, kMicrophoneUnavailable), "No speakers found");
    EXPECT_STREQ(clientFailureStatus(mic, unsupportedFormat, kFormatNotSupported), "Microphone format not supported");
}
