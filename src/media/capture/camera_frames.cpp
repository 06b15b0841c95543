#include "media/capture/camera_frames.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
                uint8_t* out, std::vector<int>& chromaTerms) {
    assert(width <= stride && height <= codedHeight);
    const YuvMatrix m = matrixFor(height);
    const uint8_t* uvPlane = nv12 + size_t(stride) * size_t(codedHeight);
    // The chroma terms of a row pair are spread out per pixel once and shared by both rows; the
    // per-pixel loop is then plain enough for the compiler to vectorise.
    chromaTerms.resize(size_t(width) * 3);
    int* db = chromaTerms.data();
    int* dg = db + width;
    int* dr = dg + width;
    for (int y = 0; y < height; ++y) {
        if (y % 2 == 0) {
            const uint8_t* uv = uvPlane + size_t(y / 2) * size_t(stride);
            for (int x = 0; x < width; ++x) {
                const int u = uv[x & ~1], v = uv[x | 1];
                db[x] = m.bU * u - m.bOffset;
                dg[x] = -(m.gV * v - m.gVOffset) - (m.gU * u - m.gUOffset) - kGreenBias;
                dr[x] = m.rV * v - m.rOffset;
            }
        }
        const uint8_t* luma = nv12 + size_t(y) * size_t(stride);
        uint8_t* o = out + size_t(y) * size_t(width) * 4;
        int x = 0;
#if defined(__SSE2__)
        // Eight pixels at a time in 32-bit lanes; the two saturating packs do the clamping.
        const __m128i scale = _mm_set1_epi32(kLumaScale);
        const __m128i alpha = _mm_set1_epi8(char(255));
        const __m128i zero = _mm_setzero_si128();
        for (; x + 8 <= width; x += 8) {
            const __m128i y16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma + x)), zero);
            const __m128i c0 = _mm_madd_epi16(_mm_unpacklo_epi16(y16, zero), scale);
            const __m128i c1 = _mm_madd_epi16(_mm_unpackhi_epi16(y16, zero), scale);
            auto channel = [&](const int* d) {
                const __m128i lo = _mm_srai_epi32(_mm_add_epi32(c0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x))), 8);
                const __m128i hi = _mm_srai_epi32(_mm_add_epi32(c1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x + 4))), 8);
                return _mm_packus_epi16(_mm_packs_epi32(lo, hi), zero);
            };
            const __m128i bg = _mm_unpacklo_epi8(channel(db), channel(dg));
            const __m128i ra = _mm_unpacklo_epi8(channel(dr), alpha);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4 * x), _mm_unpacklo_epi16(bg, ra));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4 * x + 16), _mm_unpackhi_epi16(bg, ra));
        }
#endif
        for (; x < width; ++x) {
            const int c = kLumaScale * luma[x];
            o[4 * x + 0] = clampByte((c + db[x]) >> 8);
            o[4 * x + 1] = clampByte((c + dg[x]) >> 8);
            o[4 * x + 2] = clampByte((c + dr[x]) >> 8);
            o[4 * x + 3] = 255;
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
