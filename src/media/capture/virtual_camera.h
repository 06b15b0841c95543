// The studio's virtual camera: registers the camera with the system and publishes every frame it is
// handed into the shared memory block that the camera's media source reads, as 1280 x 720 NV12
// under a sequence counter (odd while a frame is being written). The system calls sit behind
// VirtualCameraSystem so that fitting and publishing run over a plain memory block in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/media.h"

constexpr int kVirtualCameraWidth = 1280;
constexpr int kVirtualCameraHeight = 720;
constexpr int kVirtualCameraFps = 30;
constexpr size_t kVirtualCameraHeaderBytes = 64;
constexpr size_t kVirtualCameraLumaBytes = size_t(kVirtualCameraWidth) * kVirtualCameraHeight;
constexpr size_t kVirtualCameraFrameBytes = kVirtualCameraLumaBytes * 3 / 2;
constexpr size_t kVirtualCameraBlockBytes = kVirtualCameraHeaderBytes + kVirtualCameraFrameBytes;
constexpr size_t kVirtualCameraSequenceOffset = 16;
constexpr char kVirtualCameraMagic[4] = {'Q', 'H', 'V', 'C'};
constexpr char kVirtualCameraMemoryName[] = "Global\\QuillhavenVirtualCamera";
constexpr char kVirtualCameraFriendlyName[] = "Quillhaven Camera";

// Where a frame lands inside 1280 x 720: its fitted size (aspect kept, the free side even) and the
// top-left corner that centres it.
struct VirtualCameraFit {
    int width = 0, height = 0;
    int x = 0, y = 0;
    bool operator==(const VirtualCameraFit&) const = default;
};
VirtualCameraFit fitVirtualCamera(int width, int height);

// Publishes one frame under the sequence rule: `writeFrame` fills the kVirtualCameraFrameBytes of
// NV12 at kVirtualCameraHeaderBytes while the sequence is odd; it is even again afterwards.
void publishVirtualCameraFrame(uint8_t* block,
                               const std::function<void(uint8_t* frame)>& writeFrame);

class VirtualCameraSystem {
public:
    virtual ~VirtualCameraSystem() = default;
    virtual bool hasVirtualCameraFunction() = 0;
    virtual bool isCameraInstalled() = 0;
    // Creates and starts the camera; the failing result code, or 0.
    virtual int32_t createCamera() = 0;
    virtual void removeCamera() = 0;
    // Opens and maps the whole block; null when the camera's source has not made it yet.
    virtual uint8_t* mapBlock() = 0;
    virtual void unmapBlock() = 0;
};

std::unique_ptr<VirtualCameraSystem> platformVirtualCameraSystem();

class MfVirtualCamera : public IVirtualCamera {
public:
    // `nowNs` is a steady clock in nanoseconds.
    MfVirtualCamera(std::unique_ptr<VirtualCameraSystem> system, std::function<int64_t()> nowNs);
    ~MfVirtualCamera() override;

    bool start() override;
    void stop() override;
    bool isRunning() const override { return running; }
    void pushFrame(const uint8_t* bgra, int stride, int width, int height) override;
    std::string lastError() const override { return statusText; }

private:
    std::unique_ptr<VirtualCameraSystem> system;
    std::function<int64_t()> nowNs;
    bool running = false;
    uint8_t* view = nullptr;
    int64_t nextMapAttempt = 0;
    std::vector<uint8_t> letterbox;
    VirtualCameraFit letterboxFit;  // where letterbox's picture sits; its bars are black already
    std::vector<uint8_t> scaled;
    std::vector<uint8_t> nv12;
    std::string statusText;
};

std::unique_ptr<IVirtualCamera> makeVirtualCamera();
