#include "media/capture/camera_frames.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "media/simd.h"

namespace {

// Fixed-point coefficients (8 fractional bits) of the two limited-range conversions.
struct YuvMatrix {
    int bU, bOffset;           // B = (C + bU * U - bOffset) >> 8
    int gV, gVOffset;          // G = (C - (gV * V - gVOffset) - (gU * U - gUOffset) - 4640) >> 8
    int gU, gUOffset;
    int rV, rOffset;           // R = (C + rV * V - rOffset) >> 8
};
constexpr YuvMatrix kBt601{516, 70688, 208, 26624, 100, 12800, 409, 56992};
constexpr YuvMatrix kBt709{541, 73888, 136, 17408, 55, 7040, 459, 63392};
constexpr int kLumaScale = 298;
constexpr int kGreenBias = 4640;

inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline void convertPixel(const YuvMatrix& m, int y, int u, int v, uint8_t* out) {
    const int c = kLumaScale * y;
    out[0] = clampByte((c + m.bU * u - m.bOffset) >> 8);
    out[1] = clampByte((c - (m.gV * v - m.gVOffset) - (m.gU * u - m.gUOffset) - kGreenBias) >> 8);
    out[2] = clampByte((c + m.rV * v - m.rOffset) >> 8);
    out[3] = 255;
}

const YuvMatrix& matrixFor(int height) { return height < kHdRows ? kBt601 : kBt709; }

// Converts the two luma rows that share one chroma row (the same row twice for a lone last row)
// from column 0 for as many whole vector steps as fit in `width`; returns the columns done.
using RowPairKernel = int (*)(const uint8_t* top, const uint8_t* bottom, const uint8_t* uv,
                              int width, uint8_t* outTop, uint8_t* outBottom);

#if QH_X86
// Each channel of a matrix as (kLumaScale * Y + d) >> 8 with d = u * U + v * V + offset.
struct ChromaTerm {
    int u, v, offset;
    // The two weights as one 32-bit lane of 16-bit pairs for a multiply-add of U, V pairs.
    constexpr int weights() const { return int(uint32_t(v) << 16 | (uint32_t(u) & 0xFFFF)); }
};
struct ChromaTerms {
    ChromaTerm b, g, r;
};
constexpr ChromaTerms chromaTermsOf(const YuvMatrix& m) {
    return {{m.bU, 0, -m.bOffset},
            {-m.gU, -m.gV, m.gVOffset + m.gUOffset - kGreenBias},
            {0, m.rV, -m.rOffset}};
}
// kLumaScale * Y is even, so (kLumaScale * Y + d) >> 8 == (kHalfLuma * Y + (d >> 1)) >> 7, and
// splitting d >> 1 at bit 7 gives each channel before the clamp as
// (d >> 8) + ((kHalfLuma * Y + ((d & 255) >> 1)) >> 7). For every byte input the inner sum stays
// within 0..38122, an unsigned 16-bit lane, and the channel within -289..547: 16-bit lanes give
// the formula's result exactly, and the saturating pack to bytes is its clamp. d itself needs
// more than 16 bits; it is made in 32-bit lanes, once per chroma pair for both rows.
constexpr int kHalfLuma = kLumaScale / 2;
static_assert(kHalfLuma * 2 == kLumaScale);

// 16-bit lanes of the two register widths, for the lane arithmetic of the kernel.
typedef int16_t Int16x8 __attribute__((vector_size(16)));
typedef int16_t Int16x16 __attribute__((vector_size(32)));
typedef uint16_t UInt16x8 __attribute__((vector_size(16)));
typedef uint16_t UInt16x16 __attribute__((vector_size(32)));
template <class Vec>
struct ChromaSplit {
    Vec high, low;  // d >> 8 and (d & 255) >> 1 per pixel
};

namespace sse2 {
// Eight pixels per step, in order.
using Vec = Int16x8;
using UVec = UInt16x8;
constexpr int kStep = 8;
inline Vec widen(const uint8_t* p) {
    return Vec(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                 _mm_setzero_si128()));
}
inline __m128i packBytes(Vec a, Vec b) { return _mm_packus_epi16(__m128i(a), __m128i(b)); }
// The low half of each pair's 32-bit lane to both of its pixels' 16-bit lanes.
inline Vec spread(__m128i d) {
    return Vec(_mm_shufflehi_epi16(_mm_shufflelo_epi16(d, 0xA0), 0xA0));
}
inline ChromaSplit<Vec> split(Vec pairs, const ChromaTerm& c) {
    const __m128i d = _mm_add_epi32(_mm_madd_epi16(__m128i(pairs), _mm_set1_epi32(c.weights())),
                                    _mm_set1_epi32(c.offset));
    return {spread(_mm_srai_epi32(d, 8)), (spread(d) & 0xFF) >> 1};
}
inline __m128i lowBytes(__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); }
inline __m128i highBytes(__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); }
inline void store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
#include "media/capture/nv12_row_pair.inc"
}  // namespace sse2

#pragma GCC push_options
#pragma GCC target("avx2")
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
namespace avx2 {
// Sixteen pixels per step. Pixels 0-3 and 8-11 go to the low lane and 4-7 and 12-15 to the high
// one, luma and chroma alike, so that the in-lane byte interleaves leave pixels 0-7 and 8-15 in
// order without a lane-crossing shuffle.
using Vec = Int16x16;
using UVec = UInt16x16;
constexpr int kStep = 16;
inline Vec widen(const uint8_t* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return Vec(_mm256_cvtepu8_epi16(_mm_shuffle_epi32(bytes, 0xD8)));
}
inline __m256i packBytes(Vec a, Vec b) { return _mm256_packus_epi16(__m256i(a), __m256i(b)); }
// Bytes 1-2 of each pair's 32-bit d (d >> 8) and byte 0 (d & 255, then halved), to both of its
// pixels.
inline ChromaSplit<Vec> split(Vec pairs, const ChromaTerm& c) {
    const __m256i highOfD = _mm256_setr_epi8(1, 2, 1, 2, 5, 6, 5, 6, 9, 10, 9, 10, 13, 14, 13, 14,
                                             1, 2, 1, 2, 5, 6, 5, 6, 9, 10, 9, 10, 13, 14, 13, 14);
    const __m256i lowOfD = _mm256_setr_epi8(0, -1, 0, -1, 4, -1, 4, -1, 8, -1, 8, -1, 12, -1, 12,
                                            -1, 0, -1, 0, -1, 4, -1, 4, -1, 8, -1, 8, -1, 12, -1,
                                            12, -1);
    const __m256i weighted = _mm256_madd_epi16(__m256i(pairs), _mm256_set1_epi32(c.weights()));
    const __m256i d = _mm256_add_epi32(weighted, _mm256_set1_epi32(c.offset));
    return {Vec(_mm256_shuffle_epi8(d, highOfD)), Vec(_mm256_shuffle_epi8(d, lowOfD)) >> 1};
}
inline __m256i lowBytes(__m256i a, __m256i b) { return _mm256_unpacklo_epi8(a, b); }
inline __m256i highBytes(__m256i a, __m256i b) { return _mm256_unpackhi_epi8(a, b); }
inline void store(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
#include "media/capture/nv12_row_pair.inc"
}  // namespace avx2
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

RowPairKernel rowPairKernel(const YuvMatrix& m) {
#if QH_X86
    const bool hd = &m == &kBt709;
    const int level = simdLevel();
    if (level >= kSimdAvx2) return hd ? avx2::rowPair<kBt709> : avx2::rowPair<kBt601>;
    if (level >= kSimdSse2) return hd ? sse2::rowPair<kBt709> : sse2::rowPair<kBt601>;
#endif
    return nullptr;
}

}  // namespace

void nv12ToBgraReference(const uint8_t* nv12, int stride, int codedHeight, int width, int height,
                         uint8_t* out) {
    const YuvMatrix& m = matrixFor(height);
    const uint8_t* uv = nv12 + size_t(stride) * size_t(codedHeight);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = uv + size_t(y / 2) * size_t(stride) + size_t(x & ~1);
            convertPixel(m, nv12[size_t(y) * size_t(stride) + size_t(x)], c[0], c[1],
                         out + (size_t(y) * size_t(width) + size_t(x)) * 4);
        }
    }
}

void nv12ToBgra(const uint8_t* nv12, int stride, int codedHeight, int width, int height,
                uint8_t* out) {
    assert(width <= stride && height <= codedHeight);
    const YuvMatrix& m = matrixFor(height);
    const RowPairKernel kernel = rowPairKernel(m);
    const uint8_t* uvPlane = nv12 + size_t(stride) * size_t(codedHeight);
    for (int y = 0; y < height; y += 2) {
        const int below = std::min(y + 1, height - 1);
        const uint8_t* top = nv12 + size_t(y) * size_t(stride);
        const uint8_t* bottom = nv12 + size_t(below) * size_t(stride);
        const uint8_t* uv = uvPlane + size_t(y / 2) * size_t(stride);
        uint8_t* outTop = out + size_t(y) * size_t(width) * 4;
        uint8_t* outBottom = out + size_t(below) * size_t(width) * 4;
        int x = kernel ? kernel(top, bottom, uv, width, outTop, outBottom) : 0;
        for (; x < width; ++x) {
            const int u = uv[x & ~1], v = uv[x | 1];
            convertPixel(m, top[x], u, v, outTop + 4 * x);
            convertPixel(m, bottom[x], u, v, outBottom + 4 * x);
        }
    }
}

void rotateBgra(const uint8_t* src, int width, int height, int quarterTurns, std::vector<uint8_t>& dst,
                int& outWidth, int& outHeight) {
    const bool swap = quarterTurns == 1 || quarterTurns == 3;
    outWidth = swap ? height : width;
    outHeight = swap ? width : height;
    dst.resize(size_t(width) * size_t(height) * 4);
    if (quarterTurns < 1 || quarterTurns > 3) {
        if (!dst.empty()) std::memcpy(dst.data(), src, dst.size());
        return;
    }
    const auto* in = reinterpret_cast<const uint32_t*>(src);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int dx, dy;
            if (quarterTurns == 1) {
                dx = height - 1 - y, dy = x;
            } else if (quarterTurns == 2) {
                dx = width - 1 - x, dy = height - 1 - y;
            } else {
                dx = y, dy = width - 1 - x;
            }
            std::memcpy(&dst[(size_t(dy) * size_t(outWidth) + size_t(dx)) * 4], &in[size_t(y) * size_t(width) + size_t(x)], 4);
        }
    }
}

uint64_t cameraModeScore(const CameraMode& mode) {
    constexpr uint32_t kWidestCounted = 1920;
    constexpr uint32_t kSmoothRate = 24;
    constexpr uint64_t kSmoothBonus = uint64_t(1) << 40;
    const uint64_t fps = mode.fpsDenominator ? mode.fpsNumerator / mode.fpsDenominator : 0;
    const uint64_t area = mode.width <= kWidestCounted ? uint64_t(mode.width) * mode.height : 0;
    return area + (fps >= kSmoothRate ? kSmoothBonus : 0) + 1 + fps;
}

int chooseCameraMode(const std::vector<CameraMode>& modes) {
    int best = -1;
    uint64_t bestScore = 0;
    for (size_t i = 0; i < modes.size(); ++i) {
        const uint64_t score = cameraModeScore(modes[i]);
        if (best < 0 || score > bestScore) best = int(i), bestScore = score;
    }
    return best;
}

bool cameraBufferHolds(size_t size, int rows, int rowBytes, int pitch) {
    if (rows <= 0 || rowBytes <= 0) return false;
    const uint64_t step = uint64_t(pitch < 0 ? -int64_t(pitch) : int64_t(pitch));
    if (step < uint64_t(rowBytes)) return false;
    return step * uint64_t(rows - 1) + uint64_t(rowBytes) <= size;
}
