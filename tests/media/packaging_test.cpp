#include "media/packaging.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "media/simd.h"

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> v) {
    std::vector<uint8_t> out;
    for (int b : v) out.push_back(static_cast<uint8_t>(b));
    return out;
}

std::vector<std::vector<uint8_t>> units(const std::vector<uint8_t>& stream) {
    std::vector<std::vector<uint8_t>> out;
    for (const NalSpan& s : splitAnnexB(stream.data(), stream.size()))
        out.emplace_back(s.data, s.data + s.size);
    return out;
}

std::vector<uint8_t> randomFrame(int stride, int height, uint32_t seed) {
    std::vector<uint8_t> f(static_cast<size_t>(stride) * height);
    std::mt19937 rng(seed);
    for (auto& b : f) b = static_cast<uint8_t>(rng());
    return f;
}

}  // namespace

TEST(FitShortSide, ScalesDownToEvenSizesAndNeverUp) {
    int w = 0, h = 0;
    fitShortSide(1920, 1080, 720, w, h);
    EXPECT_EQ(w, 1280); EXPECT_EQ(h, 720);
    fitShortSide(1080, 1920, 720, w, h);
    EXPECT_EQ(w, 720); EXPECT_EQ(h, 1280);
    fitShortSide(1920, 1080, 1080, w, h);
    EXPECT_EQ(w, 1920); EXPECT_EQ(h, 1080);
    fitShortSide(1920, 1080, 0, w, h);
    EXPECT_EQ(w, 1920); EXPECT_EQ(h, 1080);
    fitShortSide(1920, 1080, 4000, w, h);
    EXPECT_EQ(w, 1920); EXPECT_EQ(h, 1080);
    fitShortSide(1366, 768, 480, w, h);
    EXPECT_EQ(w, 852); EXPECT_EQ(h, 480);
    fitShortSide(100000, 90000, 89999, w, h);  // products beyond 32 bits
    EXPECT_EQ(w, 99998); EXPECT_EQ(h, 89998);
}

TEST(SplitAnnexB, FindsUnitsAndTrimsZerosBetweenThem) {
    auto s = bytes({0, 0, 0, 1, 0x67, 1, 2, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 4, 0});
    auto u = units(s);
    ASSERT_EQ(u.size(), 3u);
    EXPECT_EQ(u[0], bytes({0x67, 1, 2}));
    EXPECT_EQ(u[1], bytes({0x68, 3}));
    EXPECT_EQ(u[2], bytes({0x65, 4, 0}));  // the last unit keeps its trailing zeros
}

TEST(SplitAnnexB, IgnoresLeadingBytesShortInputsAndEmptyUnits) {
    EXPECT_TRUE(units(bytes({0, 1})).empty());
    EXPECT_TRUE(units(bytes({0, 0, 1})).empty());
    EXPECT_TRUE(units(bytes({9, 9, 9, 9})).empty());
    auto u = units(bytes({7, 7, 0, 0, 1, 0, 0, 0, 1, 0x41, 9}));
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0], bytes({0x41, 9}));
    EXPECT_TRUE(splitAnnexB(nullptr, 10).empty());
}

TEST(AnnexBToAvcc, DropsParameterSetsAndDelimiters) {
    auto au = bytes({0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x41, 0xAA, 0xBB});
    EXPECT_EQ(annexBToAvcc(au.data(), au.size()), bytes({0, 0, 0, 3, 0x41, 0xAA, 0xBB}));
    auto key = bytes({0, 0, 1, 0x67, 0x64, 0, 0x1F, 0, 0, 1, 0x68, 0xEE, 0, 0, 1, 0x65, 1, 0, 0, 1, 0x65, 2});
    EXPECT_EQ(annexBToAvcc(key.data(), key.size()), bytes({0, 0, 0, 2, 0x65, 1, 0, 0, 0, 2, 0x65, 2}));
    auto only = bytes({0, 0, 1, 0x67, 1, 2, 3});
    EXPECT_TRUE(annexBToAvcc(only.data(), only.size()).empty());
}

TEST(AvcDecoderConfig, BuildsRecordFromFirstSpsAndPps) {
    auto s = bytes({0, 0, 0, 1, 0x67, 0x64, 0x00, 0x28, 0xAC, 0, 0, 1, 0x68, 0xEE, 0x3C, 0x80,
                    0, 0, 1, 0x67, 0x42, 0, 0, 0, 0, 0, 1, 0x65, 0x88});
    std::vector<uint8_t> c;
    ASSERT_TRUE(avcDecoderConfigFromAnnexB(s.data(), s.size(), c));
    EXPECT_EQ(c, bytes({1, 0x64, 0x00, 0x28, 0xFF, 0xE1, 0, 5, 0x67, 0x64, 0x00, 0x28, 0xAC, 1, 0, 4,
                        0x68, 0xEE, 0x3C, 0x80}));
}

TEST(AvcDecoderConfig, MissingOrShortParameterSetsLeaveOutputAlone) {
    std::vector<uint8_t> c = {42};
    auto noPps = bytes({0, 0, 1, 0x67, 0x64, 0, 0x28, 0, 0, 1, 0x65, 1});
    EXPECT_FALSE(avcDecoderConfigFromAnnexB(noPps.data(), noPps.size(), c));
    auto shortSps = bytes({0, 0, 1, 0x67, 0x64, 0, 0, 0, 1, 0x68, 1});
    EXPECT_FALSE(avcDecoderConfigFromAnnexB(shortSps.data(), shortSps.size(), c));
    EXPECT_EQ(c, bytes({42}));
}

TEST(AacAudioSpecificConfig, UsesFrequencyIndexAndChannels) {
    EXPECT_EQ(aacAudioSpecificConfig(48000, 2), bytes({0x11, 0x90}));
    EXPECT_EQ(aacAudioSpecificConfig(44100, 2), bytes({0x12, 0x10}));
    EXPECT_EQ(aacAudioSpecificConfig(12345, 2), bytes({0x12, 0x10}));
    EXPECT_EQ(aacAudioSpecificConfig(96000, 1), bytes({0x10, 0x08}));
    EXPECT_EQ(aacAudioSpecificConfig(7350, 2), bytes({0x16, 0x10}));
}

TEST(BgraToNv12, WhiteAndBlackBlocks) {
    std::vector<uint8_t> px = {255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255,
                               255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    std::vector<uint8_t> out(4 * 2 * 3 / 2);
    bgraToNv12(px.data(), 16, 4, 2, out.data());
    EXPECT_EQ(out, bytes({235, 235, 16, 16, 235, 235, 16, 16, 127, 128, 128, 128}));
}

TEST(BgraToNv12, PrimariesFollowTheFixedPointFormula) {
    // Pure red: Y = (47*255+128)>>8 + 16 = 63; U = (-26*255+128)>>8 + 128 = 102; V = (112*255+128)>>8 + 128 = 240.
    std::vector<uint8_t> red(2 * 2 * 4);
    for (int i = 0; i < 4; ++i) red[i * 4 + 2] = 255;
    std::vector<uint8_t> out(6);
    bgraToNv12(red.data(), 8, 2, 2, out.data());
    EXPECT_EQ(out, bytes({63, 63, 63, 63, 102, 240}));
}

TEST(BgraToNv12, FastPathMatchesReferenceAndStaysInsideBuffers) {
    for (int level : {2, 1, 0}) {
    setSimdLimit(level);
    const int sizes[][2] = {{2, 2}, {16, 2}, {30, 4}, {32, 2}, {34, 6}, {64, 8}, {66, 10},
                            {1, 1}, {3, 3}, {33, 5}, {65, 7}, {17, 1}, {1, 9}, {130, 66}};
    for (auto [w, h] : sizes) {
        for (int pad : {0, 12}) {
            const int stride = w * 4 + pad;
            // Exactly sized source: the last row ends at w * 4 bytes, so any overread shows up
            // under the address sanitizer.
            auto src = randomFrame(stride, h, static_cast<uint32_t>(w * 131 + h + pad));
            src.resize(static_cast<size_t>(stride) * (h - 1) + w * 4);
            const size_t n = static_cast<size_t>(w) * h * 3 / 2;
            std::vector<uint8_t> fast(n + 32, 0xCD), ref(n + 32, 0xCD);
            bgraToNv12(src.data(), stride, w, h, fast.data());
            bgraToNv12Reference(src.data(), stride, w, h, ref.data());
            EXPECT_EQ(fast, ref) << w << "x" << h << " pad " << pad;
            for (size_t i = n; i < n + 32; ++i) ASSERT_EQ(fast[i], 0xCD) << w << "x" << h;
        }
    }
    }
    setSimdLimit(2);
}

TEST(BgraToNv12, OddSizesGiveLumaEverywhereAndNeutralLoneChroma) {
    std::vector<uint8_t> white(3 * 3 * 4, 255);
    std::vector<uint8_t> out(3 * 3 * 3 / 2, 0);
    bgraToNv12(white.data(), 12, 3, 3, out.data());
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i], 235);
    EXPECT_EQ(out[9], 127);
    EXPECT_EQ(out[10], 128);
    EXPECT_EQ(out[11], 128);
}

TEST(ScaleBgraBilinear, SameSizeIsExactCopy) {
    const int w = 37, h = 11, stride = w * 4 + 8;
    auto src = randomFrame(stride, h, 7);
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    scaleBgraBilinear(src.data(), stride, w, h, out.data(), w, h);
    for (int y = 0; y < h; ++y)
        ASSERT_EQ(0, std::memcmp(out.data() + y * w * 4, src.data() + y * stride, w * 4)) << y;
}

TEST(ScaleBgraBilinear, HalvingAveragesPixelPairs) {
    // 4x1 -> 2x1: each output sits between two source pixels with weight 128 each.
    std::vector<uint8_t> src = {0, 10, 20, 30, 100, 110, 120, 130, 1, 2, 3, 4, 3, 4, 5, 6};
    std::vector<uint8_t> out(8);
    scaleBgraBilinear(src.data(), 16, 4, 1, out.data(), 2, 1);
    EXPECT_EQ(out, bytes({50, 60, 70, 80, 2, 3, 4, 5}));
}

TEST(ScaleBgraBilinear, FastPathMatchesReference) {
    for (int level : {2, 1, 0}) {
    setSimdLimit(level);
    const int cases[][4] = {{1920, 1080, 1280, 720}, {1080, 1920, 720, 1280}, {7, 5, 3, 2},
                            {3, 2, 7, 5},            {1, 1, 5, 3},            {640, 360, 641, 359},
                            {5, 9, 1, 1},            {33, 17, 32, 16},
                            {1920, 1080, 853, 479},  {2, 2, 1, 9},            {9, 1, 17, 3}};
    for (auto [sw, sh, dw, dh] : cases) {
        const int stride = sw * 4 + 4;
        auto src = randomFrame(stride, sh, static_cast<uint32_t>(sw + dw));
        src.resize(static_cast<size_t>(stride) * (sh - 1) + sw * 4);
        std::vector<uint8_t> fast(static_cast<size_t>(dw) * dh * 4 + 16, 0xCD);
        std::vector<uint8_t> ref = fast;
        scaleBgraBilinear(src.data(), stride, sw, sh, fast.data(), dw, dh);
        scaleBgraBilinearReference(src.data(), stride, sw, sh, ref.data(), dw, dh);
        EXPECT_EQ(fast, ref) << sw << "x" << sh << " -> " << dw << "x" << dh << " level " << level;
    }
    }
    setSimdLimit(2);
}
