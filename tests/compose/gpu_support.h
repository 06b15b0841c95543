#pragma once
// A Direct3D 11 device for tests, textures made from pixels, and read-back.

#include <d3d11.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gpu_reference.h"
#include "media/d3d11/source_texture.h"
#include "media/media.h"

template <typename T>
using Com = Microsoft::WRL::ComPtr<T>;

struct TestGpu {
  Com<ID3D11Device> device;
  Com<ID3D11DeviceContext> context;
  static TestGpu& get();  // one device for the whole run
};

// A test picture, kept on the CPU for the reference and on the GPU as a source.
struct TestPicture {
  RefImage image;
  std::unique_ptr<SourceTexture> gpu;
};
TestPicture makePicture(int width, int height, std::uint32_t (*pixel)(int x, int y));

// Sources by layer name, so scenes can be scripted without real files.
class NamedSourceCache : public ISourceCache {
 public:
  std::map<std::string, SourceFrame> frames;
  int asked = 0;
  SourceFrame frameFor(const Layer& layer) override;
  void endFrame() override {}
  void clear() override { frames.clear(); }
  std::vector<std::string> listCameras() override { return {}; }
  std::vector<std::string> listDisplays() override { return {}; }
  std::vector<std::string> listWindows() override { return {}; }
};

// Copies any 2D texture behind a view into CPU memory as BGRA rows.
RefImage readTexture(ID3D11ShaderResourceView* view);

// Where tests find build-time data and leave images for people to look at.
std::string binaryDir();
std::string refsDir();
std::string artifactsDir();
bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& out);
