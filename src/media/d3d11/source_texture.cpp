#include "media/d3d11/source_texture.h"

#include <atomic>
#include <utility>

namespace {
std::atomic<std::uint64_t> uploads{0};
}

SourceTexture::~SourceTexture() { release(); }

void SourceTexture::release() {
  if (view) view->Release();
  if (texture) texture->Release();
  view = nullptr;
  texture = nullptr;
  width = height = 0;
}

SourceFrame SourceTexture::frame(int mode, std::string status) const {
  SourceFrame f;
  f.view = view;
  f.mode = mode;
  f.width = width;
  f.height = height;
  f.status = std::move(status);
  return f;
}

D3D11_TEXTURE2D_DESC plainTextureDesc(int width, int height, DXGI_FORMAT format, UINT bindFlags) {
  D3D11_TEXTURE2D_DESC td{};
  td.Width = UINT(width);
  td.Height = UINT(height);
  td.MipLevels = 1;
  td.ArraySize = 1;
  td.Format = format;
  td.SampleDesc.Count = 1;
  td.Usage = D3D11_USAGE_DEFAULT;
  td.BindFlags = bindFlags;
  return td;
}

bool uploadBgraTexture(SourceTexture& out, ID3D11Device* device, int width, int height, const void* pixels,
                       int rowPitch, DXGI_FORMAT format) {
  out.release();
  if (!device || width <= 0 || height <= 0) return false;
  const D3D11_TEXTURE2D_DESC td = plainTextureDesc(width, height, format, D3D11_BIND_SHADER_RESOURCE);
  D3D11_SUBRESOURCE_DATA init{pixels, UINT(rowPitch), 0};
  if (FAILED(device->CreateTexture2D(&td, pixels ? &init : nullptr, &out.texture))) {
    out.texture = nullptr;
    return false;
  }
  if (FAILED(device->CreateShaderResourceView(out.texture, nullptr, &out.view))) {
    out.release();
    return false;
  }
  out.width = width;
  out.height = height;
  uploads.fetch_add(1, std::memory_order_relaxed);
  return true;
}

std::uint64_t textureUploadCount() { return uploads.load(std::memory_order_relaxed); }
