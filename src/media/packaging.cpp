#include "media/packaging.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#define QH_X86 1
#include <immintrin.h>
#else
#define QH_X86 0
#endif

namespace {

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
// 32 pixels of two rows per step. The in-lane packs scramble the order by 32-bit groups; one
// permutation per store puts it back.
int blockKernelAvx2(const uint8_t* top, const uint8_t* bottom,
                                                    int evenWidth, uint8_t* yTop,
                                                    uint8_t* yBottom, uint8_t* uv) {
    const __m256i mask = _mm256_set1_epi32(0xFF);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i c157 = _mm256_set1_epi16(157), c47 = _mm256_set1_epi16(47);
    const __m256i c128 = _mm256_set1_epi16(128), c16 = _mm256_set1_epi16(16);
    const __m256i c2 = _mm256_set1_epi16(2);
    const __m256i c112 = _mm256_set1_epi16(112), c87 = _mm256_set1_epi16(87);
    const __m256i c26 = _mm256_set1_epi16(26), c102 = _mm256_set1_epi16(102);
    const __m256i c10 = _mm256_set1_epi16(10);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    struct Channels { __m256i b, g, r; };
    auto split = [&](const uint8_t* p) {
        const __m256i p0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i p1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        Channels c;
        c.b = _mm256_packs_epi32(_mm256_and_si256(p0, mask), _mm256_and_si256(p1, mask));
        c.g = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(p0, 8), mask),
                                 _mm256_and_si256(_mm256_srli_epi32(p1, 8), mask));
        c.r = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(p0, 16), mask),
                                 _mm256_and_si256(_mm256_srli_epi32(p1, 16), mask));
        return c;
    };
    auto luma = [&](const Channels& c) {
        __m256i s = _mm256_add_epi16(_mm256_slli_epi16(c.b, 4), _mm256_mullo_epi16(c.g, c157));
        s = _mm256_add_epi16(s, _mm256_add_epi16(_mm256_mullo_epi16(c.r, c47), c128));
        return _mm256_add_epi16(_mm256_srli_epi16(s, 8), c16);
    };
    auto average = [&](__m256i t0, __m256i b0, __m256i t1, __m256i b1) {
        const __m256i s0 = _mm256_madd_epi16(_mm256_add_epi16(t0, b0), ones);
        const __m256i s1 = _mm256_madd_epi16(_mm256_add_epi16(t1, b1), ones);
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_packs_epi32(s0, s1), c2), 2);
    };
    int x = 0;
    for (; x + 32 <= evenWidth; x += 32) {
        const Channels ta = split(top + x * 4), tb = split(top + x * 4 + 64);
        const Channels ba = split(bottom + x * 4), bb = split(bottom + x * 4 + 64);
        const __m256i yt = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(luma(ta), luma(tb)), order);
        const __m256i yb = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(luma(ba), luma(bb)), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yTop + x), yt);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yBottom + x), yb);
        const __m256i B = average(ta.b, ba.b, tb.b, bb.b);
        const __m256i G = average(ta.g, ba.g, tb.g, bb.g);
        const __m256i R = average(ta.r, ba.r, tb.r, bb.r);
        __m256i u = _mm256_sub_epi16(_mm256_mullo_epi16(B, c112),
                                     _mm256_add_epi16(_mm256_mullo_epi16(G, c87),
                                                      _mm256_mullo_epi16(R, c26)));
        u = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(u, c128), 8), c128);
        __m256i v = _mm256_sub_epi16(_mm256_mullo_epi16(R, c112),
                                     _mm256_add_epi16(_mm256_mullo_epi16(G, c102),
                                                      _mm256_mullo_epi16(B, c10)));
        v = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(v, c128), 8), c128);
        const __m256i packed = _mm256_or_si256(u, _mm256_slli_epi16(v, 8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(uv + x),
                            _mm256_permutevar8x32_epi32(packed, order));
    }
    return x;
}
#pragma GCC pop_options

bool haveAvx2() {
    static const bool yes = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return yes;
}
#endif

std::atomic<int> simdLimit{2};

BlockKernel nv12Kernel() {
#if QH_X86
    const int limit = simdLimit.load(std::memory_order_relaxed);
    if (limit >= 2 && haveAvx2()) return blockKernelAvx2;
    if (limit >= 1) return blockKernelSse2;
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

// Vertical blend of two source rows into 16-bit sums (exact: at most 255 * 256).
void blendRows(const uint8_t* a, const uint8_t* b, int count, int fy, uint16_t* out) {
    int i = 0;
#if QH_X86
    const __m128i wa = _mm_set1_epi16(static_cast<short>(256 - fy));
    const __m128i wb = _mm_set1_epi16(static_cast<short>(fy));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pa, zero), wa),
                                         _mm_mullo_epi16(_mm_unpacklo_epi8(pb, zero), wb));
        const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pa, zero), wa),
                                         _mm_mullo_epi16(_mm_unpackhi_epi8(pb, zero), wb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), hi);
    }
#endif
    for (; i < count; ++i) out[i] = static_cast<uint16_t>(a[i] * (256 - fy) + b[i] * fy);
}

// Horizontal blend of the 16-bit row into output bytes, with the final rounding.
void blendColumns(const uint16_t* row, const Axis* xs, const uint16_t* weightA,
                  const uint16_t* weightB, int dstWidth, uint8_t* out) {
    int j = 0;
#if QH_X86
    const __m128i round = _mm_set1_epi32(32768);
    for (; j + 2 <= dstWidth; j += 2) {
        const Axis& p = xs[j];
        const Axis& q = xs[j + 1];
        const __m128i a = _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + p.i0 * 4)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + q.i0 * 4)));
        const __m128i b = _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + p.i1 * 4)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + q.i1 * 4)));
        const __m128i wa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weightA + j * 4));
        const __m128i wb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weightB + j * 4));
        const __m128i alo = _mm_mullo_epi16(a, wa), ahi = _mm_mulhi_epu16(a, wa);
        const __m128i blo = _mm_mullo_epi16(b, wb), bhi = _mm_mulhi_epu16(b, wb);
        __m128i s0 = _mm_add_epi32(_mm_unpacklo_epi16(alo, ahi), _mm_unpacklo_epi16(blo, bhi));
        __m128i s1 = _mm_add_epi32(_mm_unpackhi_epi16(alo, ahi), _mm_unpackhi_epi16(blo, bhi));
        s0 = _mm_srli_epi32(_mm_add_epi32(s0, round), 16);
        s1 = _mm_srli_epi32(_mm_add_epi32(s1, round), 16);
        const __m128i w = _mm_packs_epi32(s0, s1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j * 4), _mm_packus_epi16(w, w));
    }
#else
    (void)weightA;
    (void)weightB;
#endif
    for (; j < dstWidth; ++j) {
        const Axis& x = xs[j];
        for (int c = 0; c < 4; ++c) {
            const uint32_t v = static_cast<uint32_t>(row[x.i0 * 4 + c]) * (256 - x.f) +
                               static_cast<uint32_t>(row[x.i1 * 4 + c]) * x.f;
            out[j * 4 + c] = static_cast<uint8_t>((v + 32768) >> 16);
        }
    }
}

}  // namespace

void bgraToNv12Reference(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst) {
    convertNv12(src, srcStride, width, height, dst, nullptr);
}

void bgraToNv12(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst) {
    convertNv12(src, srcStride, width, height, dst, nv12Kernel());
}

void setPackagingSimdLimit(int level) {
    simdLimit.store(level, std::memory_order_relaxed);
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

// Blending rows first and columns second gives the same integer sums as the column-first formula
// (there is no rounding in between), and lets the row pass run over contiguous bytes.
void scaleBgraBilinear(const uint8_t* src, int srcStride, int srcWidth, int srcHeight,
                       uint8_t* dst, int dstWidth, int dstHeight) {
    if (!src || !dst || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
    const std::vector<Axis> xs = axisTable(srcWidth, dstWidth);
    const std::vector<Axis> ys = axisTable(srcHeight, dstHeight);
    // Per destination column: the two weights, each repeated for the four channels.
    std::vector<uint16_t> weightA(static_cast<size_t>(dstWidth) * 4);
    std::vector<uint16_t> weightB(static_cast<size_t>(dstWidth) * 4);
    for (int j = 0; j < dstWidth; ++j) {
        for (int c = 0; c < 4; ++c) {
            weightA[static_cast<size_t>(j) * 4 + c] = static_cast<uint16_t>(256 - xs[j].f);
            weightB[static_cast<size_t>(j) * 4 + c] = static_cast<uint16_t>(xs[j].f);
        }
    }
    // The padding keeps the 8-byte loads of the last pixel inside the buffer.
    std::vector<uint16_t> row(static_cast<size_t>(srcWidth) * 4 + 8);
    for (int i = 0; i < dstHeight; ++i) {
        const Axis& y = ys[static_cast<size_t>(i)];
        blendRows(src + static_cast<ptrdiff_t>(y.i0) * srcStride,
                  src + static_cast<ptrdiff_t>(y.i1) * srcStride, srcWidth * 4, y.f, row.data());
        blendColumns(row.data(), xs.data(), weightA.data(), weightB.data(), dstWidth,
                     dst + static_cast<size_t>(i) * dstWidth * 4);
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
        const int type = u.data[0] & 0x1F;
        if (type == 7 && !sps) sps = &u;
        if (type == 8 && !pps) pps = &u;
    }
    if (!sps || !pps || sps->size < 4 || sps->size > 0xFFFF || pps->size > 0xFFFF) return false;
    std::vector<uint8_t> c;
    c.reserve(11 + sps->size + pps->size);
    c.push_back(0x01);
    c.push_back(sps->data[1]);
    c.push_back(sps->data[2]);
    c.push_back(sps->data[3]);
    c.push_back(0xFF);
    c.push_back(0xE1);
    c.push_back(static_cast<uint8_t>(sps->size >> 8));
    c.push_back(static_cast<uint8_t>(sps->size));
    c.insert(c.end(), sps->data, sps->data + sps->size);
    c.push_back(0x01);
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
    for (const NalSpan& u : units) total += u.size + 4;
    out.reserve(total);
    for (const NalSpan& u : units) {
        const int type = u.data[0] & 0x1F;
        if (type == 7 || type == 8 || type == 9) continue;
        const uint32_t n = static_cast<uint32_t>(u.size);
        const uint8_t len[4] = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                                static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        out.insert(out.end(), len, len + 4);
        out.insert(out.end(), u.data, u.data + u.size);
    }
    return out;
}

std::vector<uint8_t> aacAudioSpecificConfig(int sampleRate, int channels) {
    static const int rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                22050, 16000, 12000, 11025, 8000,  7350};
    int index = 4;
    for (int i = 0; i < 13; ++i) {
        if (rates[i] == sampleRate) {
            index = i;
            break;
        }
    }
    return {static_cast<uint8_t>(0x10 | (index >> 1)),
            static_cast<uint8_t>(((index & 1) << 7) | (channels << 3))};
}

std::vector<uint8_t> flvAvcSequenceHeaderTag(const std::vector<uint8_t>& avcC) {
    std::vector<uint8_t> out = {0x17, 0x00, 0x00, 0x00, 0x00};
    out.insert(out.end(), avcC.begin(), avcC.end());
    return out;
}

std::vector<uint8_t> flvAvcNaluTag(const std::vector<uint8_t>& nalus, bool keyframe) {
    std::vector<uint8_t> out = {static_cast<uint8_t>(keyframe ? 0x17 : 0x27), 0x01, 0x00, 0x00, 0x00};
    out.insert(out.end(), nalus.begin(), nalus.end());
    return out;
}
