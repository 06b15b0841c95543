#include "media/d3d11/d3d11_compositor.h"

#include <d3dcompiler.h>

#include <cfloat>
#include <cstring>
#include <vector>

#include "media/cube_lut.h"
#include "media/d3d11/compositor_shader.h"
#include "media/d3d11/source_texture.h"
#include "project/project.h"

namespace {
template <typename T>
using Com = Microsoft::WRL::ComPtr<T>;

Com<ID3DBlob> compileStage(const char* entry, const char* target) {
  Com<ID3DBlob> code;
  Com<ID3DBlob> errors;
  if (FAILED(D3DCompile(kCompositorShader, std::strlen(kCompositorShader), "compositor", nullptr, nullptr, entry,
                        target, 0, 0, &code, &errors))) {
    return nullptr;
  }
  return code;
}
}  // namespace

D3D11_BLEND_DESC compositorBlendDesc() {
  D3D11_BLEND_DESC bd{};
  // Only the first target is used (no independent blending); the others get the runtime's
  // defaults rather than zeros.
  for (auto& rt : bd.RenderTarget) {
    rt.SrcBlend = rt.SrcBlendAlpha = D3D11_BLEND_ONE;
    rt.DestBlend = rt.DestBlendAlpha = D3D11_BLEND_ZERO;
    rt.BlendOp = rt.BlendOpAlpha = D3D11_BLEND_OP_ADD;
    rt.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
  }
  auto& rt = bd.RenderTarget[0];
  rt.BlendEnable = TRUE;
  rt.DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
  rt.DestBlendAlpha = D3D11_BLEND_INV_SRC_ALPHA;
  return bd;
}

D3D11_SAMPLER_DESC compositorSamplerDesc() {
  D3D11_SAMPLER_DESC sd{};
  sd.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
  sd.AddressU = sd.AddressV = sd.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
  sd.MaxAnisotropy = 1;
  sd.ComparisonFunc = D3D11_COMPARISON_NEVER;  // ignored by a non-comparison filter, but must be valid
  sd.MaxLOD = FLT_MAX;
  return sd;
}

D3D11_RASTERIZER_DESC compositorRasterizerDesc() {
  D3D11_RASTERIZER_DESC rd{};
  rd.FillMode = D3D11_FILL_SOLID;
  rd.CullMode = D3D11_CULL_NONE;
  rd.FrontCounterClockwise = FALSE;
  rd.DepthClipEnable = TRUE;
  return rd;
}

D3d11Compositor::D3d11Compositor(ID3D11Device* device, ID3D11DeviceContext* context)
    : device(device), context(context) {}

D3d11Compositor::~D3d11Compositor() {
  if (mapped && context && stagingTexture) context->Unmap(stagingTexture.Get(), 0);
}

bool D3d11Compositor::init() {
  if (!device) return false;
  Com<ID3DBlob> vsCode = compileStage("vs", "vs_4_0");
  Com<ID3DBlob> psCode = compileStage("ps", "ps_4_0");
  if (!vsCode || !psCode) return false;
  device->CreateVertexShader(vsCode->GetBufferPointer(), vsCode->GetBufferSize(), nullptr, &vertexShader);
  device->CreatePixelShader(psCode->GetBufferPointer(), psCode->GetBufferSize(), nullptr, &pixelShader);

  D3D11_BUFFER_DESC cb{};
  cb.ByteWidth = sizeof(CompositorConstants);
  cb.Usage = D3D11_USAGE_DYNAMIC;
  cb.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
  cb.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  device->CreateBuffer(&cb, nullptr, &constants);

  const D3D11_BLEND_DESC bd = compositorBlendDesc();
  device->CreateBlendState(&bd, &blend);
  const D3D11_SAMPLER_DESC sd = compositorSamplerDesc();
  device->CreateSamplerState(&sd, &sampler);
  const D3D11_RASTERIZER_DESC rd = compositorRasterizerDesc();
  device->CreateRasterizerState(&rd, &rasterizer);

  return vertexShader && pixelShader && constants && blend && sampler && rasterizer;
}

bool D3d11Compositor::resize(int newWidth, int newHeight) {
  if (newWidth == width && newHeight == height && canvasTexture) return true;
  if (mapped) unmapPixels();
  snapshotView.Reset();
  snapshotTexture.Reset();
  stagingTexture.Reset();
  canvasShaderView.Reset();
  canvasTarget.Reset();
  canvasTexture.Reset();
  width = newWidth;
  height = newHeight;
  if (!device || width <= 0 || height <= 0) return false;

  D3D11_TEXTURE2D_DESC td = plainTextureDesc(width, height, DXGI_FORMAT_B8G8R8A8_UNORM,
                                             D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE);
  if (FAILED(device->CreateTexture2D(&td, nullptr, &canvasTexture))) return false;
  device->CreateRenderTargetView(canvasTexture.Get(), nullptr, &canvasTarget);
  device->CreateShaderResourceView(canvasTexture.Get(), nullptr, &canvasShaderView);
  td.Usage = D3D11_USAGE_STAGING;
  td.BindFlags = 0;
  td.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  device->CreateTexture2D(&td, nullptr, &stagingTexture);
  return canvasTarget && canvasShaderView && stagingTexture;
}

void D3d11Compositor::render(const Scene& scene, ISourceCache& sources, float designWidth, float designHeight) {
  if (!canvasTarget) return;
  const float black[4] = {0, 0, 0, 1};
  context->ClearRenderTargetView(canvasTarget.Get(), black);
  ID3D11RenderTargetView* targets[] = {canvasTarget.Get()};
  context->OMSetRenderTargets(1, targets, nullptr);
  D3D11_VIEWPORT vp{0, 0, float(width), float(height), 0, 1};
  context->RSSetViewports(1, &vp);
  context->RSSetState(rasterizer.Get());
  context->IASetInputLayout(nullptr);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
  context->VSSetShader(vertexShader.Get(), nullptr, 0);
  context->GSSetShader(nullptr, nullptr, 0);
  context->PSSetShader(pixelShader.Get(), nullptr, 0);
  ID3D11Buffer* buffers[] = {constants.Get()};
  context->VSSetConstantBuffers(0, 1, buffers);
  context->PSSetConstantBuffers(0, 1, buffers);
  ID3D11SamplerState* samplers[] = {sampler.Get()};
  context->PSSetSamplers(0, 1, samplers);
  const float blendFactor[4] = {0, 0, 0, 0};
  context->OMSetBlendState(blend.Get(), blendFactor, 0xFFFFFFFF);
  context->OMSetDepthStencilState(nullptr, 0);

  const CanvasGeometry canvas{designWidth, designHeight, width, height};
  for (const Layer& layer : scene.layers) {
    if (!layerIsDrawn(layer)) continue;
    const SourceFrame frame = sources.frameFor(layer);
    if (layerNeedsTexture(layer) && !frame.view) continue;
    ID3D11ShaderResourceView* lut = lutApplies(layer) ? lutView(layer.lutPath) : nullptr;
    const CompositorConstants c =
        layerConstants(layer, frame.mode, frame.width, frame.height, canvas, lut != nullptr, lut ? lastLutSize : 0);
    ID3D11ShaderResourceView* lutViews[] = {lut};
    context->PSSetShaderResources(1, 1, lutViews);
    drawQuad(c, frame.view);
  }

  if (fade > 0.0f && snapshotView) {
    ID3D11ShaderResourceView* none[] = {nullptr};
    context->PSSetShaderResources(1, 1, none);
    drawQuad(overlayConstants(fade, width, height), snapshotView.Get());
  }

  ID3D11ShaderResourceView* none[] = {nullptr, nullptr};
  context->PSSetShaderResources(0, 2, none);
}

bool D3d11Compositor::drawQuad(const CompositorConstants& c, ID3D11ShaderResourceView* view) {
  D3D11_MAPPED_SUBRESOURCE m{};
  if (FAILED(context->Map(constants.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return false;
  std::memcpy(m.pData, &c, sizeof c);
  context->Unmap(constants.Get(), 0);
  ID3D11ShaderResourceView* views[] = {view};
  context->PSSetShaderResources(0, 1, views);
  context->Draw(4, 0);
  return true;
}

void D3d11Compositor::snapshot() {
  if (!canvasTexture) return;
  if (!snapshotTexture) {
    D3D11_TEXTURE2D_DESC td{};
    canvasTexture->GetDesc(&td);
    td.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    if (FAILED(device->CreateTexture2D(&td, nullptr, &snapshotTexture))) return;
    if (FAILED(device->CreateShaderResourceView(snapshotTexture.Get(), nullptr, &snapshotView))) {
      snapshotTexture.Reset();
      return;
    }
  }
  context->CopyResource(snapshotTexture.Get(), canvasTexture.Get());
}

void D3d11Compositor::setFade(float value) { fade = value; }

ID3D11ShaderResourceView* D3d11Compositor::canvasView() { return canvasShaderView.Get(); }

const std::uint8_t* D3d11Compositor::mapPixels(int* rowPitch) {
  if (!stagingTexture) return nullptr;
  if (mapped) unmapPixels();
  context->CopyResource(stagingTexture.Get(), canvasTexture.Get());
  D3D11_MAPPED_SUBRESOURCE m{};
  if (FAILED(context->Map(stagingTexture.Get(), 0, D3D11_MAP_READ, 0, &m))) return nullptr;
  mapped = true;
  if (rowPitch) *rowPitch = int(m.RowPitch);
  return static_cast<const std::uint8_t*>(m.pData);
}

void D3d11Compositor::unmapPixels() {
  if (!mapped) return;
  context->Unmap(stagingTexture.Get(), 0);
  mapped = false;
}

ID3D11ShaderResourceView* D3d11Compositor::lutView(const std::string& path) {
  auto found = lutCache.find(path);
  if (found != lutCache.end()) {
    lastLutSize = found->second.size;
    return found->second.view.Get();
  }
  LutEntry entry;
  CubeLut lut;
  std::string error;
  if (device && loadCubeLut(path, lut, error)) {
    const UINT n = UINT(lut.size);
    const std::size_t count = std::size_t(n) * n * n;
    std::vector<float> texels(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
      texels[i * 4 + 0] = lut.rgb[i * 3 + 0];
      texels[i * 4 + 1] = lut.rgb[i * 3 + 1];
      texels[i * 4 + 2] = lut.rgb[i * 3 + 2];
      texels[i * 4 + 3] = 1.0f;
    }
    D3D11_TEXTURE3D_DESC td{};
    td.Width = td.Height = td.Depth = n;
    td.MipLevels = 1;
    td.Format = DXGI_FORMAT_R32G32B32A32_FLOAT;
    td.Usage = D3D11_USAGE_IMMUTABLE;
    td.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA init{texels.data(), n * 16, n * n * 16};
    Com<ID3D11Texture3D> texture;
    if (SUCCEEDED(device->CreateTexture3D(&td, &init, &texture)) &&
        SUCCEEDED(device->CreateShaderResourceView(texture.Get(), nullptr, &entry.view))) {
      entry.size = lut.size;
    } else {
      entry.view.Reset();
    }
  }
  lastLutSize = entry.size;
  ID3D11ShaderResourceView* view = entry.view.Get();
  lutCache.emplace(path, std::move(entry));
  return view;
}

std::size_t D3d11Compositor::lutTexturesLoaded() const {
  std::size_t n = 0;
  for (const auto& [path, entry] : lutCache) n += entry.view ? 1 : 0;
  return n;
}
