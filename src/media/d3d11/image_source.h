#pragma once
// A still image file decoded once to straight-alpha BGRA.

#include <d3d11.h>

#include <string>

#include "media/d3d11/source_texture.h"
#include "media/media.h"

constexpr int kMaxImageSide = 16384;

class ImageSource : public ISource {
 public:
  ImageSource(ID3D11Device* device, ID3D11DeviceContext* context, const std::string& path);
  void update() override {}
  SourceFrame frame() override;
  void setRemoveBackground(bool) override {}

 private:
  SourceTexture texture;
  std::string status;
};
