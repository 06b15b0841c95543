#pragma once
// The texture that a still source draws into once and hands out as a view.

#include <d3d11.h>

#include <cstdint>
#include <string>

#include "media/media.h"

struct SourceTexture {
  SourceTexture() = default;
  SourceTexture(const SourceTexture&) = delete;
  SourceTexture& operator=(const SourceTexture&) = delete;
  ~SourceTexture();
  void release();
  // What a still source hands out: this texture sampled in `mode`.
  SourceFrame frame(int mode, std::string status = {}) const;

  ID3D11Texture2D* texture = nullptr;
  ID3D11ShaderResourceView* view = nullptr;
  int width = 0, height = 0;
};

// Replaces the record's texture with a new one holding `pixels` (or nothing
// when pixels is null). False when the texture cannot be created.
bool uploadBgraTexture(SourceTexture& out, ID3D11Device* device, int width, int height, const void* pixels,
                       int rowPitch, DXGI_FORMAT format);

// One mip, one slice, one sample, default usage: every texture we draw or sample.
D3D11_TEXTURE2D_DESC plainTextureDesc(int width, int height, DXGI_FORMAT format, UINT bindFlags);

// Uploads since start: a scene that does not change should stop adding to it.
std::uint64_t textureUploadCount();
