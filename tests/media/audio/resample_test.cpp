#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "media/audio/resample.h"

namespace {

std::vector<int16_t> sineStereo(int rate, double hz, size_t frames, double amplitude = 12000.0) {
    std::vector<int16_t> s(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate));
        s[i * 2] = v;
        s[i * 2 + 1] = static_cast<int16_t>(-v);
    }
    return s;
}

// Frequency of the left channel from its rising zero crossings, interpolated.
double measuredFrequency(const std::vector<int16_t>& s, int rate) {
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (size_t i = 1; i < s.size() / 2; ++i) {
        const double a = s[(i - 1) * 2];
        const double b = s[i * 2];
        if (a < 0 && b >= 0) {
            const double t = (i - 1) + (-a) / (b - a);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return (crossings - 1) * rate / (last - first);
}

}  // namespace

TEST(Resample, EqualRatesAppendUnchanged) {
    ResamplerState st{48000, 48000, 0.0, {0, 0}};
    std::vector<int16_t> in{1, 2, 3, 4, 5, 6};
    std::vector<int16_t> out{9, 9};
    resampleStereo16(st, in.data(), 3, out);
    EXPECT_EQ(out, (std::vector<int16_t>{9, 9, 1, 2, 3, 4, 5, 6}));
    resampleStereo16(st, in.data(), 0, out);
    EXPECT_EQ(out.size(), 8u);
}

TEST(Resample, ChunkedEqualsOneShotAndKeepsFrequency) {
    const auto in = sineStereo(44100, 1000.0, 44100);
    ResamplerState whole{44100, 48000, 0.0, {0, 0}};
    std::vector<int16_t> oneShot;
    resampleStereo16(whole, in.data(), 44100, oneShot);

    // Packets of the odd sizes an endpoint delivers, including single frames.
    ResamplerState chunked{44100, 48000, 0.0, {0, 0}};
    std::vector<int16_t> pieces;
    const size_t sizes[] = {441, 1, 7, 480, 1024, 3};
    size_t at = 0;
    for (size_t k = 0; at < 44100; ++k) {
        const size_t n = std::min(sizes[k % 6], size_t{44100} - at);
        resampleStereo16(chunked, in.data() + at * 2, n, pieces);
        at += n;
    }
    ASSERT_EQ(pieces.size(), oneShot.size());
    for (size_t i = 0; i < oneShot.size(); ++i) ASSERT_NEAR(pieces[i], oneShot[i], 1) << "sample " << i;

    // About 48000 frames for one second, with no gap at packet boundaries.
    EXPECT_NEAR(static_cast<double>(pieces.size() / 2), 48000.0, 2.0);
    EXPECT_NEAR(measuredFrequency(pieces, 48000), 1000.0, 0.5);
    int maxJump = 0;
    for (size_t i = 1; i < pieces.size() / 2; ++i) {
        maxJump = std::max(maxJump, std::abs(pieces[i * 2] - pieces[(i - 1) * 2]));
    }
    EXPECT_LT(maxJump, 1700);  // 12000 * 2 pi * 1000 / 48000 = 1571 per sample at most
}

TEST(Resample, FirstOutputOfACallBlendsWithThePreviousLastFrame) {
    ResamplerState st{2, 1, 0.0, {0, 0}};  // step 2: every other frame
    std::vector<int16_t> out;
    const int16_t a[] = {10, 10, 20, 20, 30, 30};
    resampleStereo16(st, a, 3, out);
    EXPECT_EQ(out, (std::vector<int16_t>{10, 10}));  // position 0 only; 2 is not below 2
    EXPECT_DOUBLE_EQ(st.position, -1.0);
    EXPECT_EQ(st.last[0], 30);
    const int16_t b[] = {40, 40, 50, 50};
    resampleStereo16(st, b, 2, out);
    EXPECT_EQ(out, (std::vector<int16_t>{10, 10, 30, 30}));  // position -1 reads the kept frame
}

TEST(SampleConversion, MonoIsDoubledAndExtraChannelsIgnored) {
    const int16_t mono[] = {16384, -32768};
    std::vector<int16_t> out;
    CapturedPacket p{mono, 2, 1, false, false};
    const float peak = convertToStereo16(p, false, out);
    EXPECT_EQ(out, (std::vector<int16_t>{16384, 16384, -32767, -32767}));
    EXPECT_FLOAT_EQ(peak, 1.0f);

    const float six[] = {0.5f, -0.25f, 0.9f, 0.9f, 0.9f, 0.9f};
    CapturedPacket q{six, 1, 6, true, false};
    EXPECT_FLOAT_EQ(convertToStereo16(q, false, out), 0.5f);
    EXPECT_EQ(out, (std::vector<int16_t>{16384, -8192}));  // 16383.5 ties to even
}

TEST(SampleConversion, MutedAndSilentGiveZerosOfTheRightLength) {
    const float loud[] = {1.0f, 1.0f, -1.0f, -1.0f, 0.3f, 0.3f};
    std::vector<int16_t> out;
    CapturedPacket p{loud, 3, 2, true, false};
    EXPECT_EQ(convertToStereo16(p, true, out), 0.0f);
    EXPECT_EQ(out, std::vector<int16_t>(6, 0));
    p.silent = true;
    EXPECT_EQ(convertToStereo16(p, false, out), 0.0f);
    EXPECT_EQ(out.size(), 6u);
}

TEST(SampleConversion, ClampsAndRejectsNonFiniteFloats) {
    const float wild[] = {2.0f, -3.0f, NAN, INFINITY};
    std::vector<int16_t> out;
    CapturedPacket p{wild, 2, 2, true, false};
    convertToStereo16(p, false, out);
    EXPECT_EQ(out, (std::vector<int16_t>{32767, -32767, 0, 0}));
    EXPECT_EQ(floatToInt16(0.5f / 32767.0f), 0);  // 0.5 rounds to even
    EXPECT_EQ(floatToInt16(1.5f / 32767.0f), 2);
}
