#include "media/capture/matting.h"

#include <algorithm>
#include <cassert>
#include <cmath>

// Row 1: the GPU model on a 512 x 288 grid, full band. Row 2: the CPU model on 256 x 144 with its
// soft 0.3..0.7 band made into a firm edge.
const MattingModelConfig kMattingModels[kMattingModelCount] = {
    {111, 512, 288, 1, 3, 0.0f, 1.0f},
    {110, 256, 144, 0, 1, 0.3f, 0.7f},
};

namespace {
constexpr char kNoMattingText[] = "Background removal needs Windows ML, which could not start";
constexpr float kLastIndex = float(kAlphaTableSize - 1);
}  // namespace

BackgroundRemover::BackgroundRemover(std::unique_ptr<MattingRuntime> runtime) : runtime_(std::move(runtime)) {}
BackgroundRemover::~BackgroundRemover() = default;

void buildAlphaTable(float alphaLow, float alphaHigh, AlphaTable& table) {
    for (int k = 0; k < kAlphaTableSize; ++k) {
        float t = (float(k) / kLastIndex - alphaLow) / (alphaHigh - alphaLow);
        t = std::clamp(t, 0.0f, 1.0f);
        table[size_t(k)] = uint8_t(std::trunc((3.0f - 2.0f * t) * t * t * 255.0f + 0.5f));
    }
}

bool BackgroundRemover::ensureReady() {
    if (model_) return true;
    if (tried_) return false;
    tried_ = true;
    for (const MattingModelConfig& config : kMattingModels) {
        std::unique_ptr<MattingRunner> runner = runtime_ ? runtime_->start(config) : nullptr;
        if (!runner) continue;
        auto model = std::make_unique<MattingModel>();
        model->config = config;
        model->runner = std::move(runner);
        const size_t cells = size_t(config.width) * size_t(config.height);
        model->input.resize(3 * cells);
        model->output.resize(cells);
        model->row.resize(size_t(config.width));
        buildAlphaTable(config.alphaLow, config.alphaHigh, model->alphaTable);
        model_ = std::move(model);
        return true;
    }
    error_ = kNoMattingText;
    return false;
}

void sampleMattingInput(const uint8_t* pixels, int width, int height, const MattingModelConfig& config,
                        std::vector<float>& input) {
    const int w = config.width, h = config.height;
    const float scale = config.signedInput ? 2.0f / 255.0f : 1.0f / 255.0f;
    const float offset = config.signedInput ? -1.0f : 0.0f;
    const size_t plane = size_t(w) * size_t(h);
    input.resize(3 * plane);
    for (int i = 0; i < h; ++i) {
        const int64_t sy = int64_t(height) * (2 * i + 1) / (2 * int64_t(h));
        const uint8_t* src = pixels + size_t(sy) * size_t(width) * 4;
        float* r = input.data() + size_t(i) * size_t(w);
        for (int j = 0; j < w; ++j) {
            const int64_t sx = int64_t(width) * (2 * j + 1) / (2 * int64_t(w));
            const uint8_t* p = src + size_t(sx) * 4;
            r[j] = p[2] * scale + offset;
            r[plane + size_t(j)] = p[1] * scale + offset;
            r[2 * plane + size_t(j)] = p[0] * scale + offset;
        }
    }
}

void smoothMattingMask(const std::vector<float>& output, std::vector<float>& mask) {
    if (mask.size() != output.size()) mask = output;
    for (size_t k = 0; k < mask.size(); ++k) mask[k] = 0.5f * output[k] + 0.5f * mask[k];
}

void writeMatte(MattingModel& m, uint8_t* pixels, int width, int height) {
    const int w = m.config.width, h = m.config.height;
    assert(m.mask.size() == size_t(w) * size_t(h));
    if (width != m.cachedWidth) {
        m.columnIndex.resize(size_t(width));
        m.columnWeight.resize(size_t(width));
        for (int x = 0; x < width; ++x) {
            float sx = (float(x) + 0.5f) * float(w) / float(width) - 0.5f;
            sx = std::clamp(sx, 0.0f, float(w) - 1.001f);
            m.columnIndex[size_t(x)] = int(sx);
            m.columnWeight[size_t(x)] = sx - std::trunc(sx);
        }
        m.cachedWidth = width;
    }
    m.row.resize(size_t(w));
    const int* index = m.columnIndex.data();
    const float* weight = m.columnWeight.data();
    for (int y = 0; y < height; ++y) {
        float sy = (float(y) + 0.5f) * float(h) / float(height) - 0.5f;
        sy = std::clamp(sy, 0.0f, float(h) - 1.001f);
        const int y0 = int(sy);
        const float fy = sy - float(y0);
        const float* top = m.mask.data() + size_t(y0) * size_t(w);
        const float* bottom = top + w;
        for (int c = 0; c < w; ++c) m.row[size_t(c)] = (top[c] + (bottom[c] - top[c]) * fy) * kLastIndex;
        const float* row = m.row.data();
        uint8_t* alpha = pixels + size_t(y) * size_t(width) * 4 + 3;
        for (int x = 0; x < width; ++x, alpha += 4) {
            const int i = index[x];
            const float v = row[i] + (row[i + 1] - row[i]) * weight[x];
            // Written so that a NaN from the model reads as background.
            const int k = v > 0.0f ? (v < kLastIndex ? int(v) : kAlphaTableSize - 1) : 0;
            *alpha = m.alphaTable[size_t(k)];
        }
    }
}

bool BackgroundRemover::apply(uint8_t* pixels, int width, int height) {
    if (!model_ || !pixels || width <= 0 || height <= 0) return false;
    MattingModel& m = *model_;
    const size_t cells = size_t(m.config.width) * size_t(m.config.height);
    sampleMattingInput(pixels, width, height, m.config, m.input);
    if (!m.runner->evaluate(m.input, m.output) || m.output.size() < cells) return false;
    m.output.resize(cells);
    smoothMattingMask(m.output, m.mask);
    writeMatte(m, pixels, width, height);
    return true;
}
