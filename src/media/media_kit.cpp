#include "media/media_kit.h"

#include "media/capture/virtual_camera.h"
#include "media/source_cache.h"
#include "media/unavailable.h"

void fillUnavailableParts(MediaKit& kit) {
  if (!kit.phoneFeed) kit.phoneFeed = std::make_shared<PhoneFeed>();
  if (!kit.sources) kit.sources = std::make_unique<SourceCache>(SourceMakers{});
  if (!kit.makeRecorder) {
    kit.makeRecorder = [](Container) -> std::unique_ptr<IRecorder> {
      return std::make_unique<UnavailableRecorder>("Recording is not available in this version");
    };
  }
  if (!kit.makeVideoEncoder) {
    kit.makeVideoEncoder = []() -> std::unique_ptr<IVideoPacketEncoder> {
      return std::make_unique<UnavailableVideoEncoder>();
    };
  }
  if (!kit.makeAudioEncoder) {
    kit.makeAudioEncoder = []() -> std::unique_ptr<IAudioPacketEncoder> {
      return std::make_unique<UnavailableAudioEncoder>();
    };
  }
  if (!kit.micInput) kit.micInput = std::make_unique<UnavailableAudioInput>("Microphone capture is not available");
  if (!kit.desktopInput) {
    kit.desktopInput = std::make_unique<UnavailableAudioInput>("Desktop sound capture is not available");
  }
  if (!kit.listAudioDevices) kit.listAudioDevices = [] { return std::vector<AudioDevice>{}; };
  if (!kit.virtualCamera) kit.virtualCamera = makeVirtualCamera();
}
