// Builds without the system's capture services: no matting runtime, no virtual camera function.
#include "media/capture/matting.h"
#include "media/capture/virtual_camera.h"

namespace {
class NoVirtualCameraSystem : public VirtualCameraSystem {
public:
    bool hasVirtualCameraFunction() override { return false; }
    bool isCameraInstalled() override { return false; }
    int32_t createCamera() override { return 0; }
    void removeCamera() override {}
    uint8_t* mapBlock() override { return nullptr; }
    void unmapBlock() override {}
};
}  // namespace

std::unique_ptr<MattingRuntime> platformMattingRuntime() { return nullptr; }

std::unique_ptr<VirtualCameraSystem> platformVirtualCameraSystem() {
    return std::make_unique<NoVirtualCameraSystem>();
}
