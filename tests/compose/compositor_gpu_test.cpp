#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gpu_reference.h"
#include "gpu_support.h"
#include "media/d3d11/d3d11_compositor.h"
#include "png_file.h"
#include "project/project.h"

namespace {

constexpr int kW = 96, kH = 64;

// Design units equal canvas pixels here, so rectangles sit on pixel edges.
const CanvasGeometry kGeometry{float(kW), float(kH), kW, kH};

std::uint32_t gradient(int x, int y) {
  const std::uint32_t r = std::uint32_t(x * 255 / 47), g = std::uint32_t(y * 255 / 31);
  const std::uint32_t b = std::uint32_t((x * 7 + y * 13) % 256), a = std::uint32_t((x * 11 + y * 5) % 256);
  return (a << 24) | (r << 16) | (g << 8) | b;
}

std::uint32_t greenScreen(int x, int y) {
  // Pure green with a warm square in the middle and a soft edge band.
  if (x >= 12 && x < 36 && y >= 8 && y < 24) return 0xFFD08060u;
  if (x < 6) return 0xFF30C040u;
  return 0xFF00FF00u;
}

std::uint32_t greys(int x, int y) {
  const std::uint32_t v = std::uint32_t(x * 255 / 47);
  return 0xFF000000u | (v << 16) | (v << 8) | std::uint32_t((v + y * 4) % 256);
}

Layer rectLayer(const std::string& name, int kind, float x, float y, float w, float h) {
  Layer l = makeLayer(kind, name);
  l.x = x;
  l.y = y;
  l.width = w;
  l.height = h;
  l.scaling = ScalingMode::Stretch;
  return l;
}

class CompositorGpu : public ::testing::Test {
 protected:
  void SetUp() override {
    TestGpu& gpu = TestGpu::get();
    ASSERT_TRUE(gpu.device) << "no Direct3D 11 device";
    compositor = std::make_unique<D3d11Compositor>(gpu.device.Get(), gpu.context.Get());
    ASSERT_TRUE(compositor->init());
    ASSERT_TRUE(compositor->resize(kW, kH));
    picture = makePicture(48, 32, gradient);
    green = makePicture(48, 32, greenScreen);
    grey = makePicture(48, 32, greys);
    sources.frames["pic"] = {picture.gpu->view, 1, 48, 32, ""};
    sources.frames["opaque"] = {picture.gpu->view, 2, 48, 32, ""};
    sources.frames["mask"] = {picture.gpu->view, 3, 48, 32, ""};
    sources.frames["green"] = {green.gpu->view, 2, 48, 32, ""};
    sources.frames["grey"] = {grey.gpu->view, 2, 48, 32, ""};
  }

  const RefImage* pictureFor(const std::string& name) {
    if (name == "green") return &green.image;
    if (name == "grey") return &grey.image;
    if (name == "pic" || name == "opaque" || name == "mask") return &picture.image;
    return nullptr;
  }

  // Renders the scene on the GPU and the reference; returns the worst difference.
  int renderAndCompare(const Scene& scene, const std::string& artifact = {}, const CubeLut* lut = nullptr,
                       RefCanvas* reuse = nullptr) {
    compositor->render(scene, sources, kGeometry.designWidth, kGeometry.designHeight);
    RefCanvas local(kW, kH);
    RefCanvas& ref = reuse ? *reuse : local;
    for (const Layer& l : scene.layers) {
      if (!layerIsDrawn(l)) continue;
      const SourceFrame f = sources.frameFor(l);
      if (layerNeedsTexture(l) && !f.view) continue;
      const bool lutOn = lut && lutApplies(l);
      ref.draw(layerConstants(l, f.mode, f.width, f.height, kGeometry, lutOn, lutOn ? lut->size : 0), pictureFor(l.name),
               lutOn ? lut : nullptr);
    }
    return compareWith(ref.image(), artifact);
  }

  int compareWith(const RefImage& expected, const std::string& artifact) {
    int pitch = 0;
    const std::uint8_t* px = compositor->mapPixels(&pitch);
    if (!px) {
      ADD_FAILURE() << "no read-back";
      return 999;
    }
    EXPECT_GE(pitch, kW * 4);
    const int worst = maxChannelDifference(expected, px, pitch);
    if (!artifact.empty()) writeBgraPng(artifactsDir() + artifact + ".png", px, kW, kH, pitch);
    compositor->unmapPixels();
    return worst;
  }

  std::unique_ptr<D3d11Compositor> compositor;
  NamedSourceCache sources;
  TestPicture picture, green, grey;
};

TEST_F(CompositorGpu, EmptySceneIsOpaqueBlack) {
  Scene scene;
  Layer hidden = rectLayer("pic", LayerKind::Image, 0, 0, 96, 64);
  hidden.visible = false;
  Layer clear = rectLayer("solid", LayerKind::Color, 0, 0, 96, 64);
  clear.opacity = 0;
  Layer flat = rectLayer("pic", LayerKind::Image, 0, 0, 0, 64);
  Layer nothing = rectLayer("missing", LayerKind::Image, 0, 0, 96, 64);
  scene.layers = {hidden, clear, flat, nothing};
  compositor->render(scene, sources, float(kW), float(kH));
  EXPECT_EQ(sources.asked, 1) << "only the drawable layer asks for a frame";
  EXPECT_EQ(compareWith(RefCanvas(kW, kH).image(), {}), 0);
}

TEST_F(CompositorGpu, EachFrameModeMatchesTheReference) {
  Layer solid = rectLayer("solid", LayerKind::Color, 4, 4, 40, 30);
  solid.colour = {0.9f, 0.3f, 0.1f, 0.6f};
  Layer straight = rectLayer("pic", LayerKind::Image, 48, 0, 48, 32);
  Layer opaque = rectLayer("opaque", LayerKind::Image, 0, 32, 48, 32);
  Layer mask = rectLayer("mask", LayerKind::Text, 48, 32, 48, 32);
  mask.colour = {0.2f, 0.8f, 1.0f, 0.9f};
  Scene scene;
  scene.layers = {solid, straight, opaque, mask};
  EXPECT_LE(renderAndCompare(scene, "frame_modes"), 2);
}

TEST_F(CompositorGpu, ScaledMirroredAndCroppedPicturesMatch) {
  Layer fill = rectLayer("opaque", LayerKind::Image, 0, 0, 40, 40);
  fill.scaling = ScalingMode::Fill;
  fill.flipH = true;
  Layer fit = rectLayer("pic", LayerKind::Image, 44, 4, 48, 56);
  fit.scaling = ScalingMode::Fit;
  fit.flipV = true;
  fit.crop = {0.25f, 0.0f, 0.0f, 0.25f};
  Scene scene;
  scene.layers = {fill, fit};
  EXPECT_LE(renderAndCompare(scene, "placement"), 2);
}

TEST_F(CompositorGpu, ChromaAndLumaKeysMatch) {
  Layer chroma = rectLayer("green", LayerKind::Camera, 0, 0, 48, 32);
  chroma.chromaKey = true;
  chroma.similarity = 0.2f;
  chroma.smoothness = 0.1f;
  Layer luma = rectLayer("grey", LayerKind::GameOrApp, 48, 32, 48, 32);
  luma.lumaKey = true;
  luma.keepAbove = 0.3f;
  luma.keepBelow = 0.8f;
  luma.lumaSmoothness = 0.1f;
  Layer lumaOnChat = rectLayer("grey", LayerKind::Chat, 0, 32, 48, 32);
  lumaOnChat.lumaKey = true;  // not for chat layers: drawn unkeyed
  Layer background = rectLayer("solid", LayerKind::Color, 0, 0, 96, 64);
  background.colour = {0.2f, 0.2f, 0.6f, 1.0f};
  Scene scene;
  scene.layers = {background, chroma, luma, lumaOnChat};
  EXPECT_LE(renderAndCompare(scene, "keys"), 2);
}

TEST_F(CompositorGpu, EachColourAdjustmentMatches) {
  struct Case {
    float brightness, contrast, saturation;
  };
  for (const Case& c : {Case{0.2f, 1, 1}, Case{-0.3f, 1, 1}, Case{0, 1.8f, 1}, Case{0, 0.4f, 1}, Case{0, 1, 0},
                        Case{0, 1, 2.5f}, Case{0.1f, 1.3f, 0.5f}}) {
    // One texel per pixel, so only the adjustment itself can differ.
    Layer l = rectLayer("opaque", LayerKind::Image, 8, 8, 48, 32);
    l.brightness = c.brightness;
    l.contrast = c.contrast;
    l.saturation = c.saturation;
    Scene scene;
    scene.layers = {l};
    EXPECT_LE(renderAndCompare(scene), 2) << c.brightness << " " << c.contrast << " " << c.saturation;
  }
}

TEST_F(CompositorGpu, RoundedCornersAndOpacityMatch) {
  Layer back = rectLayer("solid", LayerKind::Color, 0, 0, 96, 64);
  back.colour = {1, 1, 1, 1};
  Layer round = rectLayer("opaque", LayerKind::Camera, 4, 4, 56, 40);
  round.cornerRadius = 12;
  Layer capsule = rectLayer("solid2", LayerKind::Color, 62, 10, 30, 50);
  capsule.cornerRadius = 500;  // limited to half the short side
  capsule.colour = {0.1f, 0.5f, 0.2f, 1};
  Layer faded = rectLayer("pic", LayerKind::Image, 30, 30, 48, 32);
  faded.opacity = 0.5f;
  Scene scene;
  scene.layers = {back, round, capsule, faded};
  EXPECT_LE(renderAndCompare(scene, "corners_opacity"), 2);
}

TEST_F(CompositorGpu, CrossfadeBlendsTheSnapshotOverTheNewScene) {
  Layer a = rectLayer("solid", LayerKind::Color, 0, 0, 96, 64);
  a.colour = {0.9f, 0.1f, 0.1f, 1};
  Scene before;
  before.layers = {a, rectLayer("mask", LayerKind::Text, 10, 10, 48, 32)};
  before.layers[1].colour = {1, 1, 1, 1};
  RefCanvas old(kW, kH);
  ASSERT_LE(renderAndCompare(before, {}, nullptr, &old), 2);
  compositor->snapshot();

  RefImage snapshotPicture = old.image();
  for (float fade : {0.0f, 0.5f, 1.0f}) {
    compositor->setFade(fade);
    Scene after;
    after.layers = {rectLayer("opaque", LayerKind::Image, 0, 0, 96, 64)};
    RefCanvas ref(kW, kH);
    compositor->render(after, sources, float(kW), float(kH));
    ref.draw(layerConstants(after.layers[0], 2, 48, 32, kGeometry, false, 0), &picture.image, nullptr);
    if (fade > 0) ref.draw(overlayConstants(fade, kW, kH), &snapshotPicture, nullptr);
    const std::string name = "crossfade_" + std::to_string(int(fade * 100));
    EXPECT_LE(compareWith(ref.image(), name), 2) << fade;
  }
}

TEST_F(CompositorGpu, ResizeKeepsTheSnapshotOnlyAtTheSameSize) {
  Layer red = rectLayer("solid", LayerKind::Color, 0, 0, 96, 64);
  red.colour = {1, 0, 0, 1};
  Scene scene;
  scene.layers = {red};
  compositor->render(scene, sources, kW, kH);
  compositor->snapshot();
  compositor->setFade(1);
  ASSERT_TRUE(compositor->resize(kW, kH));
  Scene empty;
  compositor->render(empty, sources, kW, kH);
  int pitch = 0;
  const std::uint8_t* px = compositor->mapPixels(&pitch);
  ASSERT_TRUE(px);
  EXPECT_EQ(px[2], 255) << "snapshot kept";
  compositor->unmapPixels();

  ASSERT_TRUE(compositor->resize(kW / 2, kH / 2));
  ASSERT_TRUE(compositor->resize(kW, kH));
  compositor->render(empty, sources, kW, kH);
  px = compositor->mapPixels(&pitch);
  ASSERT_TRUE(px);
  EXPECT_EQ(px[2], 0) << "snapshot dropped with the old size";
  EXPECT_EQ(px[3], 255);
  compositor->unmapPixels();
}

TEST_F(CompositorGpu, DesignUnitsScaleToTheCanvas) {
  // The studio's own design size on a smaller canvas: a quarter of the design is a quarter of the pixels.
  Layer l = rectLayer("solid", LayerKind::Color, 960, 540, 960, 540);
  l.colour = {0, 1, 0, 1};
  Scene scene;
  scene.layers = {l};
  compositor->render(scene, sources, 1920, 1080);
  RefCanvas ref(kW, kH);
  ref.draw(layerConstants(l, 0, 0, 0, {1920, 1080, kW, kH}, false, 0), nullptr, nullptr);
  EXPECT_LE(compareWith(ref.image(), {}), 2);
}

}  // namespace

// The ranges the Direct3D 11 runtime checks when it creates a state. Wine's runtime accepts
// zeros where Windows' refuses them, so the descriptions are checked here field by field.
TEST(CompositorStates, EveryEnumFieldHoldsAValueTheRuntimeAccepts) {
  auto blendFactor = [](D3D11_BLEND b) {
    return b >= D3D11_BLEND_ZERO && b <= D3D11_BLEND_INV_SRC1_ALPHA && b != 12 && b != 13;
  };
  auto blendOp = [](D3D11_BLEND_OP o) { return o >= D3D11_BLEND_OP_ADD && o <= D3D11_BLEND_OP_MAX; };
  const D3D11_BLEND_DESC bd = compositorBlendDesc();
  for (int i = 0; i < 8; ++i) {
    const auto& rt = bd.RenderTarget[i];
    EXPECT_TRUE(blendFactor(rt.SrcBlend) && blendFactor(rt.DestBlend)) << "target " << i;
    EXPECT_TRUE(blendFactor(rt.SrcBlendAlpha) && blendFactor(rt.DestBlendAlpha)) << "target " << i;
    EXPECT_TRUE(blendOp(rt.BlendOp) && blendOp(rt.BlendOpAlpha)) << "target " << i;
  }
  EXPECT_EQ(bd.RenderTarget[0].BlendEnable, TRUE);

  const D3D11_SAMPLER_DESC sd = compositorSamplerDesc();
  auto address = [](D3D11_TEXTURE_ADDRESS_MODE m) {
    return m >= D3D11_TEXTURE_ADDRESS_WRAP && m <= D3D11_TEXTURE_ADDRESS_MIRROR_ONCE;
  };
  EXPECT_TRUE(address(sd.AddressU) && address(sd.AddressV) && address(sd.AddressW));
  EXPECT_GE(sd.ComparisonFunc, D3D11_COMPARISON_NEVER);
  EXPECT_LE(sd.ComparisonFunc, D3D11_COMPARISON_ALWAYS);
  EXPECT_GE(sd.MaxAnisotropy, 1u);
  EXPECT_LE(sd.MaxAnisotropy, 16u);
  EXPECT_LE(sd.MinLOD, sd.MaxLOD);

  const D3D11_RASTERIZER_DESC rd = compositorRasterizerDesc();
  EXPECT_TRUE(rd.FillMode == D3D11_FILL_SOLID || rd.FillMode == D3D11_FILL_WIREFRAME);
  EXPECT_GE(rd.CullMode, D3D11_CULL_NONE);
  EXPECT_LE(rd.CullMode, D3D11_CULL_BACK);
}
