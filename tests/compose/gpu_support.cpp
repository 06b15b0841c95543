#include "gpu_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "project/project.h"

TestGpu& TestGpu::get() {
  static TestGpu gpu = [] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TestGpu g;
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0};
    const HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                         levels, 1, D3D11_SDK_VERSION, &g.device, nullptr, &g.context);
    if (FAILED(hr)) std::fprintf(stderr, "D3D11CreateDevice failed (0x%08lX)\n", static_cast<unsigned long>(hr));
    return g;
  }();
  // Every test that draws needs the device: without it the test fails here instead of passing on
  // empty frames.
  EXPECT_TRUE(gpu.device) << "no Direct3D 11 device";
  return gpu;
}

TestPicture makePicture(int width, int height, std::uint32_t (*pixel)(int x, int y)) {
  TestPicture p;
  p.image.width = width;
  p.image.height = height;
  p.image.bgra.resize(std::size_t(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t argb = pixel(x, y);
      std::memcpy(&p.image.bgra[(std::size_t(y) * width + x) * 4], &argb, 4);
    }
  }
  p.gpu = std::make_unique<SourceTexture>();
  uploadBgraTexture(*p.gpu, TestGpu::get().device.Get(), width, height, p.image.bgra.data(), width * 4,
                    DXGI_FORMAT_B8G8R8A8_UNORM);
  return p;
}

SourceFrame NamedSourceCache::frameFor(const Layer& layer) {
  ++asked;
  auto it = frames.find(layer.name);
  return it == frames.end() ? SourceFrame{} : it->second;
}

RefImage readTexture(ID3D11ShaderResourceView* view) {
  RefImage out;
  if (!view) return out;
  TestGpu& gpu = TestGpu::get();
  Com<ID3D11Resource> resource;
  view->GetResource(&resource);
  Com<ID3D11Texture2D> texture;
  if (FAILED(resource.As(&texture))) return out;
  D3D11_TEXTURE2D_DESC td{};
  texture->GetDesc(&td);
  td.Usage = D3D11_USAGE_STAGING;
  td.BindFlags = 0;
  td.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  td.MiscFlags = 0;
  Com<ID3D11Texture2D> staging;
  if (FAILED(gpu.device->CreateTexture2D(&td, nullptr, &staging))) return out;
  gpu.context->CopyResource(staging.Get(), texture.Get());
  D3D11_MAPPED_SUBRESOURCE m{};
  if (FAILED(gpu.context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &m))) return out;
  out.width = int(td.Width);
  out.height = int(td.Height);
  out.bgra.resize(std::size_t(out.width) * out.height * 4);
  for (int y = 0; y < out.height; ++y) {
    std::memcpy(&out.bgra[std::size_t(y) * out.width * 4], static_cast<const std::uint8_t*>(m.pData) + y * m.RowPitch,
                std::size_t(out.width) * 4);
  }
  gpu.context->Unmap(staging.Get(), 0);
  return out;
}

std::string binaryDir() {
  const char* dir = std::getenv("QH_BINARY_DIR");
  return dir ? dir : ".";
}

std::string refsDir() { return binaryDir() + "\\test-data\\compose-refs\\"; }

std::string artifactsDir() {
  // Beside both build folders, so the images outlive a rebuild of either.
  const std::string dir = binaryDir() + "\\..\\artifacts\\compose\\";
  std::filesystem::create_directories(dir);
  return dir;
}

bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  std::uint8_t buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return true;
}
