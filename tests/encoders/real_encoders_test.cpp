// The studio's encoders over the encoder transforms registered in the test prefix: the H.264
// transform found by MFTEnumEx and the AAC transform made by its class id. The streams are
// written next to the results for the script to hand to ffprobe.
#include "media/mf/mf_audio_encoder.h"
#include "media/mf/mf_video_encoder.h"
#include "media/packaging.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::filesystem::path outputDir() {
    const char* d = std::getenv("QH_ENCODER_OUT");
    std::filesystem::path p = d && *d ? d : std::filesystem::temp_directory_path() / "qh-real-encoders";
    std::filesystem::create_directories(p);
    return p;
}

// A picture that keeps changing: a gradient sliding sideways under a band of fresh noise.
void movingFrame(std::vector<uint8_t>& f, int w, int h, int n, std::mt19937& rng) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f[(static_cast<size_t>(y) * w + x) * 4];
            const bool band = y >= (n * 3) % h && y < (n * 3) % h + h / 6;
            const uint8_t v = band ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>((x + n * 4) * 255 / w);
            p[0] = v;
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>(255 - v);
            p[3] = 255;
        }
}

// ADTS header for one raw AAC-LC frame (48 kHz, stereo), so that ffprobe can read the stream.
void writeAdts(std::ofstream& out, const std::vector<uint8_t>& frame) {
    const size_t n = frame.size() + 7;
    const uint8_t header[7] = {0xFF, 0xF1, static_cast<uint8_t>((1 << 6) | (3 << 2) | (2 >> 2)),
                               static_cast<uint8_t>(((2 & 3) << 6) | (n >> 11)), static_cast<uint8_t>(n >> 3),
                               static_cast<uint8_t>(((n & 7) << 5) | 0x1F), 0xFC};
    out.write(reinterpret_cast<const char*>(header), 7);
    out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
}

}  // namespace

TEST(RealEncoders, VideoKeyFramesWhereAskedAndTheBitRateHeld) {
    constexpr int kW = 640, kH = 360, kFps = 30, kFrames = 300, kBitrate = 1500000;
    MfVideoEncoder encoder;
    VideoEncoderSettings s;
    s.width = kW;
    s.height = kH;
    s.fps = kFps;
    s.bitrate = kBitrate;
    s.preset = 1;
    s.keyframeSeconds = 2;
    ASSERT_TRUE(encoder.open(s)) << encoder.lastError();
    RecordProperty("encoder", encoder.name());

    std::vector<uint8_t> frame(static_cast<size_t>(kW) * kH * 4);
    std::mt19937 rng(7);
    std::vector<EncodedPacket> packets;
    const int64_t lastTime = int64_t(kFrames - 1) * 10000000 / kFps;
    for (int n = 0; packets.empty() || packets.back().time < lastTime; ++n) {
        ASSERT_LT(n, kFrames + 200) << "the encoder stopped giving packets: " << encoder.lastError();
        movingFrame(frame, kW, kH, n, rng);
        encoder.encode(frame.data(), kW * 4, n, packets);
        // One frame at a time, so that none is dropped from a full queue; a worker that ended on
        // an error takes no more.
        for (int i = 0; i < 2000 && encoder.queuedFrames() > 0 && encoder.lastError().empty(); ++i)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(encoder.lastError(), "") << "frame " << n;
    }
    EXPECT_EQ(encoder.lastError(), "");
    std::vector<uint8_t> avcC;
    const std::vector<uint8_t> header = encoder.sequenceHeader();
    EXPECT_TRUE(avcDecoderConfigFromAnnexB(header.data(), header.size(), avcC));
    encoder.close();

    std::ofstream out(outputDir() / "video.h264", std::ios::binary);
    size_t bytes = 0;
    int index = 0;
    for (const EncodedPacket& p : packets) {
        if (p.time > lastTime) break;
        EXPECT_EQ(p.time, int64_t(index) * 10000000 / kFps);
        // Key frames every two seconds and only there, each with its parameter sets.
        EXPECT_EQ(p.keyframe, index % (2 * kFps) == 0) << "frame " << index;
        if (p.keyframe) {
            EXPECT_TRUE(avcDecoderConfigFromAnnexB(p.data.data(), p.data.size(), avcC)) << "frame " << index;
        }
        out.write(reinterpret_cast<const char*>(p.data.data()), static_cast<std::streamsize>(p.data.size()));
        bytes += p.data.size();
        ++index;
    }
    EXPECT_EQ(index, kFrames);
    const double rate = bytes * 8.0 / (kFrames / double(kFps));
    RecordProperty("bitrate", std::to_string(rate));
    EXPECT_NEAR(rate, kBitrate, kBitrate * 0.15);
}

TEST(RealEncoders, AudioFramesOf1024SamplesFromTheClassId) {
    constexpr int kRate = 48000, kSeconds = 10;
    MfAudioEncoder encoder;
    ASSERT_TRUE(encoder.open(kRate, 24000)) << encoder.lastError();
    std::vector<int16_t> chunk(480 * 2);
    std::vector<EncodedPacket> packets;
    int64_t t = 0;
    for (int c = 0; c < kSeconds * kRate / 480; ++c) {
        for (int i = 0; i < 480; ++i, ++t) {
            const auto v = static_cast<int16_t>(12000 * std::sin(2 * 3.14159265358979 * 440 * t / kRate));
            chunk[i * 2] = chunk[i * 2 + 1] = v;
        }
        encoder.encode(chunk.data(), 480, packets);
    }
    EXPECT_EQ(encoder.lastError(), "");
    encoder.close();
    // The encoder holds back at most a frame or two of delay.
    EXPECT_GE(packets.size(), size_t(kSeconds * kRate / 1024 - 3));
    EXPECT_LE(packets.size(), size_t(kSeconds * kRate / 1024));
    std::ofstream out(outputDir() / "audio.aac", std::ios::binary);
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].time, int64_t(i) * 1024 * 10000000 / kRate);
        EXPECT_TRUE(packets[i].keyframe);
        writeAdts(out, packets[i].data);
    }
}
