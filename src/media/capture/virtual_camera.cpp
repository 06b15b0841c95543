#include "media/capture/virtual_camera.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "media/packaging.h"

namespace {
constexpr int64_t kMapRetryNs = 1000000000;
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kNeutralChroma = 128;

void putU32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

// The reader in the other process sees the counter change before and after the frame bytes.
std::atomic_ref<uint64_t> sequenceOf(uint8_t* block) {
    return std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t*>(block + kVirtualCameraSequenceOffset));
}
}  // namespace

VirtualCameraFit fitVirtualCamera(int width, int height) {
    VirtualCameraFit fit;
    const int64_t w = width, h = height;
    if (h * kVirtualCameraWidth < w * kVirtualCameraHeight) {
        fit.width = kVirtualCameraWidth;
        fit.height = int((h * kVirtualCameraWidth / w) & ~int64_t(1));
    } else {
        fit.width = int((w * kVirtualCameraHeight / h) & ~int64_t(1));
        fit.height = kVirtualCameraHeight;
    }
    fit.x = (kVirtualCameraWidth - fit.width) / 2;
    fit.y = (kVirtualCameraHeight - fit.height) / 2;
    return fit;
}

void publishVirtualCameraFrame(uint8_t* block,
                               const std::function<void(uint8_t* frame)>& writeFrame) {
    std::atomic_ref<uint64_t> sequence = sequenceOf(block);
    uint64_t n = sequence.load();
    std::memcpy(block, kVirtualCameraMagic, 4);
    putU32(block + 4, kVirtualCameraWidth);
    putU32(block + 8, kVirtualCameraHeight);
    putU32(block + 12, kVirtualCameraFps);
    if (n % 2 == 0) ++n;
    sequence.store(n);
    writeFrame(block + kVirtualCameraHeaderBytes);
    sequence.store(n + 1);
}

MfVirtualCamera::MfVirtualCamera(std::unique_ptr<VirtualCameraSystem> s, std::function<int64_t()> clock)
    : system(std::move(s)), nowNs(std::move(clock)) {}

MfVirtualCamera::~MfVirtualCamera() { stop(); }

bool MfVirtualCamera::start() {
    if (running) return true;
    statusText.clear();
    if (!system->hasVirtualCameraFunction()) {
        statusText = "The virtual camera needs Windows 11.";
        return false;
    }
    if (!system->isCameraInstalled()) {
        statusText = "The Quillhaven camera isn't installed. Run vcam_install.cmd as administrator once.";
        return false;
    }
    if (const int32_t hr = system->createCamera()) {
        char text[64];
        std::snprintf(text, sizeof text, "Windows refused the virtual camera (0x%08lX).", (unsigned long)uint32_t(hr));
        statusText = text;
        return false;
    }
    running = true;
    return true;
}

void MfVirtualCamera::stop() {
    if (view) {
        publishVirtualCameraFrame(view, [](uint8_t* out) {
            std::memset(out, kBlackLuma, kVirtualCameraLumaBytes);
            std::memset(out + kVirtualCameraLumaBytes, kNeutralChroma,
                        kVirtualCameraFrameBytes - kVirtualCameraLumaBytes);
        });
        system->unmapBlock();
        view = nullptr;
    }
    if (running) system->removeCamera();
    running = false;
}

void MfVirtualCamera::pushFrame(const uint8_t* bgra, int stride, int width, int height) {
    if (!running || !bgra || width <= 0 || height <= 0) return;
    if (!view) {
        const int64_t now = nowNs();
        if (now < nextMapAttempt) return;
        nextMapAttempt = now + kMapRetryNs;
        view = system->mapBlock();
        if (!view) return;
    }
    const uint8_t* frame = bgra;
    int frameStride = stride;
    if (width != kVirtualCameraWidth || height != kVirtualCameraHeight) {
        const VirtualCameraFit fit = fitVirtualCamera(width, height);
        scaled.resize(size_t(fit.width) * size_t(fit.height) * 4);
        scaleBgraBilinear(bgra, stride, width, height, scaled.data(), fit.width, fit.height);
        // The bars are cleared only when the picture moves; every frame covers the same rect.
        if (letterbox.empty() || fit != letterboxFit) {
            letterbox.assign(kVirtualCameraLumaBytes * 4, 0);
            letterboxFit = fit;
        }
        const size_t rowBytes = size_t(fit.width) * 4;
        for (int y = 0; y < fit.height; ++y) {
            std::memcpy(&letterbox[(size_t(fit.y + y) * kVirtualCameraWidth + size_t(fit.x)) * 4],
                        &scaled[size_t(y) * rowBytes], rowBytes);
        }
        frame = letterbox.data();
        frameStride = kVirtualCameraWidth * 4;
    }
    nv12.resize(kVirtualCameraFrameBytes);
    bgraToNv12(frame, frameStride, kVirtualCameraWidth, kVirtualCameraHeight, nv12.data());
    const uint8_t* converted = nv12.data();
    publishVirtualCameraFrame(view, [converted](uint8_t* out) {
        std::memcpy(out, converted, kVirtualCameraFrameBytes);
    });
}

std::unique_ptr<IVirtualCamera> makeVirtualCamera() {
    return std::make_unique<MfVirtualCamera>(platformVirtualCameraSystem(), [] {
        using namespace std::chrono;
        return int64_t(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
    });
}
