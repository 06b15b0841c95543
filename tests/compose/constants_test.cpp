#include <gtest/gtest.h>

#include <cmath>

#include <cstring>

#include "media/compositor_constants.h"
#include "project/project.h"

namespace {

void expect4(const float* v, float a, float b, float c, float d) {
  EXPECT_FLOAT_EQ(v[0], a);
  EXPECT_FLOAT_EQ(v[1], b);
  EXPECT_FLOAT_EQ(v[2], c);
  EXPECT_FLOAT_EQ(v[3], d);
}

const CanvasGeometry kHalfSizeHorizontal{1920, 1080, 960, 540};

TEST(CompositorConstants, RegistersSitWhereTheShaderReadsThem) {
  EXPECT_EQ(offsetof(CompositorConstants, rect), 0u);
  EXPECT_EQ(offsetof(CompositorConstants, color), 16u);
  EXPECT_EQ(offsetof(CompositorConstants, key), 32u);
  EXPECT_EQ(offsetof(CompositorConstants, p0), 48u);
  EXPECT_EQ(offsetof(CompositorConstants, p1), 64u);
  EXPECT_EQ(offsetof(CompositorConstants, sz), 80u);
  EXPECT_EQ(offsetof(CompositorConstants, uvr), 96u);
  EXPECT_EQ(offsetof(CompositorConstants, lk), 112u);
  EXPECT_EQ(offsetof(CompositorConstants, lt), 128u);
}

TEST(CompositorConstants, ColourLayerFillsFromItsRectangle) {
  Layer l = makeLayer(LayerKind::Color, "bg");
  l.x = 480;
  l.y = 270;
  l.width = 960;
  l.height = 540;
  l.cornerRadius = 40;
  l.opacity = 0.5f;
  l.chromaKey = true;  // no picture to key: stays off
  l.lumaKey = true;
  const CompositorConstants c = layerConstants(l, 0, 0, 0, kHalfSizeHorizontal, false, 0);
  expect4(c.rect, -0.5f, 0.5f, 0.5f, -0.5f);
  expect4(c.color, 0.07f, 0.07f, 0.09f, 1.0f);
  expect4(c.key, 0, 1, 0, 0);
  expect4(c.p0, 0.3f, 0.08f, 0.5f, 0);
  expect4(c.p1, 0, 1, 1, 20);
  expect4(c.sz, 480, 270, 0, 0);
  expect4(c.uvr, 0, 0, 1, 1);
  expect4(c.lk, 0.1f, 1, 0.05f, 0);
  expect4(c.lt, 1, 0, 0, 0);
}

TEST(CompositorConstants, TextLayerIsNeverFitted) {
  Layer l = makeTextLayer("t", "hi", 96, 960, 540);
  l.x = 0;
  l.y = 0;
  l.width = 200;
  l.height = 100;
  l.scaling = ScalingMode::Fit;
  const CompositorConstants c = layerConstants(l, 3, 400, 100, {1920, 1080, 1920, 1080}, false, 0);
  expect4(c.sz, 200, 100, 0, 0);
  EXPECT_FLOAT_EQ(c.p0[3], 3);
}

TEST(CompositorConstants, ImageLayerIsFittedKeyedAndGraded) {
  Layer l = makeLayer(LayerKind::Image, "img");
  l.x = 0;
  l.y = 0;
  l.width = 480;
  l.height = 480;
  l.chromaKey = true;
  l.keyColour = {0.1f, 0.2f, 0.3f};
  l.lumaKey = true;
  l.brightness = 0.25f;
  l.contrast = 1.5f;
  l.saturation = 0;
  l.lutPath = "grade.cube";
  l.lutAmount = 0.75f;
  ASSERT_TRUE(lutApplies(l));
  const CompositorConstants c = layerConstants(l, 1, 1920, 1080, {1920, 1080, 1920, 1080}, true, 33);
  expect4(c.rect, -1, 1 - 105.0f / 540, -0.5f, 1 - 375.0f / 540);
  expect4(c.key, 0.1f, 0.2f, 0.3f, 1);
  expect4(c.p1, 0.25f, 1.5f, 0, 0);
  expect4(c.sz, 480, 270, 0, 0);
  expect4(c.lk, 0.1f, 1, 0.05f, 1);
  expect4(c.lt, 0.75f, 1, 33, 0);
}

TEST(CompositorConstants, ChatKeysByChromaOnlyAndVerticalCanvasScales) {
  Layer l = makeLayer(LayerKind::Chat, "chat");
  l.chromaKey = true;
  l.lumaKey = true;
  l.lutPath = "x.cube";
  EXPECT_TRUE(chromaKeyApplies(l));
  EXPECT_FALSE(lumaKeyApplies(l));
  EXPECT_FALSE(lutApplies(l));
  l.cornerRadius = 10;
  const CompositorConstants c = layerConstants(l, 1, 520, 560, {1080, 1920, 720, 1280}, false, 0);
  EXPECT_FLOAT_EQ(c.key[3], 1);
  EXPECT_FLOAT_EQ(c.lk[3], 0);
  EXPECT_NEAR(c.p1[3], 720.0f * 10 / 1080, 1e-5);
  EXPECT_NEAR(c.sz[0], 720.0f * 520 / 1080, 1e-4);
  EXPECT_NEAR(c.sz[1], 1280.0f * 560 / 1920, 1e-4);
}

TEST(CompositorConstants, OverlayCoversTheCanvasWithTheSnapshot) {
  const CompositorConstants c = overlayConstants(0.25f, 1280, 720);
  expect4(c.rect, -1, 1, 1, -1);
  expect4(c.color, 0, 0, 0, 0);
  expect4(c.key, 0, 0, 0, 0);
  expect4(c.p0, 0, 1, 0.25f, 2);
  expect4(c.p1, 0, 1, 1, 0);
  expect4(c.sz, 1280, 720, 0, 0);
  expect4(c.uvr, 0, 0, 1, 1);
  expect4(c.lk, 0, 0, 0, 0);
  expect4(c.lt, 0, 0, 0, 0);
}

}  // namespace
