// Background removal's own arithmetic on fake model outputs: the table, the sampling grid, the
// upscaling, the smoothing, which model row starts, and what the camera's hand-off makes of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "capture/heap_count.h"
#include "media/capture/camera_capture.h"
#include "media/capture/matting.h"

namespace {

class ConstRunner : public MattingRunner {
public:
    // Value and outcome are read at each evaluation, so a test can change what the model answers.
    ConstRunner(const float* value, const bool* ok, size_t count) : value(value), ok(ok), count(count) {}
    bool evaluate(const std::vector<float>&, std::vector<float>& out) override {
        out.assign(count, *value);
        return *ok;
    }
    const float* value;
    const bool* ok;
    size_t count;
};

class RowRuntime : public MattingRuntime {
public:
    std::unique_ptr<MattingRunner> start(const MattingModelConfig& config) override {
        tried.push_back(config.resourceId);
        if (config.resourceId != startable) return nullptr;
        return std::make_unique<ConstRunner>(&value, &ok, count ? count : size_t(config.width) * size_t(config.height));
    }
    int startable = 110;
    float value = 1.0f;
    bool ok = true;
    size_t count = 0;
    std::vector<int> tried;
};

TEST(Matting, AlphaTableShapesEachModelsBand) {
    AlphaTable cpu, gpu;
    buildAlphaTable(0.3f, 0.7f, cpu);
    buildAlphaTable(0.0f, 1.0f, gpu);
    EXPECT_EQ(cpu[size_t(0.3 * 1023)], 0);
    EXPECT_EQ(cpu[size_t(std::ceil(0.7 * 1023))], 255);
    EXPECT_EQ(cpu[1023], 255);
    EXPECT_EQ(cpu[512], 128);  // the band's middle
    EXPECT_EQ(gpu[0], 0);
    EXPECT_EQ(gpu[1023], 255);
    EXPECT_EQ(gpu[255], 40);  // a quarter of the way is 0.156 of the way up, not a straight 64
    for (int k = 1; k < kAlphaTableSize; ++k) {
        EXPECT_GE(cpu[size_t(k)], cpu[size_t(k - 1)]);
        EXPECT_GE(gpu[size_t(k)], gpu[size_t(k - 1)]);
    }
}

TEST(Matting, SamplesThePixelUnderEachCellCentre) {
    // Each pixel carries its own column and row, so the input says which pixel was sampled.
    const int W = 1280, H = 720;
    std::vector<uint8_t> frame(size_t(W) * H * 4);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t* p = &frame[(size_t(y) * W + size_t(x)) * 4];
            p[2] = uint8_t(x % 256), p[1] = uint8_t(y % 256), p[0] = uint8_t(x / 256 * 16 + y / 256);
        }
    struct Case {
        MattingModelConfig config;
        int cellRow, cellColumn, pixelRow, pixelColumn;
    } cases[] = {
        {kMattingModels[0], 0, 0, 1, 1},        // 720 * 1 / 576 = 1, 1280 * 1 / 1024 = 1
        {kMattingModels[0], 287, 511, 718, 1278},
        {kMattingModels[1], 0, 0, 2, 2},
        {kMattingModels[1], 100, 200, 502, 1002},
    };
    for (const Case& c : cases) {
        std::vector<float> input;
        sampleMattingInput(frame.data(), W, H, c.config, input);
        const size_t plane = size_t(c.config.width) * size_t(c.config.height);
        const size_t at = size_t(c.cellRow) * size_t(c.config.width) + size_t(c.cellColumn);
        const float scale = c.config.signedInput ? 2.0f / 255.0f : 1.0f / 255.0f;
        const float offset = c.config.signedInput ? -1.0f : 0.0f;
        const uint8_t* p = &frame[(size_t(c.pixelRow) * W + size_t(c.pixelColumn)) * 4];
        EXPECT_FLOAT_EQ(input[at], p[2] * scale + offset) << c.cellRow << "," << c.cellColumn;
        EXPECT_FLOAT_EQ(input[plane + at], p[1] * scale + offset);
        EXPECT_FLOAT_EQ(input[2 * plane + at], p[0] * scale + offset);
    }
}

TEST(Matting, UpscaledMatteMatchesAPlainBilinearReading) {
    MattingModel m;
    m.config = kMattingModels[0];
    const int w = m.config.width, h = m.config.height;
    m.mask.resize(size_t(w) * size_t(h));
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) m.mask[size_t(i) * size_t(w) + size_t(j)] = float((i * 13 + j * 7) % 100) / 99.0f;
    buildAlphaTable(m.config.alphaLow, m.config.alphaHigh, m.alphaTable);
    for (int W : {1280, 333}) {
        const int H = W * 9 / 16;
        std::vector<uint8_t> frame(size_t(W) * size_t(H) * 4, 77);
        writeMatte(m, frame.data(), W, H);  // the second width needs a new column map
        for (int y = 0; y < H; y += 37) {
            for (int x = 0; x < W; x += 29) {
                const double sx = std::clamp((x + 0.5) * w / W - 0.5, 0.0, w - 1.001);
                const double sy = std::clamp((y + 0.5) * h / H - 0.5, 0.0, h - 1.001);
                const int x0 = int(sx), y0 = int(sy);
                auto at = [&](int r, int c) { return double(m.mask[size_t(r) * size_t(w) + size_t(c)]); };
                const double top = at(y0, x0) + (at(y0, x0 + 1) - at(y0, x0)) * (sx - x0);
                const double bottom = at(y0 + 1, x0) + (at(y0 + 1, x0 + 1) - at(y0 + 1, x0)) * (sx - x0);
                const double v = (top + (bottom - top) * (sy - y0)) * 1023;
                const uint8_t* p = &frame[(size_t(y) * size_t(W) + size_t(x)) * 4];
                const int k = int(v);
                // One step of the table either way absorbs the float rounding of the fast path.
                EXPECT_GE(p[3], m.alphaTable[size_t(std::max(k - 1, 0))]) << x << "," << y;
                EXPECT_LE(p[3], m.alphaTable[size_t(std::min(k + 1, 1023))]) << x << "," << y;
                EXPECT_EQ(p[0], 77);
                EXPECT_EQ(p[2], 77);
            }
        }
    }
}

TEST(BackgroundRemover, TriesRowsInOrderAndNeverRetriesAFailure) {
    auto runtime = std::make_unique<RowRuntime>();
    RowRuntime* rows = runtime.get();
    rows->value = 0.3f;
    BackgroundRemover remover(std::move(runtime));
    ASSERT_TRUE(remover.ensureReady());
    EXPECT_EQ(rows->tried, (std::vector<int>{111, 110}));  // no GPU model: the CPU one runs
    std::vector<uint8_t> frame(size_t(640) * 360 * 4, 200);
    ASSERT_TRUE(remover.apply(frame.data(), 640, 360));
    for (size_t i = 3; i < frame.size(); i += 4) ASSERT_EQ(frame[i], 0);  // 0.3 and below: background
    rows->value = 0.7f;
    // The mask starts as the first answer and then averages each answer with itself so far:
    // 0.5 * 0.7 + 0.5 * 0.3 = 0.5, then 0.6, ... converging up to 0.7 and 255. A mask that started
    // anywhere else, or weighed the two otherwise, is far from half way on the first frame.
    std::vector<uint8_t> alphas;
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(remover.apply(frame.data(), 640, 360));
        alphas.push_back(frame[3]);
    }
    EXPECT_NEAR(alphas.front(), 128, 2);  // half way through the band
    EXPECT_EQ(alphas.back(), 255);
    // A failure after good frames must leave the picture as the camera gave it, not the last mask.
    rows->ok = false;
    std::fill(frame.begin(), frame.end(), uint8_t(200));
    EXPECT_FALSE(remover.apply(frame.data(), 640, 360));
    EXPECT_EQ(std::count(frame.begin(), frame.end(), uint8_t(200)), std::ptrdiff_t(frame.size()));

    auto none = std::make_unique<RowRuntime>();
    none->startable = 0;
    RowRuntime* noRows = none.get();
    BackgroundRemover failed(std::move(none));
    EXPECT_FALSE(failed.ensureReady());
    EXPECT_EQ(failed.error(), "Background removal needs Windows ML, which could not start");
    EXPECT_FALSE(failed.ensureReady());
    EXPECT_EQ(noRows->tried.size(), 2u);  // the second call tried nothing
    EXPECT_FALSE(failed.apply(frame.data(), 640, 360));
}

// The camera's hand-off with removal off, running, failing to evaluate, answered too short, and
// unable to start: alpha only when the removal ran, every byte as the camera gave it otherwise,
// and no heap allocation once warm (a failing start sets its text again on every frame).
TEST(BackgroundRemover, HandOffMarksAlphaOnlyWhenRemovalRanAndAllocatesNothingOnceWarm) {
    constexpr int kWidth = 64, kHeight = 36;
    constexpr size_t kBytes = size_t(kWidth) * kHeight * 4;
    struct Case {
        bool removal;
        int startable;
        bool ok;
        size_t count;  // of the model's answer; 0 for its whole grid
        bool alpha;
        const char* status;
    } cases[] = {
        {false, 110, true, 0, false, kCameraStartingText},
        {true, 110, true, 0, true, kCameraStartingText},
        {true, 110, false, 0, false, kCameraStartingText},
        {true, 110, true, 10, false, kCameraStartingText},
        {true, 0, true, 0, false, "Background removal needs Windows ML, which could not start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        CameraCapture capture;
        capture.makeMattingRuntime = [&c] {
            auto runtime = std::make_unique<RowRuntime>();
            runtime->startable = c.startable;
            runtime->ok = c.ok;
            runtime->count = c.count;
            return runtime;
        };
        capture.removeBackground = c.removal;
        capture.front.assign(kBytes, 7);
        for (int frame = 0; frame < 3; ++frame) {
            capture.back.assign(kBytes, 7);
            const size_t before = heapAllocations();
            handOffCameraFrame(capture, kWidth, kHeight);
            if (frame == 2) {
                EXPECT_EQ(heapAllocations() - before, 0u) << "warm";
            }
        }
        EXPECT_EQ(capture.hasAlpha, c.alpha);
        EXPECT_EQ(capture.status, c.status);
        for (size_t i = 0; i < kBytes; ++i) ASSERT_EQ(capture.front[i], c.alpha && i % 4 == 3 ? 255 : 7) << i;
        // Turning removal off returns to opaque frames.
        capture.removeBackground = false;
        handOffCameraFrame(capture, kWidth, kHeight);
        EXPECT_FALSE(capture.hasAlpha);
    }
}

}  // namespace
