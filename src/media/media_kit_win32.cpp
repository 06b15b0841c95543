#include "media/media_kit.h"

#include <mfapi.h>

#include "media/d3d11/d3d11_compositor.h"
#include "media/audio/wasapi_audio_input.h"
#include "media/capture/virtual_camera.h"
#include "media/d3d11/d3d11_source_cache.h"
#include "media/mf/mf_audio_encoder.h"
#include "media/mf/mf_recorder.h"
#include "media/mf/mf_video_encoder.h"
#include "media/mkv_recorder.h"

MediaKit createMediaKit(ID3D11Device* device, ID3D11DeviceContext* context) {
  MediaKit kit;
  if (SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL))) {
    kit.guard = std::shared_ptr<void>(nullptr, [](void*) { MFShutdown(); });
  }
  kit.phoneFeed = std::make_shared<PhoneFeed>();
  kit.sources = std::make_unique<D3d11SourceCache>(device, context, kit.phoneFeed);
  kit.compositors[0] = std::make_unique<D3d11Compositor>(device, context);
  kit.compositors[1] = std::make_unique<D3d11Compositor>(device, context);
  kit.makeRecorder = [](Container container) -> std::unique_ptr<IRecorder> {
    if (container == Container::Mkv)
      return std::make_unique<MkvRecorder>(std::make_unique<MfVideoEncoder>(), std::make_unique<MfAudioEncoder>());
    return std::make_unique<MfRecorder>();
  };
  kit.makeVideoEncoder = []() -> std::unique_ptr<IVideoPacketEncoder> { return std::make_unique<MfVideoEncoder>(); };
  kit.makeAudioEncoder = []() -> std::unique_ptr<IAudioPacketEncoder> { return std::make_unique<MfAudioEncoder>(); };
  kit.micInput = std::make_unique<WasapiAudioInput>();
  kit.desktopInput = std::make_unique<WasapiAudioInput>();
  kit.listAudioDevices = listAudioInputs;
  kit.virtualCamera = makeVirtualCamera();
  fillUnavailableParts(kit);
  return kit;
}
