#include "media/media_kit.h"

#include <mfapi.h>

#include "media/d3d11/d3d11_compositor.h"
#include "media/audio/wasapi_audio_input.h"
#include "media/d3d11/d3d11_source_cache.h"

MediaKit createMediaKit(ID3D11Device* device, ID3D11DeviceContext* context) {
  MediaKit kit;
  if (SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL))) {
    kit.guard = std::shared_ptr<void>(nullptr, [](void*) { MFShutdown(); });
  }
  kit.phoneFeed = std::make_shared<PhoneFeed>();
  kit.sources = std::make_unique<D3d11SourceCache>(device, context, kit.phoneFeed);
  kit.compositors[0] = std::make_unique<D3d11Compositor>(device, context);
  kit.compositors[1] = std::make_unique<D3d11Compositor>(device, context);
  kit.micInput = std::make_unique<WasapiAudioInput>();
  kit.desktopInput = std::make_unique<WasapiAudioInput>();
  kit.listAudioDevices = listAudioInputs;
  fillUnavailableParts(kit);
  return kit;
}
