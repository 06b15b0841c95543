#include "media/capture/camera_frames.h"

#include <algorithm>
#include <cassert>
#include <cstring>

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

void nv12ToBgra(const uint8_t* nv12, int stride, int codedHeight, int width, int height, uint8_t* out) {
    assert(width <= stride && height <= codedHeight);
    const YuvMatrix m = matrixFor(height);
    const uint8_t* uvPlane = nv12 + size_t(stride) * size_t(codedHeight);
    // The chroma terms are shared by each pair of pixels, so they are worked out once per pair.
    for (int y = 0; y < height; ++y) {
        const uint8_t* luma = nv12 + size_t(y) * size_t(stride);
        const uint8_t* uv = uvPlane + size_t(y / 2) * size_t(stride);
        uint8_t* o = out + size_t(y) * size_t(width) * 4;
        for (int x = 0; x < width; x += 2) {
            const int u = uv[x], v = uv[x + 1];
            const int db = m.bU * u - m.bOffset;
            const int dg = -(m.gV * v - m.gVOffset) - (m.gU * u - m.gUOffset) - kGreenBias;
            const int dr = m.rV * v - m.rOffset;
            const int pairEnd = std::min(x + 2, width);
            for (int px = x; px < pairEnd; ++px, o += 4) {
                const int c = kLumaScale * luma[px];
                o[0] = clampByte((c + db) >> 8);
                o[1] = clampByte((c + dg) >> 8);
                o[2] = clampByte((c + dr) >> 8);
                o[3] = 255;
            }
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
