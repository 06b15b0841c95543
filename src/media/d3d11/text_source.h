#pragma once
// Sources drawn once with GDI: a text layer's white mask, and the boxed
// text of chat and live-counter layers with a dark outline.

#include <d3d11.h>

#include <string>

#include "media/d3d11/source_texture.h"
#include "media/media.h"

class TextSource : public ISource {
 public:
  TextSource(ID3D11Device* device, ID3D11DeviceContext* context, const std::string& text, float fontSize);
  void update() override {}
  SourceFrame frame() override;
  void setRemoveBackground(bool) override {}

 private:
  SourceTexture texture;
};

class BoxTextSource : public ISource {
 public:
  BoxTextSource(ID3D11Device* device, ID3D11DeviceContext* context, const std::string& liveText, float fontSize,
                int width, int height, bool isChat, const float colour[4]);
  void update() override {}
  SourceFrame frame() override;
  void setRemoveBackground(bool) override {}

 private:
  SourceTexture texture;
};
