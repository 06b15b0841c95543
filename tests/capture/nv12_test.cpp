// The vector NV12 conversions against the plain formula, byte for byte, at every instruction-set
// level. Built for both targets, so the Windows compiler's vector code is checked too.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "media/capture/camera_frames.h"
#include "media/simd.h"

namespace {

constexpr uint8_t kGuard = 0xCD;

// Converts with the fast and the plain code; the source buffer is exactly as large as the
// decoder's (so that a read past it shows under the address sanitizer) and guard bytes after the
// picture catch a write past it.
void expectSameAsReference(const std::vector<uint8_t>& nv12, int stride, int codedHeight,
                           int width, int height) {
    const size_t bytes = size_t(width) * size_t(height) * 4;
    std::vector<uint8_t> fast(bytes + 64, kGuard), plain(bytes);
    nv12ToBgra(nv12.data(), stride, codedHeight, width, height, fast.data());
    nv12ToBgraReference(nv12.data(), stride, codedHeight, width, height, plain.data());
    for (size_t i = bytes; i < fast.size(); ++i) ASSERT_EQ(fast[i], kGuard) << "written past";
    const size_t at = size_t(std::mismatch(plain.begin(), plain.end(), fast.begin()).first -
                             plain.begin());
    ASSERT_EQ(at, bytes) << "pixel (" << at / 4 % size_t(width) << ", " << at / 4 / size_t(width)
                         << ") byte " << at % 4 << ": " << int(fast[at]) << " for "
                         << int(plain[at]);
}

class Nv12Levels : public testing::Test {
protected:
    void TearDown() override { setSimdLimit(kSimdAvx2); }
};

TEST_F(Nv12Levels, MatchReferenceOverSizesStridesAndBothMatrices) {
    struct Case {
        int width, height, stride, codedHeight;
    };
    // Below 720 rows is one matrix, from 720 the other; widths on and off every vector step.
    std::vector<Case> cases = {{1920, 1080, 1920, 1088}, {1080, 1080, 1088, 1088},
                               {63, 719, 64, 720},       {17, 720, 18, 720},
                               {33, 721, 48, 722},       {1, 1, 2, 2},
                               {15, 2, 16, 2},           {16, 3, 16, 4},
                               {7, 720, 8, 720}};
    std::mt19937 rng(20261209);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    for (int i = 0; i < 60; ++i) {
        const int width = pick(1, 100), height = i % 4 == 0 ? pick(720, 724) : pick(1, 30);
        // Decoders give even strides and coded heights; the visible picture may be odd.
        cases.push_back({width, height, width + (width & 1) + 2 * pick(0, 8),
                         height + (height & 1) + 2 * pick(0, 3)});
    }
    for (int level : {kSimdAvx2, kSimdSse2, kSimdPlain}) {
        setSimdLimit(level);
        for (const Case& c : cases) {
            SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(c.width) + "x" +
                         std::to_string(c.height) + " in " + std::to_string(c.stride) + "x" +
                         std::to_string(c.codedHeight));
            std::vector<uint8_t> nv12(size_t(c.stride) * size_t(c.codedHeight) * 3 / 2);
            for (uint8_t& b : nv12) b = uint8_t(rng());
            expectSameAsReference(nv12, c.stride, c.codedHeight, c.width, c.height);
        }
    }
}

TEST_F(Nv12Levels, MatchReferenceForEveryLumaAndChromaTriple) {
    // Chroma pair p of chroma row r holds U = p and V = r % 256; in picture k the four luma bytes
    // around each pair are 4k..4k+3, so 64 pictures give every pair every luma byte. 718 rows
    // are converted with one matrix, 720 with the other.
    constexpr int kWidth = 512, kPictures = 64;
    for (int height : {718, 720}) {
        std::vector<uint8_t> nv12(size_t(kWidth) * size_t(height) * 3 / 2);
        uint8_t* uv = nv12.data() + size_t(kWidth) * size_t(height);
        for (int r = 0; r < height / 2; ++r)
            for (int p = 0; p < kWidth / 2; ++p) {
                uv[size_t(r) * kWidth + size_t(2 * p)] = uint8_t(p);
                uv[size_t(r) * kWidth + size_t(2 * p) + 1] = uint8_t(r);
            }
        for (int k = 0; k < kPictures; ++k) {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < kWidth; ++x)
                    nv12[size_t(y) * kWidth + size_t(x)] = uint8_t(4 * k + 2 * (y & 1) + (x & 1));
            for (int level : {kSimdAvx2, kSimdSse2}) {
                setSimdLimit(level);
                SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(height) +
                             " rows, luma from " + std::to_string(4 * k));
                expectSameAsReference(nv12, kWidth, height, kWidth, height);
            }
        }
    }
}

}  // namespace
