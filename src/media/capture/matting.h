// Background removal: a small matting model's alpha grid, upscaled to the camera frame and shaped
// into its alpha bytes. The model itself runs behind MattingRuntime (Windows ML on Windows, none
// elsewhere), so the sampling, smoothing and shaping here run the same with a fake model.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One row of the table of models tried in order.
struct MattingModelConfig {
    int32_t resourceId = 0;
    int32_t width = 0, height = 0;  // the model's input grid
    int32_t signedInput = 0;        // 1: inputs scaled to -1..1, 0: 0..1
    int32_t deviceKind = 0;         // a LearningModelDeviceKind
    float alphaLow = 0.0f, alphaHigh = 1.0f;
};

constexpr int kMattingModelCount = 2;
extern const MattingModelConfig kMattingModels[kMattingModelCount];

constexpr int kAlphaTableSize = 1024;
using AlphaTable = std::array<uint8_t, kAlphaTableSize>;

// One started model. evaluate takes 3 planes of w * h floats (R, G, B) and fills `output` with what
// the model gave; false when the evaluation failed.
class MattingRunner {
public:
    virtual ~MattingRunner() = default;
    virtual bool evaluate(const std::vector<float>& input, std::vector<float>& output) = 0;
};

class MattingRuntime {
public:
    virtual ~MattingRuntime() = default;
    // Null when this row's model cannot start (missing resource, no such device, load error).
    virtual std::unique_ptr<MattingRunner> start(const MattingModelConfig& config) = 0;
};

// Windows ML over the models embedded in the program; elsewhere a runtime that starts nothing.
std::unique_ptr<MattingRuntime> platformMattingRuntime();

struct MattingModel {
    MattingModelConfig config;
    std::unique_ptr<MattingRunner> runner;
    std::vector<float> input;   // 3 * w * h
    std::vector<float> output;  // w * h
    std::vector<float> mask;    // the smoothed mask of the previous frame; empty at first
    std::vector<int> columnIndex;
    std::vector<float> columnWeight;
    int32_t cachedWidth = 0;
    std::vector<float> row;  // w
    AlphaTable alphaTable{};
};

class BackgroundRemover {
public:
    explicit BackgroundRemover(std::unique_ptr<MattingRuntime> runtime);
    ~BackgroundRemover();

    // True when a model runs; a failed start is never tried again.
    bool ensureReady();
    // Writes the matte into the alpha byte of every pixel (BGRA packed at width * 4 bytes); colour
    // bytes stay. False, with the frame untouched, when there is no model or the model failed: the
    // caller must then not treat the fourth byte as alpha.
    bool apply(uint8_t* pixels, int width, int height);
    const std::string& error() const { return error_; }

private:
    std::unique_ptr<MattingRuntime> runtime_;
    std::unique_ptr<MattingModel> model_;
    std::string error_;
    bool tried_ = false;
};

// The pieces of apply, for tests and benchmarks.
// smoothstep of the band alphaLow..alphaHigh onto 0..255.
void buildAlphaTable(float alphaLow, float alphaHigh, AlphaTable& table);
// The frame pixel under each model cell's centre, as model input planes.
void sampleMattingInput(const uint8_t* pixels, int width, int height, const MattingModelConfig& config,
                        std::vector<float>& input);
// Averages `output` into `mask` (a first or resized mask starts as the output itself).
void smoothMattingMask(const std::vector<float>& output, std::vector<float>& mask);
// Upscales `model.mask` bilinearly over the frame and writes the table's alpha bytes.
void writeMatte(MattingModel& model, uint8_t* pixels, int width, int height);
