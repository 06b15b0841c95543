#include "media/d3d11/image_source.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <new>
#include <vector>

#include "util/text.h"

using Microsoft::WRL::ComPtr;

ImageSource::ImageSource(ID3D11Device* device, ID3D11DeviceContext*, const std::string& path) {
  if (path.empty()) {
    status = "Choose an image file";
    return;
  }
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> first;
  ComPtr<IWICFormatConverter> converter;
  const std::wstring widePath = utf8ToWide(path);
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) ||
      FAILED(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &first)) || FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(first.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                   0.0, WICBitmapPaletteTypeCustom))) {
    status = "Could not open this image";
    return;
  }
  UINT width = 0, height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > UINT(kMaxImageSide) ||
      height > UINT(kMaxImageSide)) {
    status = "Image is too large (max 16384 px)";
    return;
  }
  const UINT stride = width * 4;
  std::vector<BYTE> pixels;
  try {
    pixels.assign(std::size_t(stride) * height, 0);
  } catch (const std::bad_alloc&) {
    status = "Could not decode this image";
    return;
  }
  if (FAILED(converter->CopyPixels(nullptr, stride, UINT(pixels.size()), pixels.data()))) {
    status = "Could not decode this image";
    return;
  }
  if (!uploadBgraTexture(texture, device, int(width), int(height), pixels.data(), int(stride),
                         DXGI_FORMAT_B8G8R8A8_UNORM)) {
    // Decoded fine, but the GPU would not take it (memory, or a size the device cannot hold).
    status = "Could not load this image onto the graphics card";
  }
}

SourceFrame ImageSource::frame() { return texture.frame(1, status); }
