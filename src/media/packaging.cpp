#include "media/packaging.h"

#include <algorithm>
#include <iterator>

#include "media/simd.h"

namespace {

// The avcC record this writes: version 1, one SPS, one PPS, and NAL unit lengths of four bytes
// as annexBToAvcc writes them. Reserved bits are set, as the record requires.
constexpr uint8_t kAvcConfigurationVersion = 1;
constexpr int kAvccLengthSize = 4;
constexpr uint8_t kAvcLengthSizeMinusOne = 0xFC | (kAvccLengthSize - 1);
constexpr uint8_t kAvcOneSps = 0xE0 | 1;
constexpr uint8_t kAvcOnePps = 1;

// AudioSpecificConfig: five bits of object type, four of sampling frequency index, four of
// channel configuration.
constexpr int kAacObjectLowComplexity = 2;
constexpr int kAacSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                   22050, 16000, 12000, 11025, 8000,  7350};
constexpr int kAacRateIndex44100 = 4;

inline int lumaOf(const uint8_t* p) {
    return ((16 * p[0] + 157 * p[1] + 47 * p[2] + 128) >> 8) + 16;
}

// Arithmetic shifts of negative values are what the formula asks for; C++20 defines them.
inline uint8_t chromaU(int b, int g, int r) {
    return static_cast<uint8_t>(((112 * b - 87 * g - 26 * r + 128) >> 8) + 128);
}
inline uint8_t chromaV(int b, int g, int r) {
    return static_cast<uint8_t>(((112 * r - 102 * g - 10 * b + 128) >> 8) + 128);
}

// Luma of one row segment [x0, x1).
void lumaRow(const uint8_t* row, int x0, int x1, uint8_t* dst) {
    for (int x = x0; x < x1; ++x) dst[x] = static_cast<uint8_t>(lumaOf(row + x * 4));
}

// Luma of two rows and chroma of the 2 x 2 blocks whose left column is in [x0, x1) (x0 even).
void blockRows(const uint8_t* top, const uint8_t* bottom, int x0, int x1, uint8_t* yTop,
               uint8_t* yBottom, uint8_t* uv) {
    for (int x = x0; x < x1; x += 2) {
        const uint8_t* a = top + x * 4;
        const uint8_t* b = bottom + x * 4;
        yTop[x] = static_cast<uint8_t>(lumaOf(a));
        yTop[x + 1] = static_cast<uint8_t>(lumaOf(a + 4));
        yBottom[x] = static_cast<uint8_t>(lumaOf(b));
        yBottom[x + 1] = static_cast<uint8_t>(lumaOf(b + 4));
        const int bb = (a[0] + a[4] + b[0] + b[4] + 2) >> 2;
        const int gg = (a[1] + a[5] + b[1] + b[5] + 2) >> 2;
        const int rr = (a[2] + a[6] + b[2] + b[6] + 2) >> 2;
        uv[x] = chromaU(bb, gg, rr);
        uv[x + 1] = chromaV(bb, gg, rr);
    }
}

using BlockKernel = int (*)(const uint8_t* top, const uint8_t* bottom, int evenWidth, uint8_t* yTop,
                            uint8_t* yBottom, uint8_t* uv);

// Shared frame walk: the kernel converts as many whole blocks of a row pair as it can and
// returns where it stopped; the scalar code finishes the row and handles odd edges.
void convertNv12(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst,
                 BlockKernel kernel) {
    if (!src || !dst || width <= 0 || height <= 0) return;
    const int evenW = width & ~1;
    const int evenH = height & ~1;
    uint8_t* yPlane = dst;
    uint8_t* uvPlane = dst + static_cast<size_t>(width) * height;
    for (int y = 0; y < evenH; y += 2) {
        const uint8_t* top = src + static_cast<ptrdiff_t>(y) * srcStride;
        const uint8_t* bottom = top + srcStride;
        uint8_t* yTop = yPlane + static_cast<size_t>(y) * width;
        uint8_t* yBottom = yTop + width;
        uint8_t* uv = uvPlane + static_cast<size_t>(y / 2) * width;
        const int done = kernel ? kernel(top, bottom, evenW, yTop, yBottom, uv) : 0;
        blockRows(top, bottom, done, evenW, yTop, yBottom, uv);
        if (width & 1) {
            lumaRow(top, evenW, width, yTop);
            lumaRow(bottom, evenW, width, yBottom);
            uv[evenW] = 128;  // a lone column has no whole block: neutral chroma
        }
    }
    if (height & 1) {
        const int y = height - 1;
        lumaRow(src + static_cast<ptrdiff_t>(y) * srcStride, 0, width,
                yPlane + static_cast<size_t>(y) * width);
    }
}

#if QH_X86
// 16 pixels of two rows per step.
int blockKernelSse2(const uint8_t* top, const uint8_t* bottom, int evenWidth, uint8_t* yTop,
                    uint8_t* yBottom, uint8_t* uv) {
    const __m128i mask = _mm_set1_epi32(0xFF);
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i c157 = _mm_set1_epi16(157), c47 = _mm_set1_epi16(47);
    const __m128i c128 = _mm_set1_epi16(128), c16 = _mm_set1_epi16(16), c2 = _mm_set1_epi16(2);
    const __m128i c112 = _mm_set1_epi16(112), c87 = _mm_set1_epi16(87), c26 = _mm_set1_epi16(26);
    const __m128i c102 = _mm_set1_epi16(102), c10 = _mm_set1_epi16(10);
    struct Channels { __m128i b, g, r; };
    auto split = [&](const uint8_t* p) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        Channels c;
        c.b = _mm_packs_epi32(_mm_and_si128(p0, mask), _mm_and_si128(p1, mask));
        c.g = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 8), mask),
                              _mm_and_si128(_mm_srli_epi32(p1, 8), mask));
        c.r = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 16), mask),
                              _mm_and_si128(_mm_srli_epi32(p1, 16), mask));
        return c;
    };
    // The weighted sum stays below 65536, so 16-bit wrap-around arithmetic is exact.
    auto luma = [&](const Channels& c) {
        __m128i s = _mm_add_epi16(_mm_slli_epi16(c.b, 4), _mm_mullo_epi16(c.g, c157));
        s = _mm_add_epi16(s, _mm_add_epi16(_mm_mullo_epi16(c.r, c47), c128));
        return _mm_add_epi16(_mm_srli_epi16(s, 8), c16);
    };
    auto average = [&](__m128i t0, __m128i b0, __m128i t1, __m128i b1) {
        const __m128i s0 = _mm_madd_epi16(_mm_add_epi16(t0, b0), ones);
        const __m128i s1 = _mm_madd_epi16(_mm_add_epi16(t1, b1), ones);
        return _mm_srli_epi16(_mm_add_epi16(_mm_packs_epi32(s0, s1), c2), 2);
    };
    int x = 0;
    for (; x + 16 <= evenWidth; x += 16) {
        const Channels ta = split(top + x * 4), tb = split(top + x * 4 + 32);
        const Channels ba = split(bottom + x * 4), bb = split(bottom + x * 4 + 32);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(yTop + x), _mm_packus_epi16(luma(ta), luma(tb)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(yBottom + x),
                         _mm_packus_epi16(luma(ba), luma(bb)));
        const __m128i B = average(ta.b, ba.b, tb.b, bb.b);
        const __m128i G = average(ta.g, ba.g, tb.g, bb.g);
        const __m128i R = average(ta.r, ba.r, tb.r, bb.r);
        // Both chroma sums stay within +-28 816, inside signed 16 bits.
        __m128i u = _mm_sub_epi16(_mm_mullo_epi16(B, c112),
                                  _mm_add_epi16(_mm_mullo_epi16(G, c87), _mm_mullo_epi16(R, c26)));
        u = _mm_add_epi16(_mm_srai_epi16(_mm_add_epi16(u, c128), 8), c128);
        __m128i v = _mm_sub_epi16(_mm_mullo_epi16(R, c112),
                                  _mm_add_epi16(_mm_mullo_epi16(G, c102), _mm_mullo_epi16(B, c10)));
        v = _mm_add_epi16(_mm_srai_epi16(_mm_add_epi16(v, c128), 8), c128);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(uv + x), _mm_or_si128(u, _mm_slli_epi16(v, 8)));
    }
    return x;
}

#pragma GCC push_options
#pragma GCC target("avx2")
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
// 32 pixels of two rows per step.
// Luma: with the pixel bytes biased to signed (p - 128), one multiply-add of bytes gives
// 16 (B - 128) + 157 (G - 128) and 47 (R - 128) per pixel without saturation; the bias comes back
// in the final constant. Chroma: the bytes of neighbouring pixels are paired so that one
// multiply-add sums each channel over a pixel pair; adding the row below gives the block sums,
// which are rounded per channel before the U and V weights, exactly as the formula says.
// The in-lane packs scramble 32-bit groups; one permutation per store puts them back.
int blockKernelAvx2(const uint8_t* top, const uint8_t* bottom, int evenWidth, uint8_t* yTop,
                    uint8_t* yBottom, uint8_t* uv) {
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i coefY = _mm256_set1_epi32(0x002F9D10);  // bytes 16, 157, 47, 0
    const __m256i ones16 = _mm256_set1_epi16(1);
    const __m256i ones8 = _mm256_set1_epi8(1);
    // 28160 undoes the bias (128 * 220), 128 rounds and 4096 adds the offset 16 before the shift.
    const __m256i yOffset = _mm256_set1_epi16(32384);
    const __m256i c2 = _mm256_set1_epi16(2), c128 = _mm256_set1_epi16(128);
    const __m256i coefU = _mm256_setr_epi16(112, -87, -26, 0, 112, -87, -26, 0, 112, -87, -26, 0,
                                            112, -87, -26, 0);
    const __m256i coefV = _mm256_setr_epi16(-10, -102, 112, 0, -10, -102, 112, 0, -10, -102, 112,
                                            0, -10, -102, 112, 0);
    const __m256i pairBytes = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15,
                                               0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i uvBytes = _mm256_setr_epi8(0, 2, 1, 3, 4, 6, 5, 7, 8, 10, 9, 11, 12, 14, 13, 15,
                                             0, 2, 1, 3, 4, 6, 5, 7, 8, 10, 9, 11, 12, 14, 13, 15);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    auto load = [](const uint8_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    };
    auto lumaSums = [&](__m256i px) {
        return _mm256_madd_epi16(_mm256_maddubs_epi16(coefY, _mm256_xor_si256(px, bias)), ones16);
    };
    auto luma = [&](__m256i a, __m256i b) {
        const __m256i s = _mm256_packs_epi32(lumaSums(a), lumaSums(b));
        return _mm256_srli_epi16(_mm256_add_epi16(s, yOffset), 8);
    };
    auto pairSums = [&](__m256i px) {
        return _mm256_maddubs_epi16(_mm256_shuffle_epi8(px, pairBytes), ones8);
    };
    auto chroma = [&](__m256i t, __m256i b) {
        const __m256i avg = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_add_epi16(pairSums(t), pairSums(b)), c2), 2);
        return _mm256_hadd_epi32(_mm256_madd_epi16(avg, coefU), _mm256_madd_epi16(avg, coefV));
    };
    auto finish = [&](__m256i s) {
        return _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(s, c128), 8), c128);
    };
    int x = 0;
    for (; x + 32 <= evenWidth; x += 32) {
        const uint8_t* t = top + x * 4;
        const uint8_t* b = bottom + x * 4;
        const __m256i t0 = load(t), t1 = load(t + 32), t2 = load(t + 64), t3 = load(t + 96);
        const __m256i b0 = load(b), b1 = load(b + 32), b2 = load(b + 64), b3 = load(b + 96);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yTop + x),
                            _mm256_permutevar8x32_epi32(
                                _mm256_packus_epi16(luma(t0, t1), luma(t2, t3)), order));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yBottom + x),
                            _mm256_permutevar8x32_epi32(
                                _mm256_packus_epi16(luma(b0, b1), luma(b2, b3)), order));
        const __m256i q01 = finish(_mm256_packs_epi32(chroma(t0, b0), chroma(t1, b1)));
        const __m256i q23 = finish(_mm256_packs_epi32(chroma(t2, b2), chroma(t3, b3)));
        const __m256i packed = _mm256_shuffle_epi8(_mm256_packus_epi16(q01, q23), uvBytes);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(uv + x),
                            _mm256_permutevar8x32_epi32(packed, order));
    }
    return x;
}
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

BlockKernel nv12Kernel() {
#if QH_X86
    const int level = simdLevel();
    if (level >= kSimdAvx2) return blockKernelAvx2;
    if (level >= kSimdSse2) return blockKernelSse2;
#endif
    return nullptr;
}

// ---- scaling ----

struct Axis {
    int i0, i1, f;
};

// Sample positions along one axis: 8.8 fixed point at pixel centres, clamped at the start.
std::vector<Axis> axisTable(int srcSize, int dstSize) {
    std::vector<Axis> t(static_cast<size_t>(dstSize));
    for (int i = 0; i < dstSize; ++i) {
        int64_t s = (static_cast<int64_t>(i) * 256 + 128) * srcSize / dstSize - 128;
        if (s < 0) s = 0;
        const int i0 = static_cast<int>(s >> 8);
        t[static_cast<size_t>(i)] = {i0, i0 + 1 < srcSize ? i0 + 1 : i0, static_cast<int>(s & 255)};
    }
    return t;
}

// Scaling runs columns first, as the formula does: each source row that a destination row needs is
// blended horizontally once into 16-bit sums (at most 255 * 256), stored minus 32768 so that they
// fit signed 16-bit lanes; two such rows are then blended vertically with one 32-bit
// multiply-add per value. (a - 32768) w0 + (b - 32768) w1 + 32768 * 256 equals a w0 + b w1 because
// w0 + w1 = 256, so the results are the formula's to the byte.
constexpr int kVerticalBias = 32768 * 256 + 32768;

// Destination columns [begin, end) of one source row; every column in range has x1 = x0 + 1.
// weights: per column the pair (256 - fx, fx) four times.
void blendColumnsPlain(const uint8_t* row, const Axis* xs, int begin, int end, int16_t* out) {
    for (int j = begin; j < end; ++j) {
        const Axis& x = xs[j];
        for (int c = 0; c < 4; ++c) {
            const int v = row[x.i0 * 4 + c] * (256 - x.f) + row[x.i1 * 4 + c] * x.f;
            out[j * 4 + c] = static_cast<int16_t>(v - 32768);
        }
    }
}

void blendRowsPlain(const int16_t* a, const int16_t* b, int begin, int end, int fy, uint8_t* out) {
    for (int i = begin; i < end; ++i)
        out[i] = static_cast<uint8_t>((a[i] * (256 - fy) + b[i] * fy + kVerticalBias) >> 16);
}

#if QH_X86
int blendColumnsSse2(const uint8_t* row, const Axis* xs, const int16_t* weights, int end,
                     int16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi32(32768);
    auto one = [&](int j) {
        const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + xs[j].i0 * 4));
        const __m128i pairs = _mm_unpacklo_epi8(_mm_unpacklo_epi8(two, _mm_srli_si128(two, 4)), zero);
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + j * 8));
        return _mm_sub_epi32(_mm_madd_epi16(pairs, w), bias);
    };
    int j = 0;
    for (; j + 2 <= end; j += 2)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j * 4), _mm_packs_epi32(one(j), one(j + 1)));
    return j;
}

int blendRowsSse2(const int16_t* a, const int16_t* b, int end, int fy, uint8_t* out) {
    const __m128i w = _mm_set1_epi32(((fy & 0xFFFF) << 16) | (256 - fy));
    const __m128i k = _mm_set1_epi32(kVerticalBias);
    auto half = [&](__m128i lo, __m128i hi) {
        const __m128i r0 = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(lo, w), k), 16);
        const __m128i r1 = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(hi, w), k), 16);
        return _mm_packs_epi32(r0, r1);
    };
    int i = 0;
    for (; i + 16 <= end; i += 16) {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 8));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 8));
        const __m128i r0 = half(_mm_unpacklo_epi16(a0, b0), _mm_unpackhi_epi16(a0, b0));
        const __m128i r1 = half(_mm_unpacklo_epi16(a1, b1), _mm_unpackhi_epi16(a1, b1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(r0, r1));
    }
    return i;
}

#pragma GCC push_options
#pragma GCC target("avx2")
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
// Four destination columns per step. When the four source pairs lie within two 16-byte windows
// (a step of at most two source pixels between neighbours), each window is loaded once and a
// per-group byte shuffle lays out the channel pairs; otherwise each pair is loaded on its own.
struct ColumnGroup {
    int8_t bytes[32];    // shuffle of the windows at x0 of columns j and j + 2
    int16_t weights[32];  // columns j, j + 2, j + 1, j + 3, each (256 - fx, fx) four times
    bool window;
};

std::vector<ColumnGroup> columnGroups(const Axis* xs, int end, int srcWidth) {
    std::vector<ColumnGroup> groups(static_cast<size_t>(end / 4));
    for (size_t g = 0; g < groups.size(); ++g) {
        ColumnGroup& c = groups[g];
        const int j = static_cast<int>(g) * 4;
        const int d1 = xs[j + 1].i0 - xs[j].i0, d3 = xs[j + 3].i0 - xs[j + 2].i0;
        c.window = d1 <= 2 && d3 <= 2 && xs[j + 2].i0 + 4 <= srcWidth;
        const int offsets[4] = {0, d1, 0, d3};  // in pixels, lane order j, j + 1 | j + 2, j + 3
        for (int k = 0; k < 4; ++k)
            for (int ch = 0; ch < 4; ++ch) {
                c.bytes[k * 8 + ch * 2] = static_cast<int8_t>(4 * offsets[k] + ch);
                c.bytes[k * 8 + ch * 2 + 1] = static_cast<int8_t>(4 * offsets[k] + 4 + ch);
            }
        const int order[4] = {j, j + 2, j + 1, j + 3};
        for (int k = 0; k < 4; ++k)
            for (int ch = 0; ch < 4; ++ch) {
                c.weights[k * 8 + ch * 2] = static_cast<int16_t>(256 - xs[order[k]].f);
                c.weights[k * 8 + ch * 2 + 1] = static_cast<int16_t>(xs[order[k]].f);
            }
    }
    return groups;
}

int blendColumnsAvx2(const uint8_t* row, const Axis* xs, const ColumnGroup* groups, int end,
                     int16_t* out) {
    const __m128i pairBytes = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i bias = _mm256_set1_epi32(32768);
    const __m256i zero = _mm256_setzero_si256();
    auto load8 = [&](int j) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + xs[j].i0 * 4));
    };
    int j = 0;
    for (; j + 4 <= end; j += 4) {
        const ColumnGroup& g = groups[j / 4];
        __m256i lo, hi;  // channel pairs of columns j, j + 2 and of j + 1, j + 3
        if (g.window) {
            const __m256i w = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + xs[j].i0 * 4))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + xs[j + 2].i0 * 4)), 1);
            const __m256i pairs =
                _mm256_shuffle_epi8(w, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g.bytes)));
            lo = _mm256_unpacklo_epi8(pairs, zero);
            hi = _mm256_unpackhi_epi8(pairs, zero);
        } else {
            lo = _mm256_cvtepu8_epi16(_mm_shuffle_epi8(_mm_unpacklo_epi64(load8(j), load8(j + 2)), pairBytes));
            hi = _mm256_cvtepu8_epi16(_mm_shuffle_epi8(_mm_unpacklo_epi64(load8(j + 1), load8(j + 3)), pairBytes));
        }
        const __m256i a = _mm256_sub_epi32(
            _mm256_madd_epi16(lo, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g.weights))), bias);
        const __m256i b = _mm256_sub_epi32(
            _mm256_madd_epi16(hi, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g.weights + 16))), bias);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j * 4), _mm256_packs_epi32(a, b));
    }
    return j;
}

int blendRowsAvx2(const int16_t* a, const int16_t* b, int end, int fy, uint8_t* out) {
    const __m256i w = _mm256_set1_epi32(((fy & 0xFFFF) << 16) | (256 - fy));
    const __m256i k = _mm256_set1_epi32(kVerticalBias);
    auto sixteen = [&](const int16_t* pa, const int16_t* pb) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pa));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pb));
        const __m256i r0 = _mm256_srli_epi32(
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(va, vb), w), k), 16);
        const __m256i r1 = _mm256_srli_epi32(
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(va, vb), w), k), 16);
        return _mm256_packs_epi32(r0, r1);
    };
    int i = 0;
    for (; i + 32 <= end; i += 32) {
        const __m256i bytes = _mm256_packus_epi16(sixteen(a + i, b + i), sixteen(a + i + 16, b + i + 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute4x64_epi64(bytes, 0xD8));
    }
    return i;
}
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

}  // namespace

void bgraToNv12Reference(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst) {
    convertNv12(src, srcStride, width, height, dst, nullptr);
}

void bgraToNv12(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst) {
    convertNv12(src, srcStride, width, height, dst, nv12Kernel());
}

void scaleBgraBilinearReference(const uint8_t* src, int srcStride, int srcWidth, int srcHeight,
                                uint8_t* dst, int dstWidth, int dstHeight) {
    if (!src || !dst || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
    const std::vector<Axis> xs = axisTable(srcWidth, dstWidth);
    const std::vector<Axis> ys = axisTable(srcHeight, dstHeight);
    for (int i = 0; i < dstHeight; ++i) {
        const Axis& y = ys[static_cast<size_t>(i)];
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(y.i0) * srcStride;
        const uint8_t* r1 = src + static_cast<ptrdiff_t>(y.i1) * srcStride;
        uint8_t* out = dst + static_cast<size_t>(i) * dstWidth * 4;
        for (int j = 0; j < dstWidth; ++j) {
            const Axis& x = xs[static_cast<size_t>(j)];
            for (int c = 0; c < 4; ++c) {
                const uint32_t top = r0[x.i0 * 4 + c] * (256u - x.f) + r0[x.i1 * 4 + c] * uint32_t(x.f);
                const uint32_t bottom = r1[x.i0 * 4 + c] * (256u - x.f) + r1[x.i1 * 4 + c] * uint32_t(x.f);
                out[j * 4 + c] =
                    static_cast<uint8_t>((top * (256u - y.f) + bottom * uint32_t(y.f) + 32768) >> 16);
            }
        }
    }
}

void scaleBgraBilinear(const uint8_t* src, int srcStride, int srcWidth, int srcHeight,
                       uint8_t* dst, int dstWidth, int dstHeight) {
    if (!src || !dst || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
    const std::vector<Axis> xs = axisTable(srcWidth, dstWidth);
    const std::vector<Axis> ys = axisTable(srcHeight, dstHeight);
    std::vector<int16_t> weights(static_cast<size_t>(dstWidth) * 8);
    for (int j = 0; j < dstWidth; ++j) {
        for (int c = 0; c < 4; ++c) {
            weights[static_cast<size_t>(j) * 8 + c * 2] = static_cast<int16_t>(256 - xs[j].f);
            weights[static_cast<size_t>(j) * 8 + c * 2 + 1] = static_cast<int16_t>(xs[j].f);
        }
    }
    // The vector column blends read the pixel at x0 and its right neighbour in one load, so they
    // stop before the first column whose x0 is the last source pixel.
    int pairColumns = 0;
    while (pairColumns < dstWidth && xs[pairColumns].i0 + 1 < srcWidth) ++pairColumns;

#if QH_X86
    const int level = simdLevel();
    const bool avx2 = level >= kSimdAvx2;
    const bool sse2 = level >= kSimdSse2;
    const std::vector<ColumnGroup> groups =
        avx2 ? columnGroups(xs.data(), pairColumns, srcWidth) : std::vector<ColumnGroup>();
#endif
    auto blendColumns = [&](const uint8_t* row, int16_t* out) {
        int done = 0;
#if QH_X86
        if (avx2) done = blendColumnsAvx2(row, xs.data(), groups.data(), pairColumns, out);
        else if (sse2) done = blendColumnsSse2(row, xs.data(), weights.data(), pairColumns, out);
#endif
        blendColumnsPlain(row, xs.data(), done, dstWidth, out);
    };
    auto blendRows = [&](const int16_t* a, const int16_t* b, int fy, uint8_t* out) {
        const int n = dstWidth * 4;
        int done = 0;
#if QH_X86
        if (avx2) done = blendRowsAvx2(a, b, n, fy, out);
        else if (sse2) done = blendRowsSse2(a, b, n, fy, out);
#endif
        blendRowsPlain(a, b, done, n, fy, out);
    };

    // Two cached column-blended rows; consecutive destination rows mostly share source rows.
    const size_t rowValues = static_cast<size_t>(dstWidth) * 4;
    std::vector<int16_t> cache(rowValues * 2);
    int cachedRow[2] = {-1, -1};
    auto rowFor = [&](int y, int keep) -> const int16_t* {
        for (int k = 0; k < 2; ++k)
            if (cachedRow[k] == y) return cache.data() + rowValues * k;
        // Never evict the other row this destination row needs.
        const int k = cachedRow[0] == keep ? 1 : cachedRow[1] == keep ? 0 : cachedRow[0] < cachedRow[1] ? 0 : 1;
        cachedRow[k] = y;
        int16_t* out = cache.data() + rowValues * k;
        blendColumns(src + static_cast<ptrdiff_t>(y) * srcStride, out);
        return out;
    };
    for (int i = 0; i < dstHeight; ++i) {
        const Axis& y = ys[static_cast<size_t>(i)];
        const int16_t* top = rowFor(y.i0, -2);
        const int16_t* bottom = rowFor(y.i1, y.i0);
        blendRows(top, bottom, y.f, dst + static_cast<size_t>(i) * rowValues);
    }
}

void fitShortSide(int width, int height, int target, int& outWidth, int& outHeight) {
    const int s = std::min(width, height);
    if (target <= 0 || target >= s) {
        outWidth = width;
        outHeight = height;
        return;
    }
    outWidth = static_cast<int>((static_cast<int64_t>(width) * target / s)) & ~1;
    outHeight = static_cast<int>((static_cast<int64_t>(height) * target / s)) & ~1;
}

std::vector<NalSpan> splitAnnexB(const uint8_t* data, size_t size) {
    std::vector<NalSpan> spans;
    if (!data || size <= 2) return spans;
    size_t i = 0;
    bool inUnit = false;
    size_t start = 0;
    while (i + 3 <= size) {
        if (data[i + 2] > 1) {
            i += 3;
            continue;
        }
        if (data[i + 2] == 1 && data[i + 1] == 0 && data[i] == 0) {
            if (inUnit) {
                size_t end = i;
                while (end > start && data[end - 1] == 0) --end;
                if (end > start) spans.push_back({data + start, end - start});
            }
            inUnit = true;
            start = i + 3;
            i += 3;
            continue;
        }
        ++i;
    }
    if (inUnit && start < size) spans.push_back({data + start, size - start});
    return spans;
}

bool avcDecoderConfigFromAnnexB(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    const NalSpan* sps = nullptr;
    const NalSpan* pps = nullptr;
    const std::vector<NalSpan> units = splitAnnexB(data, size);
    for (const NalSpan& u : units) {
        const int type = nalType(u);
        if (type == kNalSps && !sps) sps = &u;
        if (type == kNalPps && !pps) pps = &u;
    }
    if (!sps || !pps || sps->size < 4 || sps->size > 0xFFFF || pps->size > 0xFFFF) return false;
    std::vector<uint8_t> c;
    c.reserve(11 + sps->size + pps->size);
    c.push_back(kAvcConfigurationVersion);
    c.push_back(sps->data[1]);
    c.push_back(sps->data[2]);
    c.push_back(sps->data[3]);
    c.push_back(kAvcLengthSizeMinusOne);
    c.push_back(kAvcOneSps);
    c.push_back(static_cast<uint8_t>(sps->size >> 8));
    c.push_back(static_cast<uint8_t>(sps->size));
    c.insert(c.end(), sps->data, sps->data + sps->size);
    c.push_back(kAvcOnePps);
    c.push_back(static_cast<uint8_t>(pps->size >> 8));
    c.push_back(static_cast<uint8_t>(pps->size));
    c.insert(c.end(), pps->data, pps->data + pps->size);
    out = std::move(c);
    return true;
}

std::vector<uint8_t> annexBToAvcc(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    const std::vector<NalSpan> units = splitAnnexB(data, size);
    size_t total = 0;
    for (const NalSpan& u : units) total += u.size + kAvccLengthSize;
    out.reserve(total);
    for (const NalSpan& u : units) {
        const int type = nalType(u);
        if (type == kNalSps || type == kNalPps || type == kNalAccessUnitDelimiter) continue;
        const uint32_t n = static_cast<uint32_t>(u.size);
        const uint8_t len[kAvccLengthSize] = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                                              static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        out.insert(out.end(), len, len + kAvccLengthSize);
        out.insert(out.end(), u.data, u.data + u.size);
    }
    return out;
}

std::vector<uint8_t> aacAudioSpecificConfig(int sampleRate, int channels) {
    int index = kAacRateIndex44100;
    for (int i = 0; i < static_cast<int>(std::size(kAacSampleRates)); ++i) {
        if (kAacSampleRates[i] == sampleRate) {
            index = i;
            break;
        }
    }
    return {static_cast<uint8_t>((kAacObjectLowComplexity << 3) | (index >> 1)),
            static_cast<uint8_t>(((index & 1) << 7) | (channels << 3))};
}
