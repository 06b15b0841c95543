// Matroska files written with the real recorder and the test encoders, checked with ffmpeg,
// ffprobe and mkvinfo.
#include "media/ebml_reader.h"
#include "media/mkv_recorder.h"
#include "support/test_encoders.h"
#include "tools.h"

#include <gtest/gtest.h>

namespace {

constexpr int kW = 320, kH = 240, kFps = 30, kRate = 48000;

// A moving picture so that inter frames carry real motion.
std::vector<uint8_t> picture(int64_t n) {
    std::vector<uint8_t> f(static_cast<size_t>(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = &f[(static_cast<size_t>(y) * kW + x) * 4];
            p[0] = static_cast<uint8_t>(x + n * 3);
            p[1] = static_cast<uint8_t>(y * 2 - n);
            p[2] = static_cast<uint8_t>((x / 16 + y / 16 + n / 10) % 2 ? 220 : 30);
            p[3] = 255;
        }
    return f;
}

std::vector<int16_t> tone(int64_t firstFrame, int frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(firstFrame + i) / kRate;
        s[i * 2] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t));
        s[i * 2 + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 660 * t));
    }
    return s;
}

std::unique_ptr<MkvRecorder> makeRecorder() {
    return std::make_unique<MkvRecorder>(makeTestVideoEncoder(), makeTestAudioEncoder());
}

RecordingSettings settings(int sampleRate) {
    RecordingSettings s;
    s.width = kW;
    s.height = kH;
    s.fps = kFps;
    s.videoBitrate = 800000;
    s.sampleRate = sampleRate;
    s.audioBytesPerSecond = 24000;
    return s;
}

// Records `frames` frames with audio paced like the studio's tick (one frame's worth per call).
void record(MkvRecorder& r, int64_t firstFrame, int frames, bool audio,
            const std::function<void(int)>& afterFrame = {}) {
    const int perFrame = kRate / kFps;
    for (int i = 0; i < frames; ++i) {
        const auto f = picture(firstFrame + i);
        r.writeVideo(f.data(), kW * 4, firstFrame + i);
        if (audio) {
            const auto s = tone(static_cast<int64_t>(i) * perFrame, perFrame);
            r.writeAudio(s.data(), perFrame);
        }
        if (afterFrame) afterFrame(i);
    }
}

}  // namespace

TEST(MkvFiles, PassTheOutsideCheckersWithExpectedStreams) {
    const auto file = e2e::dataDir("mkv") / "three-seconds.mkv";
    auto r = makeRecorder();
    ASSERT_TRUE(r->open(file.wstring(), settings(kRate))) << r->lastError();
    EXPECT_EQ(r->encoderName(), "x264 (tests)");
    record(*r, 0, 90, true);
    r->close();
    ASSERT_EQ(r->lastError(), "");

    const e2e::Result info = e2e::run("mkvinfo " + e2e::quote(file));
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("V_MPEG4/ISO/AVC"), std::string::npos);
    EXPECT_NE(info.output.find("A_AAC"), std::string::npos);
    EXPECT_EQ(e2e::decodeErrors(file), "");

    const ebml::File parsed = ebml::parse(ebml::readAll(file.string()));
    ASSERT_TRUE(parsed.ok);
    size_t audioBlocks = 0;
    for (const auto& b : parsed.blocks()) audioBlocks += b.track == 2;
    // The last video block is at frame 89 (2966 ms); one frame's time is added.
    EXPECT_EQ(ebml::floatOf(ebml::readAll(file.string()), MkvWriter::kDurationOffset), 2999.0);

    const auto streams = e2e::probe(file, "-count_frames -count_packets -show_entries "
                                          "stream=codec_name,width,height,sample_rate,channels,nb_read_frames,nb_read_packets");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("codec_name"), "h264");
    EXPECT_EQ(streams[0].at("width"), std::to_string(kW));
    EXPECT_EQ(streams[0].at("height"), std::to_string(kH));
    EXPECT_EQ(streams[0].at("nb_read_frames"), "90");
    EXPECT_EQ(streams[0].at("nb_read_packets"), "90");
    EXPECT_EQ(streams[1].at("codec_name"), "aac");
    EXPECT_EQ(streams[1].at("sample_rate"), std::to_string(kRate));
    EXPECT_EQ(streams[1].at("channels"), "2");
    EXPECT_EQ(streams[1].at("nb_read_packets"), std::to_string(audioBlocks));
    EXPECT_GE(audioBlocks, 135u);  // about 3 s of 1024-sample frames

    const auto format = e2e::probe(file, "-show_entries format=duration");
    ASSERT_EQ(format.size(), 1u);
    EXPECT_NEAR(std::stod(format[0].at("duration")), 2.999, 0.001);
}

TEST(MkvFiles, ACopyTakenWhileRecordingIsReadable) {
    const auto file = e2e::dataDir("mkv") / "growing.mkv";
    const auto copy = e2e::dataDir("mkv") / "growing-copy.mkv";
    auto r = makeRecorder();
    ASSERT_TRUE(r->open(file.wstring(), settings(kRate)));
    record(*r, 0, 100, true, [&](int i) {
        if (i == 70) std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
    });
    r->close();
    EXPECT_EQ(e2e::decodeErrors(copy), "");
    const ebml::File parsed = ebml::parse(ebml::readAll(copy.string()));
    ASSERT_TRUE(parsed.ok);
    size_t videoBlocks = 0;
    for (const auto& b : parsed.blocks()) videoBlocks += b.track == 1;
    EXPECT_EQ(videoBlocks, 60u);  // two whole one-second clusters; the third was still open
    const auto streams = e2e::probe(copy, "-count_frames -show_entries stream=codec_name,nb_read_frames");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(videoBlocks));
    EXPECT_EQ(e2e::decodeErrors(file), "");
}

TEST(MkvFiles, LongRecordingsPastTwoToThe31MillisecondsAndLongGapsStayValid) {
    const auto file = e2e::dataDir("mkv") / "long.mkv";
    auto r = makeRecorder();
    ASSERT_TRUE(r->open(file.wstring(), settings(0)));
    const int64_t start = (int64_t(1) << 31) * kFps / 1000 + 17;  // just past 2^31 ms
    record(*r, start, 75, false);
    record(*r, start + 75 + 40 * kFps, 45, false);  // a 40-second gap with no frames
    r->close();
    ASSERT_EQ(r->lastError(), "");

    EXPECT_EQ(e2e::run("mkvinfo " + e2e::quote(file)).status, 0);
    EXPECT_EQ(e2e::decodeErrors(file), "");
    const ebml::File parsed = ebml::parse(ebml::readAll(file.string()));
    ASSERT_TRUE(parsed.ok);
    ASSERT_FALSE(parsed.clusters.empty());
    EXPECT_GT(parsed.clusters.front().time, int64_t(1) << 31);
    int64_t previous = -1;
    for (const auto& b : parsed.blocks()) {
        EXPECT_GT(b.time, previous);
        previous = b.time;
    }
    EXPECT_EQ(parsed.blocks().size(), 120u);
    const auto streams = e2e::probe(file, "-count_frames -show_entries stream=nb_read_frames");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("nb_read_frames"), "120");
    EXPECT_NEAR(parsed.duration, static_cast<double>(previous + 33), 0.5);
}
