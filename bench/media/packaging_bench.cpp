// Side-by-side timing of the frame conversions against libyuv and libswscale on one machine.
// Meaningful only from an optimised build without sanitizers, e.g.
//   cmake -G Ninja -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQH_SANITIZE=OFF
//   cmake --build build/bench --target media_bench && build/bench/bench/media/media_bench 300
#include "media/mf/encoder_transform.h"
#include "media/packaging.h"
#include "media/simd.h"

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

// Runs the contenders in turn, repetition by repetition, so that load from other processes falls
// on all of them alike; returns each one's median time in ms.
std::vector<double> interleavedMedians(const std::vector<std::function<void()>>& runs, int reps) {
    for (const auto& r : runs) r();  // warm caches and lazily built tables
    std::vector<std::vector<double>> t(runs.size());
    for (int i = 0; i < reps; ++i)
        for (size_t k = 0; k < runs.size(); ++k) {
            const auto a = std::chrono::steady_clock::now();
            runs[k]();
            const auto b = std::chrono::steady_clock::now();
            t[k].push_back(std::chrono::duration<double, std::milli>(b - a).count());
        }
    std::vector<double> medians;
    for (auto& v : t) {
        std::sort(v.begin(), v.end());
        medians.push_back(v[v.size() / 2]);
    }
    return medians;
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

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
    const int W = 1920, H = 1080, DW = 1280, DH = 720;
    const std::vector<uint8_t> src = makeFrame(W, H);
    std::vector<uint8_t> nv12(static_cast<size_t>(W) * H * 3 / 2), ref(nv12.size());
    std::vector<uint8_t> scaled(static_cast<size_t>(DW) * DH * 4), scaledRef(scaled.size());
    bgraToNv12Reference(src.data(), W * 4, W, H, ref.data());
    scaleBgraBilinearReference(src.data(), W * 4, W, H, scaledRef.data(), DW, DH);
    bool allSame = true;
    const char* levels[] = {"plain", "SSE2", "best"};

    SwsContext* toNv12 = sws_getContext(W, H, AV_PIX_FMT_BGRA, W, H, AV_PIX_FMT_NV12, SWS_BILINEAR,
                                        nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(toNv12, sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    SwsContext* scaler = sws_getContext(W, H, AV_PIX_FMT_BGRA, DW, DH, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                        nullptr, nullptr, nullptr);
    for (int level = 2; level >= 1; --level) {
        setSimdLimit(level);
        std::printf("\n[%s] BGRA 1920x1080 -> NV12, median of %d interleaved runs\n", levels[level], reps);
        auto m = interleavedMedians(
            {[&] { libyuv::ARGBToNV12(src.data(), W * 4, nv12.data(), W, nv12.data() + W * H, W, W, H); },
             [&] {
                 const uint8_t* in[1] = {src.data()};
                 const int inStride[1] = {W * 4};
                 uint8_t* out[2] = {nv12.data(), nv12.data() + W * H};
                 const int outStride[2] = {W, W};
                 sws_scale(toNv12, in, inStride, 0, H, out, outStride);
             },
             [&] { bgraToNv12(src.data(), W * 4, W, H, nv12.data()); }},
            reps);
        bool same = nv12 == ref;
        allSame = allSame && same;
        std::printf("  libyuv ARGBToNV12   %7.3f ms\n  libswscale          %7.3f ms\n", m[0], m[1]);
        std::printf("  bgraToNv12          %7.3f ms   %.2f x libyuv's time, %.1f x faster than libswscale%s\n",
                    m[2], m[2] / m[0], m[1] / m[2], same ? "" : "   MISMATCH");

        std::printf("[%s] BGRA 1920x1080 -> 1280x720 bilinear, median of %d interleaved runs\n", levels[level], reps);
        m = interleavedMedians(
            {[&] {
                 libyuv::ARGBScale(src.data(), W * 4, W, H, scaled.data(), DW * 4, DW, DH,
                                   libyuv::kFilterBilinear);
             },
             [&] {
                 const uint8_t* in[1] = {src.data()};
                 const int inStride[1] = {W * 4};
                 uint8_t* out[1] = {scaled.data()};
                 const int outStride[1] = {DW * 4};
                 sws_scale(scaler, in, inStride, 0, H, out, outStride);
             },
             [&] { scaleBgraBilinear(src.data(), W * 4, W, H, scaled.data(), DW, DH); }},
            reps);
        same = scaled == scaledRef;
        allSame = allSame && same;
        std::printf("  libyuv ARGBScale    %7.3f ms\n  libswscale          %7.3f ms\n", m[0], m[1]);
        std::printf("  scaleBgraBilinear   %7.3f ms   %.2f x libyuv's time, %.1f x faster than libswscale%s\n",
                    m[2], m[2] / m[0], m[1] / m[2], same ? "" : "   MISMATCH");
    }
    setSimdLimit(2);

    // What the video encoder pays per frame to hand a canvas to its transform: converting into a
    // scratch vector and copying that into the transform's sample, against converting straight
    // into the sample.
    const size_t nv12Size = nv12.size();
    const mf::MakeInputSample makeSample = mf::memorySamples();
    std::printf("\nBGRA 1920x1080 -> encoder input sample, median of %d interleaved runs\n", reps);
    auto m = interleavedMedians(
        {[&] {
             std::vector<uint8_t> scratch(nv12Size);
             bgraToNv12(src.data(), W * 4, W, H, scratch.data());
             auto s = makeSample(nv12Size, 0, [&](uint8_t* p) { std::memcpy(p, scratch.data(), nv12Size); }, 0, 0);
         },
         [&] {
             auto s = makeSample(nv12Size, 0, [&](uint8_t* p) { bgraToNv12(src.data(), W * 4, W, H, p); }, 0, 0);
         }},
        reps);
    std::printf("  via a scratch vector %7.3f ms\n  straight into it     %7.3f ms   %.3f ms a frame saved, "
                "%.1f ms a second for two canvases with backups at 30 fps\n",
                m[0], m[1], m[0] - m[1], (m[0] - m[1]) * 4 * 30);
    sws_freeContext(toNv12);
    sws_freeContext(scaler);
    std::printf("\nresults byte-identical to the plain formula: %s\n", allSame ? "yes" : "NO");
    return allSame ? 0 : 1;
}
