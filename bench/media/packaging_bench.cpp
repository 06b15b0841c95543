// Side-by-side timing of the frame conversions against libyuv and libswscale on one machine.
#include "media/packaging.h"

extern "C" {
#include <libswscale/swscale.h>
#include <libavutil/pixfmt.h>
}
#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

double medianMs(const std::function<void()>& run, int reps) {
    run();  // warm caches and lazily built tables
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        const auto a = std::chrono::steady_clock::now();
        run();
        const auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// A smooth picture with fine noise, closer to camera content than pure noise.
std::vector<uint8_t> makeFrame(int w, int h) {
    std::vector<uint8_t> f(static_cast<size_t>(w) * h * 4);
    std::mt19937 rng(1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f[(static_cast<size_t>(y) * w + x) * 4];
            const int n = static_cast<int>(rng() % 17) - 8;
            p[0] = static_cast<uint8_t>(std::clamp(128 + int(100 * std::sin(x * 0.01)) + n, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(int(y * 255 / h) + n, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(int((x + y) * 255 / (w + h)) + n, 0, 255));
            p[3] = 255;
        }
    return f;
}

void row(const char* name, double ms, double yuv, double sws) {
    std::printf("  %-28s %8.3f ms   x libyuv %5.2f   libswscale/this %6.2f\n", name, ms, ms / yuv, sws / ms);
}

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
    const int W = 1920, H = 1080, DW = 1280, DH = 720;
    const std::vector<uint8_t> src = makeFrame(W, H);
    std::vector<uint8_t> nv12(static_cast<size_t>(W) * H * 3 / 2), ref(nv12.size());
    std::vector<uint8_t> scaled(static_cast<size_t>(DW) * DH * 4), scaledRef(scaled.size());

    bgraToNv12Reference(src.data(), W * 4, W, H, ref.data());
    scaleBgraBilinearReference(src.data(), W * 4, W, H, scaledRef.data(), DW, DH);

    std::printf("BGRA 1920x1080 -> NV12 (median of %d runs)\n", reps);
    const double yuvNv12 = medianMs([&] {
        libyuv::ARGBToNV12(src.data(), W * 4, nv12.data(), W, nv12.data() + W * H, W, W, H);
    }, reps);
    SwsContext* toNv12 = sws_getContext(W, H, AV_PIX_FMT_BGRA, W, H, AV_PIX_FMT_NV12, SWS_BILINEAR,
                                        nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(toNv12, sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    const double swsNv12 = medianMs([&] {
        const uint8_t* in[1] = {src.data()};
        const int inStride[1] = {W * 4};
        uint8_t* out[2] = {nv12.data(), nv12.data() + W * H};
        const int outStride[2] = {W, W};
        sws_scale(toNv12, in, inStride, 0, H, out, outStride);
    }, reps);
    std::printf("  %-28s %8.3f ms\n  %-28s %8.3f ms\n", "libyuv ARGBToNV12", yuvNv12,
                "libswscale", swsNv12);
    bool allSame = true;
    for (int level = 2; level >= 0; --level) {
        setPackagingSimdLimit(level);
        const double ms = medianMs([&] { bgraToNv12(src.data(), W * 4, W, H, nv12.data()); },
                                   level == 0 ? std::max(5, reps / 10) : reps);
        const bool same = nv12 == ref;
        allSame = allSame && same;
        char name[64];
        std::snprintf(name, sizeof name, "bgraToNv12 (%s)%s", level == 2 ? "best" : level == 1 ? "SSE2" : "plain",
                      same ? "" : " MISMATCH");
        row(name, ms, yuvNv12, swsNv12);
    }
    setPackagingSimdLimit(2);

    std::printf("BGRA 1920x1080 -> 1280x720 bilinear\n");
    const double yuvScale = medianMs([&] {
        libyuv::ARGBScale(src.data(), W * 4, W, H, scaled.data(), DW * 4, DW, DH, libyuv::kFilterBilinear);
    }, reps);
    SwsContext* scaler = sws_getContext(W, H, AV_PIX_FMT_BGRA, DW, DH, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                        nullptr, nullptr, nullptr);
    const double swsScale = medianMs([&] {
        const uint8_t* in[1] = {src.data()};
        const int inStride[1] = {W * 4};
        uint8_t* out[1] = {scaled.data()};
        const int outStride[1] = {DW * 4};
        sws_scale(scaler, in, inStride, 0, H, out, outStride);
    }, reps);
    std::printf("  %-28s %8.3f ms\n  %-28s %8.3f ms\n", "libyuv ARGBScale", yuvScale, "libswscale",
                swsScale);
    for (int level = 2; level >= 0; --level) {
        setPackagingSimdLimit(level);
        const double ms = medianMs([&] {
            scaleBgraBilinear(src.data(), W * 4, W, H, scaled.data(), DW, DH);
        }, level == 0 ? std::max(5, reps / 10) : reps);
        const bool same = scaled == scaledRef;
        allSame = allSame && same;
        char name[64];
        std::snprintf(name, sizeof name, "scaleBgraBilinear (%s)%s",
                      level == 2 ? "best" : level == 1 ? "SSE2" : "plain", same ? "" : " MISMATCH");
        row(name, ms, yuvScale, swsScale);
    }
    setPackagingSimdLimit(2);
    sws_freeContext(toNv12);
    sws_freeContext(scaler);
    std::printf("results byte-identical to the plain formula: %s\n", allSame ? "yes" : "NO");
    return allSame ? 0 : 1;
}
