// Packaging checked against ffmpeg: the colour conversion against its BT.709 limited-range
// conversion, and libx264 output repackaged as FLV video tags.
#include "live/flv.h"
#include "media/ebml_reader.h"
#include "media/packaging.h"
#include "support/test_encoders.h"
#include "tools.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// ffmpeg's chroma, asked for as the plain 2 x 2 block average with exact rounding, like ours.
const std::string kBoxChroma = ":flags=area+accurate_rnd+full_chroma_int";

void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Difference {
    int luma = 0;     // largest luma difference
    int chroma = 0;   // largest chroma difference
    size_t over1 = 0;  // chroma samples more than 1 apart
    size_t samples = 0;
};

// Our NV12 against ffmpeg's for the same BGRA frame.
Difference compareWithFfmpeg(const std::vector<uint8_t>& bgra, int w, int h,
                                      const std::string& flags, const std::string& name) {
    const auto dir = e2e::dataDir("nv12");
    writeFile(dir / (name + ".bgra"), bgra);
    const auto out = dir / (name + ".nv12");
    const auto r = e2e::run("ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgra -s " + std::to_string(w) +
                            "x" + std::to_string(h) + " -i " + e2e::quote(dir / (name + ".bgra")) +
                            " -vf scale=out_color_matrix=bt709:out_range=tv" + flags +
                            " -pix_fmt nv12 -f rawvideo " + e2e::quote(out));
    EXPECT_EQ(r.status, 0) << r.output;
    const auto theirs = ebml::readAll(out.string());
    std::vector<uint8_t> ours(static_cast<size_t>(w) * h * 3 / 2);
    bgraToNv12(bgra.data(), w * 4, w, h, ours.data());
    EXPECT_EQ(theirs.size(), ours.size());
    Difference d;
    const size_t lumaSize = static_cast<size_t>(w) * h;
    for (size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i) {
        const int diff = std::abs(ours[i] - theirs[i]);
        if (i < lumaSize) {
            d.luma = std::max(d.luma, diff);
        } else {
            d.chroma = std::max(d.chroma, diff);
            d.over1 += diff > 1;
            ++d.samples;
        }
    }
    return d;
}

}  // namespace

TEST(Nv12AgainstFfmpeg, PhotographicFrameWithinOneAlmostEverywhere) {
    // Smooth shading with sensor-like noise, the kind of content a camera gives.
    const int w = 640, h = 360;
    std::vector<uint8_t> f(static_cast<size_t>(w) * h * 4);
    std::mt19937 rng(5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f[(static_cast<size_t>(y) * w + x) * 4];
            const double r = 0.5 + 0.4 * std::sin(x * 0.013) * std::cos(y * 0.021);
            const double g = 0.45 + 0.35 * std::sin((x + y) * 0.008);
            const double b = 0.4 + 0.3 * std::cos(x * 0.005 - y * 0.011);
            const int noise = static_cast<int>(rng() % 5) - 2;
            p[0] = static_cast<uint8_t>(std::clamp(static_cast<int>(b * 255) + noise, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(static_cast<int>(g * 255) + noise, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(static_cast<int>(r * 255) + noise, 0, 255));
            p[3] = 255;
        }
    // With ffmpeg's own defaults the luma agrees; its chroma goes through a wider filter than a
    // 2 x 2 block, so chroma is compared with the block average asked for explicitly.
    EXPECT_LE(compareWithFfmpeg(f, w, h, "", "photo").luma, 1);
    // The 8-bit chroma weights (112, 87, 26 and 112, 102, 10) round the matrix slightly; in
    // strongly saturated warm tones that adds up to a difference of 2 in a handful of samples.
    const Difference d = compareWithFfmpeg(f, w, h, kBoxChroma, "photo-box");
    EXPECT_LE(d.luma, 1);
    EXPECT_LE(d.chroma, 2);
    EXPECT_LE(d.over1 * 10000, d.samples) << d.over1 << " of " << d.samples;
}

TEST(Nv12AgainstFfmpeg, SyntheticFramesWithinOne) {
    const int w = 256, h = 128;
    std::vector<uint8_t> noise(static_cast<size_t>(w) * h * 4);
    std::mt19937 rng(9);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    Difference d = compareWithFfmpeg(noise, w, h, kBoxChroma, "noise");
    EXPECT_LE(d.luma, 1);
    EXPECT_LE(d.chroma, 1);

    std::vector<uint8_t> bars(static_cast<size_t>(w) * h * 4);
    const uint8_t colours[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                   {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    for (int yy = 0; yy < h; ++yy)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) bars[(static_cast<size_t>(yy) * w + x) * 4 + k] = colours[x * 8 / w][k];
    d = compareWithFfmpeg(bars, w, h, kBoxChroma, "bars");
    EXPECT_LE(d.luma, 1);
    EXPECT_LE(d.chroma, 1);
}

TEST(FlvFromX264, LengthPrefixedStreamInFlvTagsDecodesCleanly) {
    const int w = 320, h = 180, fps = 30, frames = 75;
    auto enc = makeTestVideoEncoder();
    VideoEncoderSettings s;
    s.width = w;
    s.height = h;
    s.fps = fps;
    s.bitrate = 500000;
    ASSERT_TRUE(enc->open(s)) << enc->lastError();

    std::vector<uint8_t> flv = {'F', 'L', 'V', 1, 0x01, 0, 0, 0, 9, 0, 0, 0, 0};
    auto tag = [&](const std::vector<uint8_t>& body, uint32_t ms) {
        const uint32_t n = static_cast<uint32_t>(body.size());
        const uint8_t head[11] = {9, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n),
                                  uint8_t(ms >> 16), uint8_t(ms >> 8), uint8_t(ms), uint8_t(ms >> 24), 0, 0, 0};
        flv.insert(flv.end(), head, head + 11);
        flv.insert(flv.end(), body.begin(), body.end());
        const uint32_t prev = n + 11;
        flv.insert(flv.end(), {uint8_t(prev >> 24), uint8_t(prev >> 16), uint8_t(prev >> 8), uint8_t(prev)});
    };
    bool headerSent = false;
    int videoTags = 0;
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
    for (int i = 0; i < frames; ++i) {
        for (size_t k = 0; k < pixels.size(); ++k) pixels[k] = static_cast<uint8_t>(k * 7 + i * 5);
        std::vector<EncodedPacket> packets;
        enc->encode(pixels.data(), w * 4, i, packets);
        for (const auto& p : packets) {
            const uint32_t ms = static_cast<uint32_t>(p.time / 10000);
            if (!headerSent) {
                std::vector<uint8_t> avcC;
                ASSERT_TRUE(p.keyframe);
                ASSERT_TRUE(avcDecoderConfigFromAnnexB(p.data.data(), p.data.size(), avcC));
                tag(flvAvcSequenceHeaderTag(avcC), ms);
                headerSent = true;
            }
            tag(flvAvcNaluTag(annexBToAvcc(p.data.data(), p.data.size()), p.keyframe), ms);
            ++videoTags;
        }
    }
    enc->close();
    const auto file = e2e::dataDir("flv") / "x264.flv";
    writeFile(file, flv);
    EXPECT_EQ(e2e::decodeErrors(file), "");
    const auto streams = e2e::probe(file, "-count_frames -show_entries stream=codec_name,width,height,nb_read_frames");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_name"), "h264");
    EXPECT_EQ(streams[0].at("width"), std::to_string(w));
    EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(videoTags));
    EXPECT_EQ(videoTags, frames);
}
