// One Studio::tick for a scene of 10 layers on both 1080p canvases, on the
// real Direct3D 11 compositors, and proof that a scene that does not change
// uploads no texture after its first tick.

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/studio.h"
#include "media/d3d11/source_texture.h"
#include "media/media_kit.h"
#include "png_file.h"
#include "project/project.h"

namespace {

double nowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Stats {
  double mean, median, p95;
};

Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  double sum = 0;
  for (double x : v) sum += x;
  return {sum / v.size(), v[v.size() / 2], v[v.size() * 95 / 100]};
}

std::string writeInputs(const std::string& dir) {
  std::filesystem::create_directories(dir);
  std::vector<std::uint8_t> px(1280 * 720 * 4);
  for (int y = 0; y < 720; ++y)
    for (int x = 0; x < 1280; ++x) {
      std::uint8_t* p = &px[(std::size_t(y) * 1280 + x) * 4];
      p[0] = std::uint8_t(x);
      p[1] = std::uint8_t(y);
      p[2] = std::uint8_t(x + y);
      p[3] = std::uint8_t(128 + (x % 128));
    }
  writeBgraPng(dir + "\\picture.png", px.data(), 1280, 720, 1280 * 4);
  std::ofstream cube(dir + "\\grade.cube");
  cube << "LUT_3D_SIZE 17\n";
  for (int b = 0; b < 17; ++b)
    for (int g = 0; g < 17; ++g)
      for (int r = 0; r < 17; ++r) cube << r / 16.0 * 0.9 << " " << g / 16.0 << " " << (b / 16.0) * 0.8 + 0.1 << "\n";
  return dir;
}

Scene tenLayers(const std::string& dir) {
  Scene scene;
  scene.name = "Bench";
  scene.layers.push_back(makeLayer(LayerKind::Color, "Background"));
  for (int i = 0; i < 3; ++i) {
    Layer image = makeLayer(LayerKind::Image, "Picture " + std::to_string(i));
    image.source = dir + "\\picture.png";
    image.x = 100.0f + i * 500;
    image.y = 100;
    image.width = 640;
    image.height = 360;
    image.cornerRadius = 24;
    if (i == 1) {
      image.chromaKey = true;
      image.lumaKey = true;
    }
    if (i == 2) image.lutPath = dir + "\\grade.cube";
    image.verticalX = 40;
    image.verticalY = 200.0f + i * 500;
    image.verticalWidth = 1000;
    image.verticalHeight = 560;
    scene.layers.push_back(image);
  }
  for (int i = 0; i < 3; ++i) {
    Layer text = makeTextLayer("Text " + std::to_string(i), "Quillhaven bench " + std::to_string(i), 72, 960,
                               600.0f + i * 120);
    scene.layers.push_back(text);
  }
  Layer chat = makeLayer(LayerKind::Chat, "Chat");
  chat.liveText = "Ann\x1fHello from the bench\x1f" "0\nBob\x1fSecond message\x1f" "1";
  scene.layers.push_back(chat);
  Layer counter = makeLayer(LayerKind::LiveCounter, "Counter");
  counter.liveText = "1234 watching";
  scene.layers.push_back(counter);
  Layer tint = makeLayer(LayerKind::Color, "Tint");
  tint.colour = {0.2f, 0.1f, 0.4f, 0.3f};
  tint.opacity = 0.5f;
  scene.layers.push_back(tint);
  return scene;
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Microsoft::WRL::ComPtr<ID3D11Device> device;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0};
  if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                               1, D3D11_SDK_VERSION, &device, nullptr, &context))) {
    std::printf("Direct3D 11 is not available\n");
    return 1;
  }
  const char* bin = std::getenv("QH_BINARY_DIR");
  const std::string dir = writeInputs(std::string(bin ? bin : ".") + "\\bench-data\\compose");
  {
    Studio studio(createMediaKit(device.Get(), context.Get()), nullptr);
    if (!studio.kit.compositors[0]->init() || !studio.kit.compositors[1]->init()) {
      std::printf("Could not set up the GPU canvas.\n");
      return 1;
    }
    studio.project.scenes = {tenLayers(dir)};
    studio.project.transitionMs = 0;

    const std::uint64_t before = textureUploadCount();
    studio.tick();
    const std::uint64_t afterFirst = textureUploadCount();
    std::vector<double> tickOnly, tickAndRead;
    for (int i = 0; i < 300; ++i) {
      const double t0 = nowMs();
      studio.tick();
      const double t1 = nowMs();
      // Reading both canvases back waits for the GPU, as recording and live output do.
      for (auto& compositor : studio.kit.compositors) {
        int pitch = 0;
        if (compositor->mapPixels(&pitch)) compositor->unmapPixels();
      }
      const double t2 = nowMs();
      tickOnly.push_back(t1 - t0);
      tickAndRead.push_back(t2 - t0);
    }
    const std::uint64_t afterAll = textureUploadCount();
    const Stats a = stats(tickOnly), b = stats(tickAndRead);
    std::printf("scene: 10 layers, canvases 1920x1080 and 1080x1920\n");
    std::printf("tick alone:              mean %.2f ms  median %.2f ms  p95 %.2f ms\n", a.mean, a.median, a.p95);
    std::printf("tick + both read-backs:  mean %.2f ms  median %.2f ms  p95 %.2f ms\n", b.mean, b.median, b.p95);
    std::printf("texture uploads: first tick %llu, next 300 ticks %llu\n",
                static_cast<unsigned long long>(afterFirst - before),
                static_cast<unsigned long long>(afterAll - afterFirst));
    studio.kit.sources->clear();
  }
  CoUninitialize();
  return 0;
}
