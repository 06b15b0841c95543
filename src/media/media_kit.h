#pragma once
// The one bundle through which the studio reaches the media engine. Built
// once from the Direct3D device; the parts this build cannot offer are
// stand-ins that explain themselves.

#include <functional>
#include <memory>
#include <vector>

#include "media/media.h"

struct ID3D11Device;
struct ID3D11DeviceContext;

struct MediaKit {
  std::shared_ptr<void> guard;  // keeps the media services started; released last
  std::unique_ptr<ISourceCache> sources;
  std::unique_ptr<ICompositor> compositors[2];  // 0 horizontal, 1 vertical
  std::function<std::unique_ptr<IRecorder>(Container)> makeRecorder;
  std::function<std::unique_ptr<IVideoPacketEncoder>()> makeVideoEncoder;
  std::function<std::unique_ptr<IAudioPacketEncoder>()> makeAudioEncoder;
  std::unique_ptr<IAudioInput> micInput;
  std::unique_ptr<IAudioInput> desktopInput;
  std::function<std::vector<AudioDevice>()> listAudioDevices;
  std::unique_ptr<IVirtualCamera> virtualCamera;
  std::shared_ptr<PhoneFeed> phoneFeed;

  MediaKit() = default;
  MediaKit(MediaKit&&) = default;
  MediaKit& operator=(MediaKit&&) = default;
  MediaKit(const MediaKit&) = delete;
  MediaKit& operator=(const MediaKit&) = delete;
};

// Gives every part still empty a stand-in that reports it is unavailable,
// so that callers never meet a null part.
void fillUnavailableParts(MediaKit& kit);

MediaKit createMediaKit(ID3D11Device* device, ID3D11DeviceContext* context);
