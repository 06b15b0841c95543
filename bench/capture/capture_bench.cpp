// Timing of the camera-thread pixel work on one machine. Meaningful only from an optimised build
// without sanitizers, e.g.
//   cmake -G Ninja -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQH_SANITIZE=OFF
//   cmake --build build/bench --target capture_bench && build/bench/bench/capture/capture_bench 200
#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "media/capture/camera_frames.h"
#include "media/capture/matting.h"
#include "media/simd.h"

namespace {

// Contenders run in turn, repetition by repetition, so that load from other processes falls on
// all of them alike; each one's median time in ms.
std::vector<double> medians(const std::vector<std::function<void()>>& runs, int reps) {
    for (const auto& r : runs) r();
    std::vector<std::vector<double>> t(runs.size());
    for (int i = 0; i < reps; ++i)
        for (size_t k = 0; k < runs.size(); ++k) {
            const auto a = std::chrono::steady_clock::now();
            runs[k]();
            t[k].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
        }
    std::vector<double> m;
    for (auto& v : t) {
        std::sort(v.begin(), v.end());
        m.push_back(v[v.size() / 2]);
    }
    return m;
}

// The matte as the plain arithmetic reads: positions worked out per pixel, no cached columns.
void plainMatte(const MattingModel& m, uint8_t* pixels, int width, int height) {
    const int w = m.config.width, h = m.config.height;
    for (int y = 0; y < height; ++y) {
        const float sy = std::clamp((y + 0.5f) * h / height - 0.5f, 0.0f, h - 1.001f);
        const int y0 = int(sy);
        for (int x = 0; x < width; ++x) {
            const float sx = std::clamp((x + 0.5f) * w / width - 0.5f, 0.0f, w - 1.001f);
            const int x0 = int(sx);
            auto at = [&](int r, int c) { return m.mask[size_t(r) * size_t(w) + size_t(c)]; };
            const float top = at(y0, x0) + (at(y0, x0 + 1) - at(y0, x0)) * (sx - x0);
            const float bottom = at(y0 + 1, x0) + (at(y0 + 1, x0 + 1) - at(y0 + 1, x0)) * (sx - x0);
            const float v = (top + (bottom - top) * (sy - y0)) * 1023.0f;
            pixels[(size_t(y) * size_t(width) + size_t(x)) * 4 + 3] = m.alphaTable[size_t(std::clamp(int(v), 0, 1023))];
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(5, std::atoi(argv[1])) : 100;

    const int W = 1920, H = 1080;
    std::vector<uint8_t> nv12(size_t(W) * H * 3 / 2);
    for (size_t i = 0; i < nv12.size(); ++i) nv12[i] = uint8_t(16 + (i * 2654435761u >> 24) % 220);
    std::vector<uint8_t> best(size_t(W) * H * 4), sse2(best.size()), plain(best.size());
    std::vector<uint8_t> yuv(best.size());
    // The processor's best level and SSE2 side by side; setSimdLimit is a plain store.
    const auto t = medians({[&] {
                                setSimdLimit(kSimdAvx2);
                                nv12ToBgra(nv12.data(), W, H, W, H, best.data());
                            },
                            [&] {
                                setSimdLimit(kSimdSse2);
                                nv12ToBgra(nv12.data(), W, H, W, H, sse2.data());
                            },
                            [&] { nv12ToBgraReference(nv12.data(), W, H, W, H, plain.data()); },
                            [&] {
                                libyuv::NV12ToARGBMatrix(nv12.data(), W, nv12.data() + size_t(W) * H, W, yuv.data(),
                                                         W * 4, &libyuv::kYuvH709Constants, W, H);
                            }},
                           reps);
    setSimdLimit(kSimdAvx2);
    std::printf("NV12 to BGRA, 1920x1080 (BT.709), median of %d:\n", reps);
    auto same = [&](const std::vector<uint8_t>& v) {
        return v == plain ? "same as plain" : "MISMATCH";
    };
    std::printf("  ours %.3f ms (best level, %s)   ours %.3f ms (SSE2, %s)   plain %.3f ms\n"
                "  libyuv %.3f ms   ours / libyuv = %.2f (best), %.2f (SSE2)\n",
                t[0], same(best), t[1], same(sse2), t[2], t[3], t[0] / t[3], t[1] / t[3]);

    // Both rows of the model table; the column map is built again in the first contender, as on a
    // frame whose width changed, and reused in the second, as on every other frame.
    const int FW = 1280, FH = 720;
    for (const MattingModelConfig& config : kMattingModels) {
        MattingModel model;
        model.config = config;
        const size_t cells = size_t(config.width) * size_t(config.height);
        model.mask.resize(cells);
        for (size_t i = 0; i < cells; ++i) model.mask[i] = float((i * 7919) % 1000) / 999.0f;
        buildAlphaTable(config.alphaLow, config.alphaHigh, model.alphaTable);
        std::vector<uint8_t> frame(size_t(FW) * FH * 4, 128), reference(frame.size(), 128);
        const auto m = medians({[&] {
                                    model.cachedWidth = 0;
                                    writeMatte(model, frame.data(), FW, FH);
                                },
                                [&] { writeMatte(model, frame.data(), FW, FH); },
                                [&] { plainMatte(model, reference.data(), FW, FH); }},
                               reps);
        int worst = 0;
        for (size_t i = 3; i < frame.size(); i += 4) {
            worst = std::max(worst, std::abs(int(frame[i]) - int(reference[i])));
        }
        std::printf("Matte of 1280x720 from the %dx%d grid, median of %d:\n", config.width, config.height,
                    reps);
        std::printf("  ours %.3f ms (column map built, %.2fx), %.3f ms (cached, %.2fx)"
                    "   plain %.3f ms   largest alpha difference %d\n",
                    m[0], m[2] / m[0], m[1], m[2] / m[1], m[2], worst);
    }
    return 0;
}
