#pragma once
// Draws one canvas from a scene's layers on the GPU, one quad per layer.

#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>
#include <map>
#include <string>

#include "media/compositor_constants.h"
#include "media/media.h"

// The fixed pipeline states. Every enum field holds a valid value even where the state ignores it:
// the Direct3D 11 runtime validates the whole description (a comparison function of 0, say, is
// refused) where some drivers and emulations forgive it.
D3D11_BLEND_DESC compositorBlendDesc();
D3D11_SAMPLER_DESC compositorSamplerDesc();
D3D11_RASTERIZER_DESC compositorRasterizerDesc();

class D3d11Compositor : public ICompositor {
 public:
  D3d11Compositor(ID3D11Device* device, ID3D11DeviceContext* context);
  ~D3d11Compositor() override;

  bool init() override;
  bool resize(int width, int height) override;
  void render(const Scene& scene, ISourceCache& sources, float designWidth, float designHeight) override;
  void snapshot() override;
  void setFade(float fade) override;
  ID3D11ShaderResourceView* canvasView() override;
  const std::uint8_t* mapPixels(int* rowPitch) override;
  void unmapPixels() override;

  // Turns a ".cube" path into a 3D texture once; null (cached) on failure.
  ID3D11ShaderResourceView* lutView(const std::string& path);
  int lastLutSizeForTest() const { return lastLutSize; }
  std::size_t lutTexturesLoaded() const;

 private:
  template <typename T>
  using Com = Microsoft::WRL::ComPtr<T>;

  bool drawQuad(const CompositorConstants& constants, ID3D11ShaderResourceView* view);

  struct LutEntry {
    Com<ID3D11ShaderResourceView> view;
    int size = 0;
  };

  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;
  int width = 0, height = 0;
  Com<ID3D11Texture2D> canvasTexture;
  Com<ID3D11Texture2D> stagingTexture;
  Com<ID3D11RenderTargetView> canvasTarget;
  Com<ID3D11ShaderResourceView> canvasShaderView;
  Com<ID3D11VertexShader> vertexShader;
  Com<ID3D11PixelShader> pixelShader;
  Com<ID3D11Buffer> constants;
  Com<ID3D11BlendState> blend;
  Com<ID3D11SamplerState> sampler;
  Com<ID3D11RasterizerState> rasterizer;
  Com<ID3D11Texture2D> snapshotTexture;
  Com<ID3D11ShaderResourceView> snapshotView;
  float fade = 0.0f;
  std::map<std::string, LutEntry> lutCache;
  int lastLutSize = 0;
  bool mapped = false;
};
