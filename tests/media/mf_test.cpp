#include "media/mf/mf_audio_encoder.h"
#include "media/mf/mf_recorder.h"
#include "media/mf/mf_video_encoder.h"
#include "media/packaging.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFF);

// A scripted encoder transform. Shared state lives here so the test can look at it while the
// encoder owns the transform.
struct Script {
    std::mutex lock;
    std::condition_variable changed;
    bool async = false;
    bool configureOk = true;
    VideoEncoderSettings configured;
    std::deque<int32_t> inputResults;                              // default: success
    std::deque<std::pair<int32_t, mf::TransformSample>> outputs;  // default: needs more input
    std::deque<uint32_t> events;                                    // async: delivered in order
    bool shut = false;
    int pendingOutputs = 0;  // async: have-output events not yet answered by ProcessOutput
    int32_t renegotiateResult = mf::kOk;
    std::vector<uint8_t> header{0, 0, 1, 0x67};
    std::vector<uint8_t> headerAfterChange{0, 0, 1, 0x67};
    std::vector<std::thread::id> headerReaders;
    std::vector<mf::TransformSample> inputs;
    std::vector<std::string> calls;

    void call(const std::string& c) {
        std::lock_guard<std::mutex> g(lock);
        calls.push_back(c);
        changed.notify_all();
    }
    void addOutput(int32_t code, std::vector<uint8_t> bytes = {}, int64_t time = 0, bool clean = false) {
        std::lock_guard<std::mutex> g(lock);
        mf::TransformSample s;
        s.bytes = std::move(bytes);
        s.time = time;
        s.cleanPoint = clean;
        outputs.emplace_back(code, std::move(s));
    }
    void addEvent(uint32_t e) {
        std::lock_guard<std::mutex> g(lock);
        events.push_back(e);
        changed.notify_all();
    }
    template <class P>
    bool waitFor(P pred) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, 5s, pred);
    }
    size_t inputCount() {
        std::lock_guard<std::mutex> g(lock);
        return inputs.size();
    }
};

class FakeTransform : public mf::IEncoderTransform {
public:
    explicit FakeTransform(std::shared_ptr<Script> s) : script(std::move(s)) {}
    ~FakeTransform() override { script->call("release"); }
    bool isAsync() const override { return script->async; }
    uint32_t inputAlignment() const override { return 0; }
    bool configure(const VideoEncoderSettings& s) override {
        script->configured = s;
        script->call("configure");
        return script->configureOk;
    }
    int32_t nextEvent(uint32_t& type) override {
        std::unique_lock<std::mutex> g(script->lock);
        script->changed.wait(g, [&] { return script->shut || !script->events.empty(); });
        if (script->shut) return kUnexpected;
        type = script->events.front();
        script->events.pop_front();
        if (type == mf::kHaveOutputEvent) ++script->pendingOutputs;
        return mf::kOk;
    }
    int32_t processInput(mf::IInputSample& s) override {
        std::lock_guard<std::mutex> g(script->lock);
        script->inputs.push_back(static_cast<mf::MemorySample&>(s).sample);
        script->changed.notify_all();
        if (script->inputResults.empty()) return mf::kOk;
        const int32_t r = script->inputResults.front();
        script->inputResults.pop_front();
        return r;
    }
    int32_t processOutput(mf::TransformSample& out) override {
        std::lock_guard<std::mutex> g(script->lock);
        script->calls.push_back("output");
        // An asynchronous transform gives output only against a have-output event.
        if (script->async && script->pendingOutputs-- == 0) {
            script->pendingOutputs = 0;
            return kUnexpected;
        }
        if (script->outputs.empty()) return mf::kNeedMoreInput;
        auto [code, sample] = std::move(script->outputs.front());
        script->outputs.pop_front();
        out = std::move(sample);
        return code;
    }
    int32_t renegotiateOutput() override {
        std::lock_guard<std::mutex> g(script->lock);
        script->calls.push_back("renegotiate");
        script->header = script->headerAfterChange;
        // The documented order: once the new type is set, the next output comes with a new event.
        if (script->async) script->events.push_back(mf::kHaveOutputEvent);
        script->changed.notify_all();
        return script->renegotiateResult;
    }
    void endStreaming() override { script->call("end"); }
    void shutdown() override {
        std::lock_guard<std::mutex> g(script->lock);
        script->shut = true;
        script->calls.push_back("shutdown");
        script->changed.notify_all();
    }
    std::vector<uint8_t> sequenceHeader() const override {
        std::lock_guard<std::mutex> g(script->lock);
        script->headerReaders.push_back(std::this_thread::get_id());
        script->changed.notify_all();
        return script->header;
    }

private:
    std::shared_ptr<Script> script;
};

struct Candidate {
    std::string name;
    std::shared_ptr<Script> script;  // null: activation fails
};

class FakeActivation : public mf::ITransformActivation {
public:
    FakeActivation(Candidate c, std::vector<std::string>* log) : candidate(std::move(c)), log(log) {}
    std::unique_ptr<mf::IEncoderTransform> activate(std::string& name) override {
        log->push_back("activate " + candidate.name);
        if (!candidate.script) return nullptr;
        name = candidate.name;
        return std::make_unique<FakeTransform>(candidate.script);
    }
    void shutdownObject() override { log->push_back("shutdown " + candidate.name); }

private:
    Candidate candidate;
    std::vector<std::string>* log;
};

struct Finder {
    std::vector<Candidate> hardware, software;
    bool softwareOnly = false;
    std::vector<uint32_t> passes;
    std::vector<std::string> log;
    MfVideoEncoder::System system() {
        return {[this](uint32_t flags) {
                    passes.push_back(flags);
                    std::vector<std::unique_ptr<mf::ITransformActivation>> out;
                    for (const Candidate& c : (flags & mf::kHardwareFlag) ? hardware : software)
                        out.push_back(std::make_unique<FakeActivation>(c, &log));
                    return out;
                },
                [this] { return softwareOnly; }, mf::memorySamples()};
    }
};

VideoEncoderSettings video(int fps = 30) {
    VideoEncoderSettings v;
    v.width = 16;
    v.height = 8;
    v.fps = fps;
    v.bitrate = 2000000;
    return v;
}

std::vector<uint8_t> frame(uint8_t seed) {
    std::vector<uint8_t> f(16 * 8 * 4);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(seed + i * 3);
    return f;
}

// Feeds one frame and returns the packets handed out by that call.
std::vector<EncodedPacket> feed(MfVideoEncoder& e, int64_t n) {
    std::vector<EncodedPacket> out;
    const auto f = frame(static_cast<uint8_t>(n));
    e.encode(f.data(), 16 * 4, n, out);
    return out;
}

// Packets already finished by the worker, collected with the next frames.
std::vector<EncodedPacket> collect(MfVideoEncoder& e, int64_t& n, size_t want) {
    std::vector<EncodedPacket> all;
    for (int i = 0; i < 200 && all.size() < want; ++i) {
        auto p = feed(e, n++);
        all.insert(all.end(), p.begin(), p.end());
        if (all.size() < want) std::this_thread::sleep_for(5ms);
    }
    return all;
}

}  // namespace

TEST(MfVideoEncoderSearch, HardwareFirstThenSoftwareAndTheEnvironmentSkipsHardware) {
    Finder f;
    f.hardware = {{"HW refuses", std::make_shared<Script>()}, {"HW none", nullptr}};
    f.hardware[0].script->configureOk = false;
    f.software = {{"", std::make_shared<Script>()}};
    MfVideoEncoder e(f.system());
    ASSERT_TRUE(e.open(video()));
    EXPECT_EQ(f.passes, (std::vector<uint32_t>{0x44, 0x41}));
    EXPECT_EQ(f.log, (std::vector<std::string>{"activate HW refuses", "shutdown HW refuses", "activate HW none", "activate "}));
    EXPECT_EQ(e.name(), "Software H.264");  // the refused transform's name does not stick
    EXPECT_EQ(f.hardware[0].script->calls.back(), "release");
    e.close();

    Finder soft;
    soft.softwareOnly = true;
    soft.hardware = {{"HW", std::make_shared<Script>()}};
    soft.software = {{"Soft", std::make_shared<Script>()}};
    MfVideoEncoder s(soft.system());
    ASSERT_TRUE(s.open(video()));
    EXPECT_EQ(soft.passes, (std::vector<uint32_t>{0x41}));
    EXPECT_EQ(s.name(), "Soft");
}

TEST(MfVideoEncoderSearch, NoTransformGivesTheSizeAndEncodeDoesNothing) {
    Finder f;
    f.software = {{"Refuses", std::make_shared<Script>()}};
    f.software[0].script->configureOk = false;
    MfVideoEncoder e(f.system());
    VideoEncoderSettings v = video();
    v.width = 1920;
    v.height = 1080;
    EXPECT_FALSE(e.open(v));
    EXPECT_EQ(e.lastError(), "No H.264 encoder accepted 1920x1080");
    std::vector<EncodedPacket> out;
    const std::vector<uint8_t> big(1920 * 1080 * 4);
    e.encode(big.data(), 1920 * 4, 0, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(e.queuedFrames(), 0u);
}

TEST(MfVideoEncoderSearch, RefusesAFrameRateBelowOne) {
    Finder f;
    f.software = {{"Soft", std::make_shared<Script>()}};
    MfVideoEncoder e(f.system());
    EXPECT_FALSE(e.open(video(0)));
    EXPECT_EQ(e.lastError(), "Frame rate must be at least 1 (got 0)");
    EXPECT_TRUE(f.passes.empty());
}

TEST(MfVideoEncoderSettings, GopSizeAndQualityVsSpeed) {
    EXPECT_EQ(mf::qualityVsSpeed(0), 100u);
    EXPECT_EQ(mf::qualityVsSpeed(1), 50u);
    EXPECT_EQ(mf::qualityVsSpeed(2), 0u);
    EXPECT_EQ(mf::qualityVsSpeed(7), 50u);
    EXPECT_EQ(mf::gopSize(video(30)), 60u);
    EXPECT_EQ(mf::withCode("Video encoder failed", kFail), "Video encoder failed (0x80004005)");
}

TEST(MfVideoEncoderSync, FramesGoInAsNv12AndPacketsComeOutLater) {
    Finder f;
    auto script = std::make_shared<Script>();
    f.software = {{"Soft", script}};
    MfVideoEncoder e(f.system());
    ASSERT_TRUE(e.open(video()));
    EXPECT_EQ(script->configured.keyframeSeconds, 2);
    script->addOutput(mf::kOk, {0, 0, 1, 0x65, 1}, 0, true);
    script->addOutput(mf::kOk, {}, 0, false);  // an empty output is not a packet
    EXPECT_TRUE(feed(e, 0).empty());
    ASSERT_TRUE(script->waitFor([&] { return script->inputs.size() == 1; }));
    int64_t n = 1;
    auto packets = collect(e, n, 1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(packets[0].keyframe);
    EXPECT_EQ(packets[0].data, (std::vector<uint8_t>{0, 0, 1, 0x65, 1}));
    ASSERT_TRUE(script->waitFor([&] { return script->inputs.size() >= 2; }));
    e.close();

    const auto f0 = frame(0);
    std::vector<uint8_t> nv12(16 * 8 * 3 / 2);
    bgraToNv12(f0.data(), 64, 16, 8, nv12.data());
    EXPECT_EQ(script->inputs[0].bytes, nv12);
    EXPECT_EQ(script->inputs[0].time, 0);
    EXPECT_EQ(script->inputs[0].duration, 333333);
    ASSERT_GE(script->inputs.size(), 2u);
    EXPECT_EQ(script->inputs[1].time, 333333);
    // Synchronous transforms: end of streaming, then shut down, then released.
    const auto& c = script->calls;
    auto at = [&](const std::string& what) { return std::find(c.begin(), c.end(), what) - c.begin(); };
    EXPECT_LT(at("end"), at("shutdown"));
    EXPECT_LT(at("shutdown"), at("release"));
}

TEST(MfVideoEncoderSync, NotAcceptingDrainsAndRetriesTheSameFrame) {
    Finder f;
    auto script = std::make_shared<Script>();
    f.software = {{"Soft", script}};
    script->inputResults = {mf::kNotAccepting};
    script->addOutput(mf::kOk, {9}, 10, false);
    MfVideoEncoder e(f.system());
    ASSERT_TRUE(e.open(video()));
    feed(e, 4);
    ASSERT_TRUE(script->waitFor([&] { return script->inputs.size() == 2; }));
    EXPECT_EQ(script->inputs[0].time, script->inputs[1].time);
    int64_t n = 5;
    EXPECT_EQ(collect(e, n, 1).size(), 1u);
    EXPECT_EQ(e.lastError(), "");
}

TEST(MfVideoEncoderSync, StreamChangeRenegotiatesAndContinues) {
    Finder f;
    auto script = std::make_shared<Script>();
    f.software = {{"Soft", script}};
    script->addOutput(mf::kStreamChange);
    script->addOutput(mf::kOk, {1, 2}, 0, true);
    script->headerAfterChange = {0, 0, 1, 0x67, 2};
    MfVideoEncoder e(f.system());
    ASSERT_TRUE(e.open(video()));
    int64_t n = 0;
    EXPECT_EQ(collect(e, n, 1).size(), 1u);
    EXPECT_EQ(std::count(script->calls.begin(), script->calls.end(), "renegotiate"), 1);
    EXPECT_EQ(e.lastError(), "");
    // The packet came after the renegotiation, so the header read on the worker is the new one.
    EXPECT_EQ(e.sequenceHeader(), script->headerAfterChange);
}

TEST(MfVideoEncoderSync, FailuresEndTheWorkerWithTheirTexts) {
    {
        Finder f;
        auto script = std::make_shared<Script>();
        f.software = {{"Soft", script}};
        script->inputResults = {kFail};
        MfVideoEncoder e(f.system());
        ASSERT_TRUE(e.open(video()));
        feed(e, 0);
        ASSERT_TRUE(script->waitFor([&] { return script->inputs.size() == 1; }));
        ASSERT_TRUE(waitFor([&] { return !e.lastError().empty(); }));
        EXPECT_EQ(e.lastError(), "Video encoder rejected a frame (0x80004005)");
        // The encoder stays open but silent; the queue still obeys its bound.
        for (int i = 1; i <= 40; ++i) EXPECT_TRUE(feed(e, i).empty());
        EXPECT_EQ(e.queuedFrames(), 30u);
        EXPECT_EQ(script->inputCount(), 1u);
    }
    {
        Finder f;
        auto script = std::make_shared<Script>();
        f.software = {{"Soft", script}};
        script->addOutput(kUnexpected);
        MfVideoEncoder e(f.system());
        ASSERT_TRUE(e.open(video()));
        feed(e, 0);
        ASSERT_TRUE(waitFor([&] { return !e.lastError().empty(); }));
        EXPECT_EQ(e.lastError(), "Video encoder failed (0x8000FFFF)");
    }
    {
        // A stream change the transform cannot satisfy ends the drain instead of spinning.
        Finder f;
        auto script = std::make_shared<Script>();
        f.software = {{"Soft", script}};
        script->renegotiateResult = kFail;
        script->addOutput(mf::kStreamChange);
        MfVideoEncoder e(f.system());
        ASSERT_TRUE(e.open(video()));
        feed(e, 0);
        ASSERT_TRUE(waitFor([&] { return !e.lastError().empty(); }));
        EXPECT_EQ(e.lastError(), "Video encoder failed (0x80004005)");
    }
}

TEST(MfVideoEncoderAsync, EventsDriveInputAndOutputAndTheQueueDropsTheOldest) {
    Finder f;
    auto script = std::make_shared<Script>();
    script->async = true;
    f.hardware = {{"Async HW", script}};
    MfVideoEncoder e(f.system());
    ASSERT_TRUE(e.open(video(30)));
    EXPECT_EQ(e.name(), "Async HW");
    // The transform asks for nothing yet: a stalled encoder.
    for (int i = 0; i < 31; ++i) EXPECT_TRUE(feed(e, i).empty());
    EXPECT_EQ(e.queuedFrames(), 30u);  // frame 0 was dropped
    script->addEvent(mf::kNeedInputEvent);
    ASSERT_TRUE(script->waitFor([&] { return script->inputs.size() == 1; }));
    EXPECT_EQ(script->inputs[0].time, 333333);  // frame 1
    script->addOutput(mf::kOk, {5, 5}, 333333, false);
    script->addOutput(mf::kOk, {6, 6}, 666666, false);
    script->addEvent(mf::kHaveOutputEvent);  // one output per event
    int64_t n = 31;
    auto packets = collect(e, n, 1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].time, 333333);
    EXPECT_EQ(e.sequenceHeader(), (std::vector<uint8_t>{0, 0, 1, 0x67}));
    e.close();
    // Asynchronous transforms are shut down first so the blocked event wait returns.
    const auto& c = script->calls;
    auto at = [&](const std::string& what) { return std::find(c.begin(), c.end(), what) - c.begin(); };
    EXPECT_LT(at("shutdown"), at("end"));
    EXPECT_EQ(e.queuedFrames(), 0u);
    EXPECT_EQ(e.name(), "Async HW");
}

TEST(MfVideoEncoderAsync, AfterAStreamChangeTheNextOutputWaitsForItsEvent) {
    Finder f;
    auto script = std::make_shared<Script>();
    script->async = true;
    script->headerAfterChange = {0, 0, 1, 0x67, 2};
    f.hardware = {{"Async HW", script}};
    MfVideoEncoder e(f.system());
    ASSERT_TRUE(e.open(video()));
    ASSERT_TRUE(waitFor([&] { return !e.sequenceHeader().empty(); }));
    EXPECT_EQ(e.sequenceHeader(), (std::vector<uint8_t>{0, 0, 1, 0x67}));
    script->addOutput(mf::kStreamChange);
    script->addOutput(mf::kOk, {7, 7}, 0, true);
    script->addOutput(mf::kOk, {8, 8}, 333333, false);
    script->addEvent(mf::kHaveOutputEvent);
    int64_t n = 0;
    auto packets = collect(e, n, 1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].data, (std::vector<uint8_t>{7, 7}));
    EXPECT_EQ(e.lastError(), "");
    EXPECT_EQ(e.sequenceHeader(), script->headerAfterChange);
    script->addEvent(mf::kHaveOutputEvent);
    packets = collect(e, n, 1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].time, 333333);
    e.close();
    // Only the worker reads the transform's output type; the main thread gets copies.
    for (std::thread::id reader : script->headerReaders) EXPECT_NE(reader, std::this_thread::get_id());
}

namespace {

struct AacRig {
    std::shared_ptr<Script> script = std::make_shared<Script>();
    int32_t createResult = mf::kOk;
    int rate = 0, bytes = 0;
    MfAudioEncoder encoder{[this](int r, int b, int32_t& result) -> std::unique_ptr<mf::IEncoderTransform> {
                               rate = r;
                               bytes = b;
                               result = createResult;
                               if (mf::failed(createResult)) return nullptr;
                               return std::make_unique<FakeTransform>(script);
                           },
                           mf::memorySamples()};
    std::vector<EncodedPacket> encode(uint64_t frames) {
        std::vector<int16_t> s(frames * 2, 7);
        std::vector<EncodedPacket> out;
        encoder.encode(s.data(), frames, out);
        return out;
    }
};

}  // namespace

TEST(MfAudioEncoderTest, PacketTimesStepBy1024FromZeroWhateverTheTransformSays) {
    AacRig r;
    ASSERT_TRUE(r.encoder.open(48000, 24000));
    EXPECT_EQ(r.rate, 48000);
    EXPECT_EQ(r.bytes, 24000);
    r.script->addOutput(mf::kOk, {1}, 999999, false);
    r.script->addOutput(mf::kStreamChange);
    r.script->addOutput(mf::kOk, {});
    r.script->addOutput(mf::kOk, {2}, 5, false);
    auto p = r.encode(1600);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].time, 0);
    EXPECT_EQ(p[1].time, 1024 * 10000000LL / 48000);
    EXPECT_TRUE(p[0].keyframe && p[1].keyframe);
    EXPECT_EQ(r.script->inputs[0].bytes.size(), 1600u * 4);
    EXPECT_EQ(r.script->inputs[0].duration, 1600 * 10000000LL / 48000);
    r.encode(800);
    EXPECT_EQ(r.script->inputs[1].time, 1600 * 10000000LL / 48000);
    EXPECT_TRUE(r.encode(0).empty());
    EXPECT_EQ(r.script->inputs.size(), 2u);
    r.encoder.close();
    EXPECT_EQ(r.script->calls.back(), "release");
}

TEST(MfAudioEncoderTest, ErrorsStopOutputUntilReopened) {
    AacRig r;
    ASSERT_TRUE(r.encoder.open(48000, 24000));
    r.script->inputResults = {kFail};
    r.encode(1024);
    EXPECT_EQ(r.encoder.lastError(), "AAC encoder rejected audio");
    r.script->addOutput(mf::kOk, {1});
    EXPECT_TRUE(r.encode(1024).empty());
    EXPECT_EQ(r.script->inputs.size(), 1u);
    ASSERT_TRUE(r.encoder.open(48000, 24000));
    EXPECT_EQ(r.encoder.lastError(), "");
    EXPECT_EQ(r.encode(1024).size(), 1u);
    r.script->addOutput(kFail);
    r.encode(1024);
    EXPECT_EQ(r.encoder.lastError(), "AAC encoding failed");
    r.script->inputResults = {mf::kOutOfMemory};
    ASSERT_TRUE(r.encoder.open(48000, 24000));
    r.encode(1024);
    EXPECT_EQ(r.encoder.lastError(), "Out of memory");
}

TEST(MfAudioEncoderTest, OpenFailuresGiveTheirTexts) {
    AacRig r;
    r.createResult = mf::kClassNotRegistered;
    EXPECT_FALSE(r.encoder.open(48000, 24000));
    EXPECT_EQ(r.encoder.lastError(), "AAC encoder unavailable (0x80040154)");
    EXPECT_TRUE(r.encode(1024).empty());
    EXPECT_FALSE(r.encoder.open(0, 24000));
    EXPECT_EQ(r.encoder.lastError(), "Unsupported sample rate 0");
}

namespace {

struct SinkLog {
    std::vector<std::string> calls;
    std::map<std::string, int32_t> results;  // call name -> result code
    bool fragmented = false;
    uint32_t quality = 0;
    std::string encoderName;
    std::vector<std::tuple<uint32_t, std::vector<uint8_t>, int64_t, int64_t>> samples;
    int32_t result(const std::string& c) {
        calls.push_back(c);
        auto it = results.find(c);
        return it == results.end() ? mf::kOk : it->second;
    }
};

class FakeSink : public mf::IMp4Sink {
public:
    explicit FakeSink(SinkLog* l) : log(l) {}
    ~FakeSink() override { log->calls.push_back("release"); }
    int32_t addVideoStream(const RecordingSettings&, uint32_t& i) override {
        i = 0;
        return log->result("addVideo");
    }
    int32_t setVideoInput(uint32_t, const RecordingSettings&, uint32_t q) override {
        log->quality = q;
        return log->result("videoInput");
    }
    int32_t addAudioStream(const RecordingSettings&, uint32_t& i) override {
        i = 1;
        return log->result("addAudio");
    }
    int32_t setAudioInput(uint32_t, const RecordingSettings&) override { return log->result("audioInput"); }
    int32_t beginWriting() override { return log->result("begin"); }
    std::string videoEncoderName(uint32_t) override { return log->encoderName; }
    int32_t writeSample(uint32_t i, size_t n, const std::function<void(uint8_t*)>& fill, int64_t t,
                        int64_t d) override {
        std::vector<uint8_t> b(n);
        fill(b.data());
        log->samples.emplace_back(i, std::move(b), t, d);
        return log->result(i == 0 ? "writeVideo" : "writeAudio");
    }
    int32_t finalize() override { return log->result("finalize"); }

private:
    SinkLog* log;
};

struct RecorderRig {
    SinkLog log;
    int32_t createResult = mf::kOk;
    MfRecorder recorder{[this](const std::wstring&, bool fragmented, int32_t& result) -> std::unique_ptr<mf::IMp4Sink> {
        log.fragmented = fragmented;
        result = createResult;
        if (mf::failed(createResult)) return nullptr;
        return std::make_unique<FakeSink>(&log);
    }};
};

RecordingSettings mp4(int sampleRate = 48000, int fps = 30) {
    RecordingSettings s;
    s.width = 16;
    s.height = 8;
    s.fps = fps;
    s.videoBitrate = 4000000;
    s.sampleRate = sampleRate;
    s.audioBytesPerSecond = 24000;
    s.preset = 0;
    s.fragmented = false;
    return s;
}

}  // namespace

TEST(MfRecorderTest, OpensStreamsInOrderAndWritesTimedSamples) {
    RecorderRig r;
    r.log.encoderName = "GPU H.264";
    ASSERT_TRUE(r.recorder.open(L"x.mp4", mp4()));
    EXPECT_TRUE(r.recorder.isOpen());
    EXPECT_FALSE(r.log.fragmented);
    EXPECT_EQ(r.log.quality, 100u);
    EXPECT_EQ(r.log.calls, (std::vector<std::string>{"addVideo", "videoInput", "addAudio", "audioInput", "begin"}));
    EXPECT_EQ(r.recorder.encoderName(), "GPU H.264");
    const auto f = frame(3);
    r.recorder.writeVideo(f.data(), 64, 45);
    std::vector<uint8_t> nv12(16 * 8 * 3 / 2);
    bgraToNv12(f.data(), 64, 16, 8, nv12.data());
    ASSERT_EQ(r.log.samples.size(), 1u);
    EXPECT_EQ(std::get<1>(r.log.samples[0]), nv12);
    EXPECT_EQ(std::get<2>(r.log.samples[0]), 15000000);
    EXPECT_EQ(std::get<3>(r.log.samples[0]), 333333);
    const int16_t pcm[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    r.recorder.writeAudio(pcm, 0);
    EXPECT_EQ(r.log.samples.size(), 1u);
    r.log.results["writeAudio"] = kFail;
    r.recorder.writeAudio(pcm, 4);
    EXPECT_EQ(r.recorder.lastError(), "Writing audio failed");
    r.log.results["writeAudio"] = mf::kOk;
    r.recorder.writeAudio(pcm, 2);
    ASSERT_EQ(r.log.samples.size(), 3u);
    EXPECT_EQ(std::get<1>(r.log.samples[1]).size(), 16u);
    EXPECT_EQ(std::get<2>(r.log.samples[2]), 4 * 10000000LL / 48000);  // time advanced past the failed write
    r.log.results["writeVideo"] = kFail;
    r.recorder.writeVideo(f.data(), 64, 46);
    EXPECT_EQ(r.recorder.lastError(), "Writing a video frame failed");
    r.recorder.close();
    EXPECT_FALSE(r.recorder.isOpen());
    EXPECT_EQ(r.log.calls.back(), "release");
    EXPECT_EQ(r.log.calls[r.log.calls.size() - 2], "finalize");
}

TEST(MfRecorderTest, EveryOpenStepFailureHasItsTextAndReleasesWithoutFinalising) {
    const std::pair<std::string, std::string> steps[] = {
        {"addVideo", "H.264 encoder unavailable (0x80004005)"},
        {"videoInput", "H.264 encoder rejected the input (0x80004005)"},
        {"addAudio", "AAC encoder unavailable (0x80004005)"},
        {"audioInput", "AAC encoder rejected the input (0x80004005)"},
        {"begin", "Could not start writing (0x80004005)"}};
    for (const auto& [step, text] : steps) {
        RecorderRig r;
        r.log.results[step] = kFail;
        EXPECT_FALSE(r.recorder.open(L"x.mp4", mp4()));
        EXPECT_EQ(r.recorder.lastError(), text);
        EXPECT_FALSE(r.recorder.isOpen());
        EXPECT_EQ(std::count(r.log.calls.begin(), r.log.calls.end(), "finalize"), 0) << step;
        EXPECT_EQ(r.log.calls.back(), "release");
    }
    RecorderRig create;
    create.createResult = static_cast<int32_t>(0x80070057);
    EXPECT_FALSE(create.recorder.open(L"x.mp4", mp4()));
    EXPECT_EQ(create.recorder.lastError(), "Could not create the video file (0x80070057)");

    // A file whose index could not be written is not a finished file.
    RecorderRig finish;
    ASSERT_TRUE(finish.recorder.open(L"x.mp4", mp4()));
    finish.log.results["finalize"] = kFail;
    finish.recorder.close();
    EXPECT_EQ(finish.recorder.lastError(), "Finishing the MP4 file failed (0x80004005)");
}

TEST(MfRecorderTest, WithoutAudioAndFragmentedAndBadFrameRate) {
    RecorderRig r;
    RecordingSettings s = mp4(0);
    s.fragmented = true;
    s.preset = 9;
    ASSERT_TRUE(r.recorder.open(L"x.mp4", s));
    EXPECT_TRUE(r.log.fragmented);
    EXPECT_EQ(r.log.quality, 50u);
    EXPECT_EQ(r.log.calls, (std::vector<std::string>{"addVideo", "videoInput", "begin"}));
    EXPECT_EQ(r.recorder.encoderName(), "Software H.264");
    const int16_t pcm[4] = {};
    r.recorder.writeAudio(pcm, 2);
    EXPECT_TRUE(r.log.samples.empty());
    EXPECT_FALSE(r.recorder.supportsSampleRate(32000));
    EXPECT_TRUE(r.recorder.supportsSampleRate(44100));
    // Reopening finalises the previous file first.
    ASSERT_TRUE(r.recorder.open(L"y.mp4", mp4()));
    EXPECT_EQ(std::count(r.log.calls.begin(), r.log.calls.end(), "finalize"), 1);

    RecorderRig bad;
    EXPECT_FALSE(bad.recorder.open(L"x.mp4", mp4(48000, 0)));
    EXPECT_EQ(bad.recorder.lastError(), "Frame rate must be at least 1 (got 0)");
    EXPECT_TRUE(bad.log.calls.empty());
}

// The system's own encoders. Under Wine neither an H.264 nor an AAC encoder transform exists and
// the sink writer cannot be made; outside Windows there is no Media Foundation at all.
TEST(MfSystem, MissingEncodersGiveTheirTexts) {
    mf::ComApartment com;
    MfVideoEncoder video;
    VideoEncoderSettings v;
    v.width = 1920;
    v.height = 1080;
    v.bitrate = 6000000;
    if (video.open(v)) GTEST_SKIP() << "this system has an H.264 encoder: " << video.name();
    EXPECT_EQ(video.lastError(), "No H.264 encoder accepted 1920x1080");

    MfAudioEncoder audio;
    EXPECT_FALSE(audio.open(48000, 24000));
    EXPECT_EQ(audio.lastError(), "AAC encoder unavailable (0x80040154)");

    const char* b = std::getenv("QH_BINARY_DIR");
    const auto dir = (b && *b ? std::filesystem::path(b) : std::filesystem::temp_directory_path()) / "test-data" / "mf";
    std::filesystem::create_directories(dir);
    for (const bool fragmented : {false, true}) {  // MP4 and Safe MP4
        MfRecorder recorder;
        RecordingSettings s = mp4();
        s.width = 1280;
        s.height = 720;
        s.fragmented = fragmented;
        EXPECT_FALSE(recorder.open((dir / "system.mp4").wstring(), s));
        EXPECT_FALSE(recorder.isOpen());
        const std::string e = recorder.lastError();
        RecordProperty(fragmented ? "safeMp4Error" : "mp4Error", e);
        // Wine's sink writer refuses with 0x80070057; the native stand-in has none (0x80004001).
        EXPECT_EQ(e.rfind("Could not create the video file (0x", 0), 0u) << e;
    }
}
